// A move cut off after the destination took a group and before the source let
// it go, followed by whatever a person does next: compacting, moving back,
// resuming as a colleague, with the record damaged, or into another file.
// Whatever it is, no person ends up in two places, and none is lost.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QString>

#include <map>
#include <random>

#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "dataaccess/recordset.h"
#include "jet/compact.h"
#include "jet/files.h"
#include "jet/pending_move.h"
#include "logic/move.h"
#include "logic/move_record.h"
#include "logic/register.h"
#include "logic/register_table.h"
#include "support.h"
#include "dataaccess/qt_text.h"
#include "dataaccess/move.h"

namespace {

using namespace testing_support;
using dataaccess::DataError;

constexpr int kPeople = 30;
constexpr int kGroup = 10;

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }
fs::path record_of(const fs::path& db) { return jet::pending_move_path(fs::canonical(db).string()); }

std::size_t move(const fs::path& from, const fs::path& to, std::size_t group = kGroup) {
    reg::MoveOptions options;
    options.group_rows = group;
    return dataaccess::move_register(q(from), q(to), options);
}

// How many times each person (by the marker that follows the row) is in these files.
std::map<std::string, int> people_in(const std::vector<fs::path>& files) {
    std::map<std::string, int> seen;
    for (const fs::path& f : files) {
        if (!fs::exists(f)) continue;
        for (const Row& r : register_rows(f)) {
            if (const auto* s = std::get_if<std::string>(&r[14])) ++seen[*s];
        }
    }
    return seen;
}

// Every one of people 1 .. n once in these files, and nobody else.
void expect_each_once(const std::vector<fs::path>& files, int n = kPeople) {
    const std::map<std::string, int> seen = people_in(files);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(n)) << "a person is lost, or one came from nowhere";
    for (const auto& [who, times] : seen) EXPECT_EQ(times, 1) << who << " is stored " << times << " times";
}

// The error a step reports through the data-access layer, or none.
std::optional<DataError> error_of(const std::function<void()>& step) {
    try {
        step();
    } catch (const DataError& e) {
        return e;
    }
    return std::nullopt;
}

// A pair of registers as a move cut off leaves them: source (people 1 ..
// kPeople, person 0 deleted before the move, so the slots of its rows are not
// the first) and destination both holding the first group, and the record of
// that group beside each. Found by stopping the move at each of its steps
// in turn, on fresh copies, until that is what it left.
struct Pending {
    TempDir dir;
    fs::path src = dir / "src.mdb";
    fs::path dst = dir / "dst.mdb";
    fs::path pristine_src = dir / "pristine-src.mdb";
    fs::path pristine_dst = dir / "pristine-dst.mdb";
    fs::path saved = dir / "saved";

    explicit Pending(std::uint32_t mode = 0644) {
        const auto perms = static_cast<fs::perms>(mode);
        make_register(dir.path(), kPeople + 1, "pristine-src.mdb");
        const std::vector<jet::RowId> ids = jet::Database(pristine_src.string()).table("ЗУРТ").row_ids();
        change_table(pristine_src, [&](jet::TableWriter& t) { t.remove(ids.front()); });
        write_register(pristine_dst, {});
        for (std::uint64_t k = 1; k < 400; ++k) {
            fs::copy_file(pristine_src, src, fs::copy_options::overwrite_existing);
            fs::copy_file(pristine_dst, dst, fs::copy_options::overwrite_existing);
            fs::permissions(src, perms);
            fs::permissions(dst, perms);
            fs::remove(record_of(src));
            fs::remove(record_of(dst));
            jet::faults::Plan stop{jet::faults::Mode::Stop, k};
            try {
                PlanInForce in_force(stop);
                move(src, dst);
            } catch (const jet::faults::Stopped&) {
            }
            if (fs::exists(record_of(src)) && fs::exists(record_of(dst)) && register_rows(dst).size() == kGroup &&
                register_rows(src).size() == kPeople) {
                fs::create_directories(saved);
                for (const fs::path& f : {src, dst, fs::path(record_of(src)), fs::path(record_of(dst))}) {
                    fs::copy_file(f, saved / f.filename(), fs::copy_options::overwrite_existing);
                }
                return;
            }
        }
        ADD_FAILURE() << "no step of the move leaves the group in both files";
    }
    // Back to the state the cut left, the files' contents put back in place
    // (the record knows them by their inodes).
    void again() {
        for (const fs::path& f : {src, dst}) write_file(f, read_file(saved / f.filename()));
        for (const fs::path& f : {fs::path(source_record()), fs::path(destination_record())}) {
            fs::remove_all(f);
            fs::copy_file(saved / f.filename(), f);
        }
    }
    std::string source_record() const { return saved_record(src); }
    std::string destination_record() const { return saved_record(dst); }
    std::string saved_record(const fs::path& db) const { return jet::pending_move_path((fs::canonical(dir.path()) / db.filename()).string()); }
};

// The pending record, read and written again (changed) as both copies.
struct ReadRecordPair {
    reg::MoveRecord record;
    explicit ReadRecordPair(const Pending& p) : record(reg::read_move_record(p.source_record()).record) {}
    void write(const Pending& p) const {
        for (const auto& [copy, beside] : {std::pair{p.source_record(), p.src}, std::pair{p.destination_record(), p.dst}}) {
            fs::remove(copy);
            jet::DurableFile written = reg::write_move_record(copy, fs::canonical(beside).string(), record);
            reg::mark_move_record_complete(written);
        }
    }
};

TEST(MoveResume, CompactingTheSourceCannotFoolTheRecord) {
    Pending p;
    ASSERT_EQ(people_in({p.src, p.dst}).size(), static_cast<std::size_t>(kPeople));
    // A program that knows nothing of the record compacts the source: every
    // row takes another place (the deleted first row's slot is gone).
    {
        const std::vector<jet::RowId> before = jet::Database(p.src.string()).table("ЗУРТ").row_ids();
        {
            jet::Database d(p.src.string());
            jet::compact(d, (p.dir / "packed.mdb").string());
        }
        fs::rename(p.dir / "packed.mdb", p.src);
        EXPECT_NE(jet::Database(p.src.string()).table("ЗУРТ").row_ids(), before);
    }
    EXPECT_EQ(move(p.src, p.dst), static_cast<std::size_t>(kPeople - kGroup));
    expect_each_once({p.src, p.dst});
    EXPECT_TRUE(register_rows(p.src).empty());
    EXPECT_FALSE(fs::exists(p.source_record()));
    EXPECT_FALSE(fs::exists(p.destination_record()));

    // regtool's own compact settles the group before it copies the file,
    // into a copy as in place.
    p.again();
    const fs::path copy = p.dir / "copy.mdb";
    const RunResult copied = run_regtool({"compact", p.src.string(), copy.string()});
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_FALSE(fs::exists(p.source_record()));
    expect_each_once({copy, p.dst});
    p.again();
    const RunResult compacted = run_regtool({"compact", p.src.string(), "--replace"});
    ASSERT_EQ(compacted.status, 0) << compacted.err;
    EXPECT_FALSE(fs::exists(p.source_record()));
    expect_each_once({p.src, p.dst});
    fs::remove(p.src.string() + ".bak");
    move(p.src, p.dst);
    expect_each_once({p.dst});
    expect_sound(p.dst, {"ЗУРТ"});
}

// The record is written with the register's mode, whatever the umask of the
// one whose move was cut; one that cannot be read is never dropped.
TEST(MoveResume, AColleagueWhoCannotReadTheRecordIsRefused) {
    const mode_t umask_before = ::umask(077);
    Pending p(0666);
    ::umask(umask_before);
    struct stat st {};
    ASSERT_EQ(::stat(p.source_record().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u) << "a colleague could not read the record";
    ASSERT_EQ(::stat(p.destination_record().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    // Unreadable to a colleague all the same (as an earlier version wrote
    // them): the move and any other writer of the source are refused, and
    // both files stay as they are.
    fs::permissions(p.dir.path(), fs::perms::all);
    fs::permissions(p.source_record(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(p.destination_record(), fs::perms::owner_read | fs::perms::owner_write);
    const std::string src_bytes = read_file(p.src), dst_bytes = read_file(p.dst);
    const pid_t colleague = spawn([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 3;
        if (::access(p.source_record().c_str(), R_OK) == 0) return 4;  // not root after all
        const std::optional<DataError> e = error_of([&] { move(p.src, p.dst); });
        if (!e || e->number() != dataaccess::errc::kPendingMove) return 5;
        if (!e->description().contains(QStringLiteral("не удается прочитать"))) return 6;
        bool refused = false;
        try {
            change_table(p.src, [](jet::TableWriter& t) {
                Row v = person(500);
                t.insert(v);
            });
        } catch (const jet::Error& x) {
            refused = x.kind() == jet::ErrorKind::PendingMove && x.reason() == jet::Reason::MoveRecordUnreadable;
        }
        return refused ? 0 : 7;
    });
    EXPECT_EQ(exit_status(colleague), 0);
    EXPECT_TRUE(read_file(p.src) == src_bytes);
    EXPECT_TRUE(read_file(p.dst) == dst_bytes);
    EXPECT_TRUE(fs::exists(p.source_record()));
    EXPECT_TRUE(fs::exists(p.destination_record()));
    // Readable again, the record settles the group and the move goes on.
    for (const std::string& r : {p.source_record(), p.destination_record()}) {
        fs::permissions(r, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    }
    move(p.src, p.dst);
    expect_each_once({p.src, p.dst});
    EXPECT_TRUE(register_rows(p.src).empty());
}

TEST(MoveResume, MovingTheRowsBackUndoesTheImportOnce) {
    Pending p;
    // Undone by moving the destination back into the source: the destination
    // is bound too, so the group is settled before anything moves back.
    move(p.dst, p.src);
    expect_each_once({p.src});
    EXPECT_TRUE(register_rows(p.dst).empty());
    EXPECT_FALSE(fs::exists(p.source_record()));
    EXPECT_FALSE(fs::exists(p.destination_record()));
    expect_sound(p.src, {"ЗУРТ"});

    // Two moves in opposite directions at once, each in a process of its own.
    for (int round = 0; round < 3; ++round) {
        p.again();
        sys::Child one = start_regtool({"move", p.src.string(), p.dst.string(), "--group", "3"});
        sys::Child two = start_regtool({"move", p.dst.string(), p.src.string(), "--group", "3"});
        one.wait();
        two.wait();
        SCOPED_TRACE("round " + std::to_string(round));
        expect_each_once({p.src, p.dst});
    }
}

TEST(MoveResume, ADamagedRecordIsNeverTakenAsCut) {
    Pending p;
    const std::string record = read_file(p.source_record());
    ASSERT_GT(record.size(), 100u);
    // Whatever the damage, the move either settles the group rightly (a byte
    // nothing depends on) or refuses; the record is never dropped, and once
    // it is put right the move finishes with every person once.
    auto damaged_then_repaired = [&](const std::function<void()>& damage) {
        p.again();
        damage();
        const std::optional<DataError> e = error_of([&] { move(p.src, p.dst); });
        if (e) {
            EXPECT_EQ(e->number(), dataaccess::errc::kPendingMove) << e->description().toStdString();
            EXPECT_TRUE(fs::exists(p.source_record()) || fs::is_symlink(p.source_record())) << "a damaged record was dropped";
            EXPECT_FALSE(e->description().contains(QStringLiteral("ошибка системы"))) << e->description().toStdString();
            fs::remove_all(p.source_record());
            write_file(p.source_record(), record);
            move(p.src, p.dst);
        }
        expect_each_once({p.src, p.dst});
        EXPECT_TRUE(register_rows(p.src).empty());
    };
    for (std::size_t at = 0; at < record.size(); at += at < 80 ? 1 : 13) {
        SCOPED_TRACE("byte " + std::to_string(at) + " changed");
        damaged_then_repaired([&] {
            std::string b = record;
            b[at] = static_cast<char>(b[at] ^ 0x5A);
            write_file(p.source_record(), b);
        });
        if (HasFailure()) return;
    }
    SCOPED_TRACE("cut by one byte, lengthened, a link, a folder");
    damaged_then_repaired([&] { write_file(p.source_record(), record.substr(0, record.size() - 1)); });
    damaged_then_repaired([&] { fs::resize_file(p.source_record(), 70u << 20); });
    damaged_then_repaired([&] {
        fs::rename(p.source_record(), p.dir / "elsewhere");
        fs::create_symlink(p.dir / "elsewhere", p.source_record());
    });
    damaged_then_repaired([&] {
        fs::remove(p.source_record());
        fs::create_directory(p.source_record());
    });
}

// The windows' recordsets write through the same locks: a photo set in the
// viewer is refused in Russian, and the row stays as it was.
TEST(MoveResume, TheWindowsAreRefusedInRussian) {
    Pending p;
    std::string record = read_file(p.source_record());
    record[record.size() - 1] = static_cast<char>(record.back() ^ 1);
    write_file(p.source_record(), record);
    dataaccess::Connection cn;
    cn.Open(QString::fromStdString(reg::viewer_connection_string(p.src.string())));
    dataaccess::Recordset rs;
    rs.setActiveConnection(&cn);
    rs.setSource(dataaccess::qt_text(reg::kSelectAll));
    rs.setCursorType(1);
    rs.setLockType(3);
    rs.Open();
    rs.fields().Item(std::int16_t{24}).setValue(QStringLiteral("фото.jpg"));
    const std::optional<DataError> e = error_of([&] { rs.Update(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), dataaccess::errc::kPendingMove);
    QString text = e->description();
    text.remove(QStringLiteral("src.mdb-move")).remove(QStringLiteral("src.mdb"));
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) << e->description().toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("повреждена"))) << e->description().toStdString();
    rs.Close();
    cn.Close();
    for (const Row& r : register_rows(p.src)) EXPECT_TRUE(jet::is_null(r[24]));
}

TEST(MoveResume, TheRecordKnowsItsDestination) {
    Pending p;
    // The destination renamed (with its copy of the record, or without) and
    // a new one made in its place: the group is in the renamed file, so both
    // the source and the new file stay bound until it is back.
    for (const bool copy_too : {true, false}) {
        SCOPED_TRACE(copy_too ? "renamed with its copy of the record" : "renamed alone");
        p.again();
        fs::rename(p.dst, p.dir / "renamed.mdb");
        if (copy_too) fs::rename(p.destination_record(), p.dir / "renamed.mdb-move");
        // (No new register is made beside a record that is not its own; one
        // is copied there.)
        fs::copy_file(p.pristine_dst, p.dst);
        const std::string src_bytes = read_file(p.src);
        const std::optional<DataError> e = error_of([&] { move(p.src, p.dst); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->number(), dataaccess::errc::kPendingMove) << e->description().toStdString();
        EXPECT_TRUE(read_file(p.src) == src_bytes);
        EXPECT_TRUE(register_rows(p.dst).empty());
        fs::remove(p.dst);
        fs::rename(p.dir / "renamed.mdb", p.dst);
        if (copy_too) fs::rename(p.dir / "renamed.mdb-move", p.destination_record());
        move(p.src, p.dst);
        expect_each_once({p.dst});
    }

    // Both files reached under another folder's path, as a share mounted
    // elsewhere on a colleague's machine: each finds the other beside it.
    p.again();
    const fs::path elsewhere = p.dir.path().string() + "-elsewhere";
    fs::rename(p.dir.path(), elsewhere);
    move(elsewhere / "src.mdb", elsewhere / "dst.mdb");
    const std::map<std::string, int> moved = people_in({elsewhere / "src.mdb", elsewhere / "dst.mdb"});
    fs::rename(elsewhere, p.dir.path());
    EXPECT_EQ(moved.size(), static_cast<std::size_t>(kPeople));
    for (const auto& [who, times] : moved) EXPECT_EQ(times, 1) << who;
    EXPECT_TRUE(register_rows(p.src).empty());

    // Resumed into another register whose table has one column fewer: the
    // group is settled against the destination it went to, with that
    // table's own columns, and the rest moves into the new one.
    p.again();
    jet::TableSpec narrower = reg::register_table_spec();
    narrower.columns.pop_back();
    const fs::path other = write_table(p.dir / "other.mdb", narrower);
    EXPECT_EQ(move(p.src, other), static_cast<std::size_t>(kPeople - kGroup));
    expect_each_once({p.src, p.dst, other});
    EXPECT_EQ(register_rows(p.dst).size(), static_cast<std::size_t>(kGroup));
}

TEST(MoveResume, WhoeverWritesEitherFileSettlesTheGroupFirst) {
    Pending p;
    // An insert into the destination: the source lets the group go first.
    change_table(p.dst, [](jet::TableWriter& t) {
        Row v = person(kPeople + 1);
        t.insert(v);
    });
    expect_each_once({p.src, p.dst}, kPeople + 1);
    EXPECT_EQ(register_rows(p.src).size(), static_cast<std::size_t>(kPeople - kGroup));
    EXPECT_FALSE(fs::exists(p.source_record()));
    EXPECT_FALSE(fs::exists(p.destination_record()));

    // The source's old inode now names the destination (a file removed and
    // another made): the path decides which of the two a file is.
    p.again();
    {
        ReadRecordPair pair(p);
        pair.record.source.inode = jet::disk::identify(p.dst.string())->inode;
        pair.write(p);
    }
    change_table(p.dst, [](jet::TableWriter& t) {
        Row v = person(kPeople + 1);
        t.insert(v);
    });
    expect_each_once({p.src, p.dst}, kPeople + 1);
    EXPECT_FALSE(fs::exists(p.destination_record()));

    // A row deleted from the source.
    p.again();
    const std::vector<jet::RowId> ids = jet::Database(p.src.string()).table("ЗУРТ").row_ids();
    change_table(p.src, [&](jet::TableWriter& t) { t.remove(ids.back()); });
    expect_each_once({p.src, p.dst}, kPeople - 1);
    EXPECT_EQ(register_rows(p.dst).size(), static_cast<std::size_t>(kGroup));
}

// A record an earlier version left (beside the source only, rows known by
// where they lay) is settled by the rows' contents all the same.
TEST(MoveResume, AnEarlierVersionsRecordIsSettled) {
    Pending p;
    std::map<std::string, Row> in_source;
    for (const Row& r : register_rows(p.src)) in_source[std::get<std::string>(r[14])] = r;
    std::string b = "ZRMOVE01";
    auto put = [&](std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
    };
    const std::string destination = fs::canonical(p.dst).string();
    put(destination.size(), 4);
    b += destination;
    const std::vector<Row> group = register_rows(p.dst);
    put(group.size(), 4);
    for (const Row& r : group) {
        put(0, 6);
        put(static_cast<std::uint64_t>(std::get<std::int64_t>(r[0])), 8);
        put(reg::row_hash(in_source.at(std::get<std::string>(r[14])), 1, 26), 8);
        put(reg::row_hash(r, 1, 26), 8);
    }
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const char c : b) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    put(h, 8);
    fs::remove(p.destination_record());
    write_file(p.source_record(), b);
    move(p.src, p.dst);
    expect_each_once({p.dst});
    EXPECT_FALSE(fs::exists(p.source_record()));
}

// Moves cut by power cuts at random steps, in either direction, with the
// files compacted in between: in the end every person once.
TEST(MoveResume, PowerCutsWithCompactingAndMovesBack) {
    TempDir dir;
    const fs::path a = make_register(dir.path(), kPeople, "a.mdb", 1);
    const fs::path b = write_register(dir / "b.mdb", {});
    std::mt19937 random(20261209);
    jet::faults::Plan count;
    {
        PlanInForce in_force(count);
        move(a, b, 4);
        move(b, a, 4);
    }
    const std::uint64_t steps = count.steps / 2;
    for (int round = 0; round < 16; ++round) {
        const bool forth = random() % 2 == 0;
        jet::faults::Plan cut{random() % 3 == 0 ? jet::faults::Mode::Stop : jet::faults::Mode::PowerCut, 1 + random() % steps};
        try {
            PlanInForce in_force(cut);
            move(forth ? a : b, forth ? b : a, 4);
        } catch (const jet::faults::Stopped&) {
        } catch (const DataError& e) {
            ADD_FAILURE() << "round " << round << ": " << e.description().toStdString();
        }
        if (random() % 3 == 0) {
            const fs::path which = random() % 2 ? a : b;
            const RunResult r = run_regtool({"compact", which.string(), "--replace"});
            EXPECT_EQ(r.status, 0) << "round " << round << ": " << r.err;
            fs::remove(which.string() + ".bak");
        }
    }
    move(a, b);
    std::map<std::string, int> seen = people_in({a, b});
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kPeople));
    for (const auto& [who, times] : seen) EXPECT_EQ(times, 1) << who;
    EXPECT_TRUE(register_rows(a).empty());
    expect_sound(b, {"ЗУРТ"});
}

}  // namespace
