#include "jet/compact.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string_view>

#include "table/catalog.h"
#include "jet/check.h"
#include "jet/create.h"
#include "format/header.h"
#include "btree/index.h"
#include "storage/page_file.h"
#include "jet/pending_move.h"
#include "jet/platform.h"
#include "table/relations.h"
#include "table/database_insides.h"

namespace jet {

namespace {

constexpr std::size_t kRowsPerGroup = 5000;

// Catalog objects a copy of the tables keeps: tables, the database itself,
// the containers and the database's documents (its summary and properties).
bool carried_over(const CatalogEntry& e) {
    return e.type == CatalogEntry::kLocalTable || e.type == 2 || e.type == 3 || e.type == -32757;
}

std::string kind_of(std::int32_t type) {
    switch (type) {
        case 4:
        case 6: return "a linked table";
        case 5: return "a query";
        case -32768: return "a form";
        case -32764: return "a report";
        case -32766: return "a macro";
        case -32761: return "a module";
        case -32756: return "a data access page";
        default: return "an object of kind " + std::to_string(type);
    }
}

TableSpec spec_of(const std::string& name, const TableDef& def, std::uint16_t sort_order) {
    TableSpec spec;
    spec.name = name;
    for (const Column& c : def.columns) {
        if (c.flags & Column::kAutoGuid) throw Error(ErrorKind::Unsupported, "column " + c.name + " of " + name + " is a GUID autonumber");
        ColumnSpec s;
        s.name = c.name;
        s.type = c.type;
        s.autonumber = (c.flags & Column::kAutoLong) != 0;
        if (c.type == ColumnType::Text) s.chars = static_cast<std::uint16_t>(c.length / 2);
        if (c.type == ColumnType::Binary) s.chars = c.length;
        s.precision = c.precision;
        s.scale = c.scale;
        spec.columns.push_back(s);
    }
    for (const LogicalIndex& li : def.indexes) {
        if (li.foreign_key()) throw Error(ErrorKind::Unsupported, "table " + name + " takes part in a relationship (index " + li.name + ")");
        if (li.physical >= def.physical_indexes.size()) damaged("index " + li.name + " of " + name + " names no stored index");
        const PhysicalIndex& x = def.physical_indexes[li.physical];
        if (auto why = unsupported_reason(def, x, sort_order)) throw Error(ErrorKind::Unsupported, *why);
        IndexSpec s;
        s.name = li.name;
        for (const IndexColumn& ic : x.columns) s.columns.emplace_back(def.column_by_number(ic.column_number)->name, ic.ascending);
        s.primary_key = li.primary_key();
        s.unique = (x.flags & PhysicalIndex::kUnique) != 0;
        s.ignore_nulls = (x.flags & PhysicalIndex::kIgnoreNulls) != 0;
        s.required = (x.flags & PhysicalIndex::kRequired) != 0;
        spec.indexes.push_back(s);
    }
    return spec;
}

// The hidden name a copy is written under until it takes its final place:
// ".<final name>.compact-<number>.tmp", beside it, the number drawn at random
// so that two compacts never share one.
std::string temporary_name_for(const std::string& final_path) {
    const std::string name = final_path.substr(disk::name_start(final_path));
    std::random_device random;
    return disk::folder_of(final_path) + "/." + name + ".compact-" + std::to_string(random()) + ".tmp";
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a folder entry is named as a compact's temporary: ours, or
// ".compact-<process id>.mdb.tmp" as earlier versions of the program named
// theirs (left behind by every compact --replace that was killed).
bool temporary_name(std::string_view n) {
    constexpr std::string_view mark = ".compact-", old_end = ".mdb.tmp", end = ".tmp";
    if (n.starts_with(mark) && n.ends_with(old_end) && n.size() > mark.size() + old_end.size()) {
        return all_digits(n.substr(mark.size(), n.size() - mark.size() - old_end.size()));
    }
    if (!n.starts_with('.') || !n.ends_with(end)) return false;
    const std::string_view head = n.substr(0, n.size() - end.size());
    const auto at = head.rfind(mark);
    return at != std::string_view::npos && at >= 2 && all_digits(head.substr(at + mark.size()));
}

// Removes the temporaries that compacts which died left in the folder, with
// their journals. The compact writing a temporary holds its write lock until
// the file has its final name or is gone, so one whose lock can be taken has
// no writer left; a journal whose temporary is gone is of no use to anyone.
// What cannot be removed stays for a later run.
void remove_dead_temporaries(Platform& sys, const std::string& folder) {
    constexpr std::string_view journal = "-journal";
    std::vector<std::string> temporaries, journals;
    (void)sys.list_folder(folder, [&](std::string_view n) {
        if (n.ends_with(journal) && temporary_name(n.substr(0, n.size() - journal.size()))) {
            journals.push_back(folder + "/" + std::string(n));
        } else if (temporary_name(n)) {
            temporaries.push_back(folder + "/" + std::string(n));
        }
        return true;
    });
    for (const std::string& path : temporaries) {
        UniqueFd fd(sys.open(path, Access::Read));  // never through a link
        FileFacts f;
        if (fd.get() < 0 || !sys.facts(fd.get(), f) || !f.regular()) continue;
        if (sys.try_lock(fd.get(), LockKind::Shared, kDataBytes) != LockOutcome::Taken) continue;  // its compact is at work
        sys.discard(path + std::string(journal));
        sys.discard(path);
        sys.unlock(fd.get(), kDataBytes);
    }
    for (const std::string& path : journals) {
        FileFacts f;
        if (!sys.facts_of(path.substr(0, path.size() - journal.size()), false, f) && errno == ENOENT) sys.discard(path);
    }
}

std::string octal(std::uint32_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

// Whether the file of fd has the owner, group and read and write permissions of another.
bool has_owner_of(Platform& sys, int fd, const FileFacts& of) {
    FileFacts now;
    return sys.facts(fd, now) && now.owner == of.owner && now.group == of.group &&
           (now.permissions & 0666) == (of.permissions & 0666);
}

[[noreturn]] void cannot_keep_owner(const std::string& original, const FileFacts& of) {
    throw Error(ErrorKind::Io,
                "cannot keep the owner, group and permissions of " + original + " (user " + std::to_string(of.owner) + ", group " +
                    std::to_string(of.group) + ", mode " + octal(of.permissions & 0666) +
                    ") on its compacted copy: run compact as root or as the file's owner; nothing was replaced",
                Reason::Unspecified, {}, EPERM);
}

// A compacted copy under its temporary name, held by this process (under its
// write lock) from the moment it is made. Unless it took its final name, it
// is removed with its journal when it goes; a process killed before that
// leaves it to the next compact in the folder, and so does the fault seam's
// stop.
class Temporary {
public:
    // Made at `path`, a name from temporary_name_for.
    Temporary(Platform& sys, const std::string& path) : sys_(sys), removal_{sys, path} {
        create_database(removal_.path, sys);
        removal_.armed = true;
        db_.emplace(removal_.path, std::nullopt, sys);
        file_of(*db_).enable_writes();
        held_.emplace(file_of(*db_), true);
        // Another compact cleaning the folder may have taken the file away
        // between its making and the lock.
        db_->check_still_at_path();
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::string& path() const { return removal_.path; }
    // Left as it lies, as by a process that died (the fault seam's stop).
    void abandon() { removal_.armed = false; }
    int descriptor() { return file_of(*db_).descriptor(); }

    void keep_owner_of(const FileFacts& of, const std::string& original) {
        sys_.take_owner_of(descriptor(), of);
        if (!has_owner_of(sys_, descriptor(), of)) cannot_keep_owner(original, of);
    }

    void fill(Database& from, const CompactProgressFn& progress) {
        Database& copy = *db_;
        for (const std::string& name : from.user_tables()) {
            Table t = from.table(name);
            {
                WriteGroup g(copy);
                create_table(g, spec_of(name, t.def(), header_of(from).sort_order));
                g.commit();
            }
            const std::vector<RowId> ids = t.row_ids();
            CompactProgress p{name, 0, ids.size()};
            if (progress) progress(p);
            for (std::size_t at = 0; at < ids.size(); at += kRowsPerGroup) {
                WriteGroup g(copy);
                g.keep_relationships(false);
                TableWriter& w = g.table(name);
                for (std::size_t i = at; i < std::min(ids.size(), at + kRowsPerGroup); ++i) {
                    std::optional<std::vector<Value>> row = t.read(ids[i]);
                    if (row) w.insert(*row);  // autonumbers too: each row keeps its number
                }
                g.commit();
                p.rows_done = std::min(ids.size(), at + kRowsPerGroup);
                if (progress) progress(p);
            }
            WriteGroup g(copy);
            g.table(name).continue_numbering_from(t.def().next_autonumber);
            g.commit();
        }
    }

    std::vector<std::string> problems(Database& from, const CopyCheck& check) {
        std::vector<std::string> found = compare_copy(from, *db_);
        if (check) {
            for (std::string& p : check(from, *db_, path())) found.push_back(std::move(p));
        }
        return found;
    }

    // Gives the synced copy the name `to`, never over a file there; then the
    // temporary name goes and the folder is synced.
    void publish_at(const std::string& to) {
        if (!sys_.sync(descriptor(), path())) io_error("cannot sync", path(), errno);
        if (!sys_.add_name(path(), to)) {
            const int err = errno;
            if (err == EEXIST) throw Error(ErrorKind::Io, "a file already exists at " + to, Reason::Unspecified, {}, err);
            io_error("cannot give the compacted copy the name", to, err);
        }
        removal_.armed = false;
        if (!sys_.remove(path())) io_error("the compacted copy is at " + to + ", but cannot remove its temporary name", path(), errno);
        if (!sys_.sync_folder_of(to)) io_error("the compacted copy is at " + to + ", but cannot sync the folder of", to, errno);
    }

    // Puts the synced copy in the place of the original, which keeps the
    // second name `backup`; then the folder is synced.
    void put_in_place_of(Database& original, const FileFacts& of, const std::string& backup) {
        const std::string& real = original.real_path();
        if (!has_owner_of(sys_, descriptor(), of)) cannot_keep_owner(real, of);
        if (!sys_.sync(descriptor(), path())) io_error("cannot sync", path(), errno);
        original.check_still_at_path();
        if (!sys_.add_name(real, backup)) {
            const int err = errno;
            throw Error(ErrorKind::Io, "cannot keep the original as " + backup + ": " + std::strerror(err) + "; nothing was replaced",
                        Reason::Unspecified, {}, err);
        }
        if (!sys_.rename(path(), real)) {
            const int err = errno;
            sys_.discard(backup);  // the second name given just now; the original keeps its own
            throw Error(ErrorKind::Io,
                        "cannot put the compacted copy in place of " + real + ": " + std::strerror(err) + "; nothing was replaced",
                        Reason::Unspecified, {}, err);
        }
        removal_.armed = false;
        if (!sys_.sync_folder_of(real)) {
            io_error("the compacted copy is in place and the original kept as " + backup + ", but cannot sync the folder of", real, errno);
        }
    }

private:
    struct Removal {
        Removal(Platform& platform, std::string p) : sys(platform), path(std::move(p)) {}
        Removal(const Removal&) = delete;
        Removal& operator=(const Removal&) = delete;
        ~Removal() {
            if (!armed) return;
            sys.discard(path + "-journal");
            sys.discard(path);
        }
        Platform& sys;
        std::string path;
        bool armed = false;
    };
    Platform& sys_;
    Removal removal_;  // the first member, so the last to go: after the lock and the file
    std::optional<Database> db_;
    std::optional<FileLock> held_;
};

}  // namespace

std::optional<std::string> cannot_compact(Database& from) {
    for (const CatalogEntry& e : catalog_of(from)) {
        if (!carried_over(e)) return "the database holds " + kind_of(e.type) + " (" + e.name + "), which only Access can carry over";
    }
    for (const Relationship& r : read_relationships(from)) {
        if (r.child.rfind("MSys", 0) != 0) return "the database holds relationship " + r.name + ", which only Access can carry over";
    }
    try {
        for (const std::string& name : from.user_tables()) spec_of(name, from.table(name).def(), header_of(from).sort_order);
    } catch (const Error& e) {
        if (e.kind() != ErrorKind::Unsupported) throw;
        return e.what();
    }
    return std::nullopt;
}

std::vector<std::string> compact(Database& from, const std::string& to, const CopyCheck& check, const CompactProgressFn& progress) {
    Platform& sys = file_of(from).platform();
    // A move cut off beside the file is finished first (or the compact is
    // refused): a copy taken now would hold that group a second time.
    if (sys.entry_at(pending_move_path(from.real_path())) != disk::Entry::None) {
        WriteGroup settled(from);
    }
    FileLock reading(file_of(from), false);
    if (auto why = cannot_compact(from)) throw Error(ErrorKind::Unsupported, "cannot compact " + from.path() + ": " + *why);
    FileFacts there;
    if (sys.facts_of(to, false, there)) throw Error(ErrorKind::Io, "a file already exists at " + to, Reason::Unspecified, {}, EEXIST);
    const std::string folder = disk::folder_of(to);
    if (!sys.may_write_in(folder)) {
        throw Error(ErrorKind::ReadOnly, "the folder may not be written: " + folder, Reason::FolderReadOnly, folder);
    }
    remove_dead_temporaries(sys, folder);
    std::optional<Temporary> copy;
    const std::string temporary = temporary_name_for(to);
    try {
        copy.emplace(sys, temporary);
        copy->fill(from, progress);
        std::vector<std::string> problems = copy->problems(from, check);
        if (problems.empty()) copy->publish_at(to);
        return problems;
    } catch (const ProcessStopped&) {
        if (copy) copy->abandon();
        throw;
    } catch (Error& e) {
        // The copy's temporary name is nothing the caller knows of.
        e.about_file_instead(temporary, to);
        throw;
    }
}

std::vector<std::string> compact_in_place(Database& from, const std::string& backup, const CopyCheck& check,
                                          const CompactProgressFn& progress) {
    Platform& sys = file_of(from).platform();
    {
        WriteGroup probe(from);  // refuses what a write would refuse (Access, links, stray journals, read-only)
    }
    // Nobody changes the register while its copy is made and put in its place.
    FileLock held(file_of(from), true);
    if (auto why = cannot_compact(from)) throw Error(ErrorKind::Unsupported, "cannot compact " + from.path() + ": " + *why);
    FileFacts there;
    if (sys.facts_of(backup, false, there)) {
        throw Error(ErrorKind::Io, "cannot keep the original as " + backup + ": " + std::strerror(EEXIST) + "; nothing was replaced",
                    Reason::Unspecified, {}, EEXIST);
    }
    FileFacts original;
    if (!sys.facts(file_of(from).descriptor(), original)) io_error("cannot examine", from.path(), errno);
    const std::string& real = from.real_path();
    remove_dead_temporaries(sys, disk::folder_of(real));
    std::optional<Temporary> copy;
    const std::string temporary = temporary_name_for(real);
    try {
        copy.emplace(sys, temporary);
        copy->keep_owner_of(original, real);
        copy->fill(from, progress);
        std::vector<std::string> problems = copy->problems(from, check);
        if (problems.empty()) copy->put_in_place_of(from, original, backup);
        return problems;
    } catch (const ProcessStopped&) {
        if (copy) copy->abandon();
        throw;
    } catch (Error& e) {
        // The copy's temporary name is nothing the caller knows of.
        e.about_file_instead(temporary, from.path());
        throw;
    }
}

std::vector<std::string> compare_copy(Database& original, Database& copy) {
    std::vector<std::string> problems = check_database(copy);
    for (const std::string& name : original.user_tables()) {
        if (!copy.has_table(name)) {
            problems.push_back("table " + name + " is missing from the copy");
            continue;
        }
        std::vector<std::vector<Value>> a, b;
        Table ta = original.table(name), tb = copy.table(name);
        ta.scan([&](RowId, const std::vector<Value>& row) {
            a.push_back(row);
            return true;
        });
        tb.scan([&](RowId, const std::vector<Value>& row) {
            b.push_back(row);
            return true;
        });
        if (a.size() != b.size()) {
            problems.push_back("table " + name + ": " + std::to_string(b.size()) + " rows in the copy for " + std::to_string(a.size()));
        } else {
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (!(a[i] == b[i])) {
                    problems.push_back("table " + name + ": row " + std::to_string(i + 1) + " differs in the copy");
                    break;
                }
            }
        }
        if (ta.def().next_autonumber != tb.def().next_autonumber) {
            problems.push_back("table " + name + ": the copy would number new rows from " + std::to_string(tb.def().next_autonumber + 1));
        }
    }
    return problems;
}

}  // namespace jet
