// Every write cut at every I/O step of its commit. Stopping there stands for
// the process dying: the next opener must find the file sound, holding either
// the state before the change or the state after it. Failing there stands for
// the system refusing a write or sync: the change must be reported, the file
// left exactly as it was, and the same change must then go through.
#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <map>
#include <random>

#include <stdlib.h>
#include <unistd.h>

#include "jet/check.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "format/data_page.h"
#include "jet/database.h"
#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "dataaccess/recordset.h"
#include "logic/move.h"
#include "logic/register.h"
#include "support.h"
#include "dataaccess/move.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;
namespace faults = jet::faults;

const char kRegister[] = "ЗУРТ";

// The cuts sync the files thousands of times: the work files live in memory
// when the system offers a folder there.
const bool kWorkInMemory = [] {
    if (::access("/dev/shm", W_OK) != 0) return false;
    ::setenv("TMPDIR", "/dev/shm", 1);
    return true;
}();

// Every user table's rows, in storage order.
using Snapshot = std::map<std::string, std::vector<Row>>;

Snapshot snapshot(const fs::path& db) {
    jet::Database d(db.string());
    Snapshot s;
    for (const std::string& name : d.user_tables()) {
        auto& rows = s[name];
        d.table(name).scan([&](jet::RowId, const Row& row) {
            rows.push_back(row);
            return true;
        });
    }
    return s;
}

void restore(const fs::path& from, const fs::path& to) {
    fs::remove(journal_of(to));
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Person i with a memo of this many characters: 3000 take a page of their
// own, more than a page a chain of pages.
Row person_with_memo(int i, std::size_t memo) {
    Row v = person(i);
    v[12] = std::string(memo, static_cast<char>('a' + i % 26));
    return v;
}

// Rows 1..n (by номер); every seventh has a long value on a page of its own,
// every fifth one chained over several pages.
std::vector<Row> people(int n) {
    std::vector<Row> rows;
    for (int i = 1; i <= n; ++i) rows.push_back(i % 7 == 0 ? person_with_memo(i, 3000) : person(i));
    return rows;
}

jet::RowId id_of(jet::Database& d, std::int64_t number) {
    std::optional<jet::RowId> found;
    d.table(kRegister).scan([&](jet::RowId id, const Row& row) {
        if (std::get<std::int64_t>(row[0]) != number) return true;
        found = id;
        return false;
    });
    if (!found) throw std::logic_error("no row " + std::to_string(number));
    return *found;
}

using Change = std::function<void(jet::Database&)>;

void in_group(jet::Database& d, const std::function<void(jet::WriteGroup&)>& f) {
    jet::WriteGroup g(d);
    f(g);
    g.commit();
}

// Applies the change to a copy of the file once, without cuts.
fs::path changed_copy(const TempDir& dir, const fs::path& pristine, const Change& change) {
    fs::path db = dir / "changed.mdb";
    restore(pristine, db);
    jet::Database d(db.string());
    change(d);
    return db;
}

// How many cuts the tests made: by stopping, by cutting the power (printed at the end).
std::uint64_t cuts[2] = {0, 0};

// Cuts the change at each of its steps, by stopping, cutting the power and failing there.
void cut_everywhere(const fs::path& pristine, const Change& change) {
    TempDir work;
    const fs::path db = work / "cut.mdb";
    const std::string pristine_bytes = read_file(pristine);
    const Snapshot before = snapshot(pristine);

    faults::Plan count;
    restore(pristine, db);
    {
        jet::Database d(db.string());
        PlanInForce in_force(count);
        change(d);
    }
    const std::uint64_t steps = count.steps;
    // At least the journal, its sync, its folder's sync, a page, two syncs and the journal's removal.
    ASSERT_GE(steps, 7u);
    const Snapshot after = snapshot(db);
    ASSERT_NE(before, after);
    expect_sound(db);

    // Stopped (the process dies) or the power cut (what was not synced is lost).
    for (faults::Mode mode : {faults::Mode::Stop, faults::Mode::PowerCut}) {
        const char* what = mode == faults::Mode::Stop ? "stopped at step " : "power cut at step ";
        for (std::uint64_t k = 1; k <= steps; ++k) {
            SCOPED_TRACE(what + std::to_string(k) + " of " + std::to_string(steps));
            restore(pristine, db);
            faults::Plan stop{mode, k};
            bool stopped = false;
            try {
                jet::Database d(db.string());
                PlanInForce in_force(stop);
                change(d);
            } catch (const faults::Stopped&) {
                stopped = true;
            }
            ASSERT_TRUE(stopped);
            const Snapshot seen = snapshot(db);  // the first opener puts an interrupted group back
            EXPECT_FALSE(fs::exists(journal_of(db)));
            EXPECT_TRUE(seen == before || seen == after);
            expect_sound(db);
            if (seen == before) {
                // The file takes the change after the crash as well.
                jet::Database d(db.string());
                change(d);
                EXPECT_EQ(snapshot(db), after);
            }
            if (::testing::Test::HasFailure()) return;
        }
        cuts[mode == faults::Mode::Stop ? 0 : 1] += steps;
    }

    for (std::uint64_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("failed at step " + std::to_string(k) + " of " + std::to_string(steps));
        restore(pristine, db);
        faults::Plan fail{faults::Mode::Fail, k};
        jet::Database d(db.string());
        bool reported = false;
        try {
            PlanInForce in_force(fail);
            change(d);
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::Io) << e.what();
            reported = true;
        }
        if (!reported) {
            // Only the removal of a journal already marked finished may fail
            // unnoticed: the change is whole, and the next opener clears it away.
            EXPECT_EQ(k, steps) << "the change reported success";
            EXPECT_EQ(snapshot(db), after);
            EXPECT_FALSE(fs::exists(journal_of(db)));
            expect_sound(db);
            continue;
        }
        EXPECT_FALSE(fs::exists(journal_of(db)));
        EXPECT_TRUE(read_file(db) == pristine_bytes) << "the file differs from before the change";
        // The same database object takes the change on a second try.
        change(d);
        EXPECT_EQ(snapshot(db), after);
        expect_sound(db);
        if (::testing::Test::HasFailure()) return;
    }
}

std::size_t pages_of_type(const fs::path& db, jet::PageType type) {
    jet::PageFile f(db.string());
    std::size_t n = 0;
    for (std::uint32_t p = 0; p < f.page_count(); ++p) n += (*f.page(p))[0] == static_cast<std::uint8_t>(type) ? 1 : 0;
    return n;
}

// Slots left pointing at a row an update moved to another page.
std::size_t moved_rows(const fs::path& db) {
    jet::PageFile f(db.string());
    std::size_t n = 0;
    for (std::uint32_t p = 0; p < f.page_count(); ++p) {
        jet::Bytes b = jet::bytes_of(*f.page(p));
        if (b[0] != static_cast<std::uint8_t>(jet::PageType::Data)) continue;
        for (std::uint16_t r = 0; r < jet::data_page::row_count(b); ++r) {
            n += jet::data_page::slot(b, r).flags == jet::data_page::kOverflow ? 1 : 0;
        }
    }
    return n;
}

Change insert(Row row) {
    return [row](jet::Database& d) {
        in_group(d, [&](jet::WriteGroup& g) {
            Row v = row;
            g.table(kRegister).insert(v);
        });
    };
}

Change remove_row(std::int64_t number) {
    return [number](jet::Database& d) {
        jet::RowId id = id_of(d, number);
        in_group(d, [&](jet::WriteGroup& g) { g.table(kRegister).remove(id); });
    };
}

Change update_row(std::int64_t number, const std::function<void(Row&)>& edit) {
    return [number, edit](jet::Database& d) {
        jet::RowId id = id_of(d, number);
        Row v = *d.table(kRegister).read(id);
        edit(v);
        in_group(d, [&](jet::WriteGroup& g) { g.table(kRegister).update(id, v); });
    };
}

TEST(CutWrites, Inserts) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(30));
    {
        SCOPED_TRACE("a small row");
        cut_everywhere(pristine, insert(person(101)));
    }
    {
        SCOPED_TRACE("a long value on a page of its own");
        cut_everywhere(pristine, insert(person_with_memo(102, 3000)));
    }
    {
        SCOPED_TRACE("a long value chained over pages");
        cut_everywhere(pristine, insert(person_with_memo(103, 20000)));
    }
}

TEST(CutWrites, InsertsSplittingIndexPages) {
    TempDir dir;
    const fs::path pristine = make_register(dir.path(), 60);
    Change batch = [](jet::Database& d) {
        in_group(d, [](jet::WriteGroup& g) {
            for (int i = 0; i < 60; ++i) {
                Row v = person(1000 + i);
                v[1] = "Длинная фамилия для ключа индекса " + std::to_string(i);
                g.table(kRegister).insert(v);
            }
        });
    };
    const fs::path probe = changed_copy(dir, pristine, batch);
    ASSERT_GT(pages_of_type(probe, jet::PageType::IndexLeaf), pages_of_type(pristine, jet::PageType::IndexLeaf));
    cut_everywhere(pristine, batch);
}

TEST(CutWrites, Updates) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(40));
    {
        SCOPED_TRACE("in place");
        cut_everywhere(pristine, update_row(2, [](Row& v) { v[9] = std::int64_t{199}; }));
    }
    {
        SCOPED_TRACE("moving the row to another page");
        Change grow = update_row(1, [](Row& v) {
            v[7] = std::string(250, 'A');
            v[15] = std::string(100, 'B');
            v[18] = std::string(100, 'C');
            v[3] = "Отчество длиннее прежнего";
        });
        const fs::path probe = changed_copy(dir, pristine, grow);
        ASSERT_EQ(moved_rows(probe), moved_rows(pristine) + 1);
        cut_everywhere(pristine, grow);
    }
}

TEST(CutWrites, Deletes) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(30));
    {
        SCOPED_TRACE("a small row");
        cut_everywhere(pristine, remove_row(3));
    }
    {
        SCOPED_TRACE("a row with a chained long value");
        cut_everywhere(pristine, remove_row(20));
    }
}

TEST(CutWrites, CreateTable) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(5));
    cut_everywhere(pristine, [](jet::Database& d) {
        using T = jet::ColumnType;
        jet::TableSpec spec;
        spec.name = "Справочник";
        spec.columns = {{"код", T::Long, 0, true}, {"название", T::Text, 50}, {"описание", T::Memo}};
        spec.indexes = {{"PrimaryKey", {{"код", true}}, true, true}, {"по названию", {{"название", true}}}};
        in_group(d, [&](jet::WriteGroup& g) { jet::create_table(g, spec); });
    });
}

// The viewer's way of setting a photo: the recordset's field changed and saved.
TEST(CutWrites, PhotoSetThroughTheRecordset) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(12));
    cut_everywhere(pristine, [](jet::Database& d) {
        try {
            dataaccess::Connection cn;
            cn.Open(QString::fromStdString(reg::viewer_connection_string(d.path())));
            dataaccess::Recordset rs;
            rs.setActiveConnection(&cn);
            rs.setSource(QStringLiteral("SELECT * FROM ЗУРТ"));
            rs.setCursorType(1);
            rs.setLockType(3);
            rs.Open();
            rs.MoveFirst();
            rs.MoveNext();
            rs.fields().Item(static_cast<std::int16_t>(reg::kPhotoColumn)).setValue(QStringLiteral("фото\\новое.jpg"));
            rs.Update();
            rs.Close();
            cn.Close();
        } catch (const dataaccess::DataError& e) {
            // The window's report of a failed write: a disk error, as the engine's.
            if (e.number() != dataaccess::errc::kIo) throw;
            throw jet::Error(jet::ErrorKind::Io, e.what());
        }
    });
}

// Rows of a register by their name (unique in these tests), numbers left out.
std::map<std::string, std::vector<Row>> by_name(const fs::path& db) {
    std::map<std::string, std::vector<Row>> out;
    Snapshot all = snapshot(db);
    for (Row row : all[kRegister]) {
        row[0] = jet::Null{};
        out[std::get<std::string>(row[2])].push_back(row);
    }
    return out;
}

// A group whose commit failed has lost its pages: committing it again must not
// write the rest of it into the file.
TEST(CutWrites, FailedGroupStaysFailed) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", people(5));
    const std::string before = read_file(db);
    for (std::uint64_t k : {1u, 4u, 6u}) {
        SCOPED_TRACE("failed at step " + std::to_string(k));
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        for (int i = 0; i < 3; ++i) {
            Row v = person_with_memo(200 + i, 3000);
            g.table(kRegister).insert(v);
        }
        faults::Plan fail{faults::Mode::Fail, k};
        {
            PlanInForce in_force(fail);
            EXPECT_THROW(g.commit(), jet::Error);
        }
        EXPECT_THROW(g.commit(), jet::Error);
        Row v = person(300);
        EXPECT_THROW(g.table(kRegister).insert(v), jet::Error);
    }
    EXPECT_TRUE(read_file(db) == before);
    expect_sound(db);
}

// Putting an interrupted group back may itself be cut; the next opener starts over.
TEST(CutWrites, CutRecovery) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "reg.mdb", people(20));
    const fs::path db = dir / "cut.mdb";
    const Snapshot before = snapshot(pristine);
    const Change change = insert(person_with_memo(100, 9000));
    // Every page of the group written and synced, the journal still complete:
    // the process dies writing the mark that the group is finished.
    auto crash_at_end = [&] {
        restore(pristine, db);
        faults::Plan count;
        {
            jet::Database d(db.string());
            PlanInForce in_force(count);
            change(d);
        }
        restore(pristine, db);
        faults::Plan stop{faults::Mode::Stop, count.steps - 2};
        jet::Database d(db.string());
        PlanInForce in_force(stop);
        EXPECT_THROW(change(d), faults::Stopped);
    };
    crash_at_end();
    faults::Plan count;
    {
        PlanInForce in_force(count);
        jet::Database d(db.string());
    }
    const std::uint64_t steps = count.steps;
    ASSERT_GE(steps, 3u);
    for (std::uint64_t k = 1; k <= steps; ++k) {
        for (faults::Mode mode : {faults::Mode::Stop, faults::Mode::PowerCut, faults::Mode::Fail}) {
            SCOPED_TRACE((mode == faults::Mode::Stop       ? "recovery stopped at step "
                          : mode == faults::Mode::PowerCut ? "power cut in recovery at step "
                                                           : "recovery failed at step ") +
                         std::to_string(k));
            crash_at_end();
            faults::Plan cut{mode, k};
            try {
                PlanInForce in_force(cut);
                jet::Database d(db.string());
                // Only the last step, syncing the folder once the journal is gone, may fail unnoticed.
                EXPECT_TRUE(mode == faults::Mode::Fail && k == steps) << "the file opened";
            } catch (const faults::Stopped&) {
                EXPECT_NE(mode, faults::Mode::Fail);
            } catch (const jet::Error& e) {
                EXPECT_EQ(mode, faults::Mode::Fail);
                EXPECT_EQ(e.kind(), jet::ErrorKind::Io);
            }
            EXPECT_EQ(snapshot(db), before);
            EXPECT_FALSE(fs::exists(journal_of(db)));
            expect_sound(db);
        }
    }
    cuts[0] += steps;
    cuts[1] += steps;
}

TEST(CutWrites, MoveRegister) {
    TempDir dir;
    const fs::path source0 = write_register(dir / "source0.mdb", people(7));
    const fs::path destination0 = write_register(dir / "destination0.mdb", {});
    const auto original = by_name(source0);
    // Two folders: a sync of the source's folder must not stand in for one of the destination's.
    fs::create_directories(dir / "from");
    fs::create_directories(dir / "to");
    const fs::path source = dir / "from" / "source.mdb", destination = dir / "to" / "destination.mdb";
    auto move = [&] {
        reg::MoveOptions options;
        options.group_rows = 3;
        return dataaccess::move_register(QString::fromStdString(source.string()), QString::fromStdString(destination.string()), options);
    };
    // The source written once more after the move: its folder is synced
    // then, which must not make the move's last group unsafe in the destination.
    auto move_then_write_source = [&] {
        std::size_t moved = move();
        jet::Database d(source.string());
        in_group(d, [](jet::WriteGroup& g) {
            Row v = person(999);
            g.table(kRegister).insert(v);
        });
        return moved;
    };
    auto fresh = [&] {
        restore(source0, source);
        restore(destination0, destination);
    };
    // Every row in one file or both (only the rows of one group in both), both files sound.
    auto expect_rows_kept = [&] {
        expect_sound(source);
        expect_sound(destination);
        EXPECT_FALSE(fs::exists(journal_of(source)));
        EXPECT_FALSE(fs::exists(journal_of(destination)));
        auto in_source = by_name(source), in_destination = by_name(destination);
        in_source.erase("Имя999");
        std::size_t twice = 0;
        for (const auto& [name, rows] : original) {
            const std::size_t s = in_source.count(name) ? in_source[name].size() : 0;
            const std::size_t d = in_destination.count(name) ? in_destination[name].size() : 0;
            EXPECT_GT(s + d, 0u) << name << " is lost";
            EXPECT_LE(s, 1u);
            EXPECT_LE(d, 1u);
            twice += s + d > 1 ? 1 : 0;
            if (s) {
                EXPECT_EQ(in_source[name].front(), rows.front()) << name;
            }
            if (d) {
                EXPECT_EQ(in_destination[name].front(), rows.front()) << name;
            }
        }
        EXPECT_LE(twice, 3u);
        EXPECT_EQ(in_source.size() + in_destination.size(), original.size() + twice);
    };
    // A second run after the cut settles the group the cut left in both
    // files (the source lets it go) and moves the rest: every row once.
    auto expect_retry_finishes = [&] {
        move();
        expect_sound(destination);
        EXPECT_TRUE(by_name(source).empty());
        EXPECT_FALSE(fs::exists(source.string() + "-move"));
        auto in_destination = by_name(destination);
        in_destination.erase("Имя999");
        for (const auto& entry : original) {
            const std::size_t n = in_destination.count(entry.first) ? in_destination[entry.first].size() : 0;
            EXPECT_EQ(n, 1u) << entry.first << " is in the destination " << n << " times";
        }
        EXPECT_EQ(in_destination.size(), original.size());
    };

    faults::Plan count;
    fresh();
    {
        PlanInForce in_force(count);
        EXPECT_EQ(move(), 7u);
    }
    EXPECT_TRUE(by_name(source).empty());
    EXPECT_EQ(by_name(destination), original);
    const std::uint64_t steps = count.steps;
    ASSERT_GE(steps, 6 * 7u);  // three groups, each written to both files
    faults::Plan count_more;
    fresh();
    {
        PlanInForce in_force(count_more);
        move_then_write_source();
    }
    const std::uint64_t steps_then_write = count_more.steps;

    for (faults::Mode mode : {faults::Mode::Stop, faults::Mode::PowerCut}) {
        for (std::uint64_t k = 1; k <= steps_then_write; ++k) {
            SCOPED_TRACE((mode == faults::Mode::Stop ? "stopped at step " : "power cut at step ") + std::to_string(k) + " of " +
                         std::to_string(steps) + " (and " + std::to_string(steps_then_write - steps) + " of the write after it)");
            fresh();
            faults::Plan stop{mode, k};
            bool stopped = false;
            try {
                PlanInForce in_force(stop);
                move_then_write_source();
            } catch (const faults::Stopped&) {
                stopped = true;
            }
            ASSERT_TRUE(stopped);
            expect_rows_kept();
            expect_retry_finishes();
            if (::testing::Test::HasFailure()) return;
        }
        cuts[mode == faults::Mode::Stop ? 0 : 1] += steps_then_write;
    }
    for (std::uint64_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("failed at step " + std::to_string(k) + " of " + std::to_string(steps));
        fresh();
        faults::Plan fail{faults::Mode::Fail, k};
        bool reported = false;
        try {
            PlanInForce in_force(fail);
            move();
        } catch (const std::runtime_error&) {
            reported = true;
        }
        if (!reported) {
            // Only the removal of a journal marked finished fails unnoticed:
            // then every row has moved.
            EXPECT_TRUE(by_name(source).empty());
            EXPECT_EQ(by_name(destination), original);
            continue;
        }
        expect_rows_kept();
        expect_retry_finishes();
        if (::testing::Test::HasFailure()) return;
    }
}

// A move cut again and again, each run resuming the last: no row is lost and
// none is copied twice.
TEST(CutWrites, ChainOfCutMovesCopiesNoRowTwice) {
    TempDir dir;
    fs::create_directories(dir / "from");
    fs::create_directories(dir / "to");
    const fs::path source = dir / "from" / "source.mdb", destination = dir / "to" / "destination.mdb";
    fs::rename(write_register(dir / "source.mdb", people(40)), source);
    fs::rename(write_register(dir / "destination.mdb", {}), destination);
    const auto original = by_name(source);
    auto move = [&] {
        reg::MoveOptions options;
        options.group_rows = 6;
        dataaccess::move_register(QString::fromStdString(source.string()), QString::fromStdString(destination.string()), options);
    };
    std::mt19937 rng(5);
    for (int cut = 0; cut < 12; ++cut) {
        faults::Plan count;
        {
            const fs::path s = dir / "s.mdb", d = dir / "d.mdb";
            // Counted on copies: the cut lands somewhere inside what is left to move.
            fs::copy_file(source, s, fs::copy_options::overwrite_existing);
            fs::copy_file(destination, d, fs::copy_options::overwrite_existing);
        }
        {
            PlanInForce in_force(count);
            try {
                reg::MoveOptions options;
                options.group_rows = 6;
                dataaccess::move_register(QString::fromStdString((dir / "s.mdb").string()), QString::fromStdString((dir / "d.mdb").string()), options);
            } catch (const std::exception&) {
            }
        }
        if (count.steps == 0) break;
        faults::Plan stop{cut % 2 ? faults::Mode::PowerCut : faults::Mode::Stop, 1 + rng() % count.steps};
        try {
            PlanInForce in_force(stop);
            move();
        } catch (const faults::Stopped&) {
        }
    }
    move();
    EXPECT_TRUE(by_name(source).empty());
    auto in_destination = by_name(destination);
    EXPECT_EQ(in_destination.size(), original.size());
    for (const auto& [name, rows] : in_destination) EXPECT_EQ(rows.size(), 1u) << name << " copied twice";
    expect_sound(destination);
}

// The counts for the notes on robustness, printed once every test has run.
class CutTotals : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("cuts by stopping: %llu, by cutting the power: %llu\n", static_cast<unsigned long long>(cuts[0]),
                    static_cast<unsigned long long>(cuts[1]));
    }
};
// Google Test takes the environment over and deletes it at the end.
[[maybe_unused]] ::testing::Environment* const g_cut_totals = ::testing::AddGlobalTestEnvironment(new CutTotals);

}  // namespace
