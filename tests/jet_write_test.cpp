// Writing: every change is read back by mdb-export (a reader we did not write)
// and by the integrity check, which also holds the indexes against the rows.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <thread>

#include "jet/check.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "format/data_page.h"
#include "jet/database.h"
#include "jet/prepared_row.h"
#include "btree/index.h"
#include "table/database_insides.h"
#include "mdb_export_compare.h"
#include "support.h"
#include "child_work.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;

const char kRegister[] = "ЗУРТ";

std::string rep(const std::string& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

// An empty register.
fs::path new_register(const TempDir& dir) { return write_register(dir / "reg.mdb", {}); }

const char* const kSurnames[] = {"Иванов", "Петрова", "Сидоров", "Ёлкин", "Елкин", "иванов", "ИВАНОВ", "Щукина", "Smith", "Ännchen"};

Row person(int i) {
    Row v(26, jet::Null{});
    v[1] = std::string(kSurnames[i % 10]) + std::to_string(i % 17);
    v[2] = std::string("Имя") + std::to_string(i);
    v[5] = jet::DateTime{20000.25 + i};
    v[9] = std::int64_t{150 + i % 50};
    v[10] = 60.5 + i;
    v[11] = i % 2 == 0;
    // Memo values of every storage kind: inline, one page, a chain of pages.
    const std::size_t memo[] = {0, 10, 64, 65, 3000, 4076, 4077, 9000, 20000};
    if (i % 3 == 0) v[12] = std::string(memo[static_cast<std::size_t>(i / 3) % 9], static_cast<char>('a' + i % 26));
    v[21] = jet::Currency{i * 12345LL};
    v[24] = "foto\\p" + std::to_string(i) + ".jpg";
    return v;
}

// Live rows stored on long-value pages: none may be left behind by updates and deletes.
std::size_t long_value_rows(const fs::path& db) {
    jet::PageFile f(db.string());
    std::size_t n = 0;
    for (std::uint32_t p = 0; p < f.page_count(); ++p) {
        jet::Bytes b = jet::bytes_of(*f.page(p));
        if (b[0] != 1 || jet::u32(b, jet::data_page::kOwner) != jet::data_page::kLongValueMark) continue;
        for (std::uint16_t r = 0; r < jet::data_page::row_count(b); ++r) n += jet::data_page::slot(b, r).deleted() ? 0 : 1;
    }
    return n;
}

TEST(Write, InsertsFillPagesAndGrowTheFile) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    TempDir dir;
    fs::path db = copy_fixture(dir.path(), fixtures_dir() / "register" / "reg_small.mdb");
    auto before = fs::file_size(db);
    change_table(db, [](jet::TableWriter& t) {
        for (int i = 0; i < 400; ++i) {
            Row v = person(i);
            t.insert(v);
            EXPECT_EQ(std::get<std::int64_t>(v[0]), 26 + i);
        }
    });
    EXPECT_GT(fs::file_size(db), before);
    expect_sound(db, {kRegister});
    auto seen = rows_by_first(db);
    ASSERT_EQ(seen.size(), 425u);
    for (int i = 0; i < 400; ++i) {
        Row want = person(i);
        want[0] = std::int64_t{26 + i};
        EXPECT_EQ(seen[26 + i], want) << "row " << i;
    }
    EXPECT_EQ(jet::Database(db.string()).table(kRegister).def().row_count, 425u);
}

TEST(Write, NewDatabaseAndRegisterAreReadByOthers) {
    TempDir dir;
    fs::path db = write_register(dir / "reg.mdb", 30, person);
    EXPECT_THROW(jet::create_database(db.string()), jet::Error);  // never over an existing file
    {
        jet::Database d(db.string());
        EXPECT_EQ(d.user_tables(), std::vector<std::string>{kRegister});
        jet::Table t = d.table(kRegister);
        ASSERT_EQ(t.columns().size(), 26u);
        EXPECT_EQ(t.columns()[24].name, "Фото");
        EXPECT_TRUE(t.columns()[0].autonumber());
    }
    expect_sound(db, {kRegister});
    if (have_program("mdb-tables")) {
        RunResult r = run({"mdb-tables", "-1", db.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string(kRegister) + "\n");
        RunResult s = run({"mdb-schema", db.string()});
        EXPECT_NE(s.out.find("Адрес места жительства"), std::string::npos) << s.out;
    }
    EXPECT_EQ(rows_by_first(db).size(), 30u);
}

TEST(Write, UpdatesGrowShrinkAndMoveRows) {
    TempDir dir;
    fs::path db = new_register(dir);
    std::map<std::int64_t, Row> model;
    std::vector<jet::RowId> ids;
    change_table(db, [&](jet::TableWriter& t) {
        for (int i = 0; i < 120; ++i) {
            Row v = person(i * 3);  // every one with a memo
            ids.push_back(t.insert(v));
            model[std::get<std::int64_t>(v[0])] = v;
        }
    });
    ASSERT_GT(long_value_rows(db), 0u);
    // Three rounds: grow every other row past what its page holds, shrink the rest, then swap.
    for (int round = 0; round < 3; ++round) {
        change_table(db, [&](jet::TableWriter& t) {
            for (std::size_t k = 0; k < ids.size(); ++k) {
                Row v = *t.read(ids[k]);
                bool grow = (k + static_cast<std::size_t>(round)) % 2 == 0;
                v[7] = grow ? rep("Ж", 255) : std::string("кв. 1");
                v[3] = grow ? rep("Щ", 50) : std::string();
                v[12] = model[std::get<std::int64_t>(v[0])][12];  // the same memo, written anew
                v[0] = std::int64_t{999999};                      // an autonumber keeps its value
                t.update(ids[k], v);
                v[0] = model.at(static_cast<std::int64_t>(k + 1))[0];
                model[static_cast<std::int64_t>(k + 1)] = v;
            }
        });
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_EQ(rows_by_first(db), model);
        expect_sound(db, {kRegister});
    }
    // A moved row is still found by the id it always had.
    {
        jet::Database d(db.string());
        jet::Table t = d.table(kRegister);
        for (std::size_t k = 0; k < ids.size(); ++k) EXPECT_EQ(*t.read(ids[k]), model.at(static_cast<std::int64_t>(k + 1)));
    }
    // Every long value written over was let go: with the rows gone, none is left.
    change_table(db, [&](jet::TableWriter& t) {
        for (jet::RowId id : ids) t.remove(id);
    });
    EXPECT_EQ(long_value_rows(db), 0u) << "long values leaked";
    expect_sound(db, {kRegister});
}

TEST(Write, DeletesFirstMiddleLastThenAllAndSpaceIsReused) {
    TempDir dir;
    fs::path db = new_register(dir);
    std::vector<jet::RowId> ids;
    change_table(db, [&](jet::TableWriter& t) {
        for (int i = 0; i < 300; ++i) {
            Row v = person(i);
            ids.push_back(t.insert(v));
        }
    });
    change_table(db, [&](jet::TableWriter& t) {
        for (std::size_t k : {std::size_t{0}, std::size_t{150}, std::size_t{299}}) t.remove(ids[k]);
        EXPECT_THROW(t.remove(ids[150]), jet::Error);
    });
    auto rows = rows_by_first(db);
    EXPECT_EQ(rows.size(), 297u);
    EXPECT_FALSE(rows.count(1) || rows.count(151) || rows.count(300));
    expect_sound(db, {kRegister});
    EXPECT_FALSE(jet::Database(db.string()).table(kRegister).read(ids[150]).has_value());
    change_table(db, [&](jet::TableWriter& t) {
        for (jet::RowId id : ids) {
            if (t.read(id)) t.remove(id);
        }
    });
    EXPECT_TRUE(rows_by_first(db).empty());
    EXPECT_EQ(long_value_rows(db), 0u);
    expect_sound(db, {kRegister});
    auto size = fs::file_size(db);
    change_table(db, [](jet::TableWriter& t) {
        for (int i = 0; i < 300; ++i) {
            Row v = person(i);
            t.insert(v);
            EXPECT_EQ(std::get<std::int64_t>(v[0]), 301 + i);  // numbers are never handed out twice
        }
    });
    EXPECT_LE(fs::file_size(db), size + 8 * jet::kPageSize) << "the freed room was not used again";
    expect_sound(db, {kRegister});
}

TEST(Write, IndexesSplitToSeveralLevelsAndShrinkBack) {
    TempDir dir;
    fs::path db = new_register(dir);
    std::mt19937 rng(7);
    std::vector<std::pair<jet::RowId, std::int64_t>> ids;
    change_table(db, [&](jet::TableWriter& t) {
        for (int i = 0; i < 25000; ++i) {
            Row v(26, jet::Null{});
            v[1] = std::string(kSurnames[rng() % 10]) + "-" + std::to_string(rng() % 100000) + "ёжик";
            v[2] = std::string("Анна");
            jet::RowId id = t.insert(v);
            ids.emplace_back(id, std::get<std::int64_t>(v[0]));
        }
    });
    expect_sound(db, {kRegister});
    {
        jet::Database d(db.string());
        jet::Table t = d.table(kRegister);
        const jet::TableDef& def = t.def();
        for (const jet::PhysicalIndex& x : {def.physical_indexes.at(1)}) {  // the surname index
            jet::IndexPage root = jet::read_index_page(jet::file_of(d), def.page, x.root_page);
            ASSERT_FALSE(root.leaf);
            jet::IndexPage below = jet::read_index_page(jet::file_of(d), def.page, root.children.empty() ? root.tail : root.children[0]);
            EXPECT_FALSE(below.leaf) << "expected three levels";
        }
    }
    std::shuffle(ids.begin(), ids.end(), rng);
    change_table(db, [&](jet::TableWriter& t) {
        for (std::size_t k = 0; k < 24990; ++k) t.remove(ids[k].first);
    });
    expect_sound(db, {kRegister});
    EXPECT_EQ(rows_by_first(db).size(), 10u);
}

// Thousands of random inserts, updates and deletes against a model in memory.
TEST(Write, RandomOperationsAgreeWithAModel) {
    TempDir dir;
    fs::path db = new_register(dir);
    std::mt19937 rng(12345);
    std::map<std::int64_t, std::pair<jet::RowId, Row>> model;
    for (int batch = 0; batch < 30; ++batch) {
        change_table(db, [&](jet::TableWriter& t) {
            for (int op = 0; op < 100; ++op) {
                auto what = static_cast<unsigned>(rng() % 10);
                if (what < 5 || model.empty()) {
                    Row v = person(static_cast<int>(rng() % 1000));
                    jet::RowId id = t.insert(v);
                    model[std::get<std::int64_t>(v[0])] = {id, v};
                } else {
                    auto it = model.begin();
                    std::advance(it, static_cast<long>(rng() % model.size()));
                    if (what < 8) {
                        Row v = person(static_cast<int>(rng() % 1000));
                        v[0] = it->first;
                        t.update(it->second.first, v);
                        it->second.second = v;
                    } else {
                        t.remove(it->second.first);
                        model.erase(it);
                    }
                }
            }
        });
        std::map<std::int64_t, Row> want;
        for (const auto& [n, e] : model) want[n] = e.second;
        ASSERT_EQ(rows_by_first(db), want) << "after batch " << batch;
        if (batch % 10 == 9) expect_sound(db);
    }
    expect_sound(db, {kRegister});
}

TEST(Write, RefusedValuesChangeNothing) {
    TempDir dir;
    fs::path db = new_register(dir);
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    jet::TableWriter& t = g.table(kRegister);
    Row a = person(1);
    t.insert(a);
    Row dup = person(2);
    dup[0] = a[0];
    EXPECT_THROW(t.insert(dup), jet::Error) << "a second row with the same primary key";
    Row too_long = person(3);
    too_long[1] = rep("Ы", 51);
    EXPECT_THROW(t.insert(too_long), jet::Error);
    Row wrong = person(4);
    wrong[9] = std::int64_t{40000};  // Integer holds up to 32767
    EXPECT_THROW(t.insert(wrong), jet::Error);
    Row ok = person(6);
    t.insert(ok);
    g.commit();
    EXPECT_EQ(rows_by_first(db).size(), 2u);
    expect_sound(db, {kRegister});
}

// Rows made ready on another thread (as an insert reads its input, or a move
// its source) are stored as plain inserts store them: the same values,
// numbers, long values and keys, read back by mdb-export. A refused value is
// refused in the insert's words; a row made ready for another definition is
// made again for the table it goes to.
TEST(Write, RowsPreparedOnAnotherThreadAreStoredAsInsertsStoreThem) {
    TempDir dir;
    const fs::path plain = write_register(dir / "plain.mdb", 300, person);
    const fs::path ready = write_register(dir / "ready.mdb", {});
    change_table(ready, [&](jet::TableWriter& t) {
        const jet::RowPreparer preparer(t);
        std::vector<jet::PreparedRow> rows(300);
        std::thread([&] {
            for (int i = 0; i < 300; ++i) preparer.prepare(person(i), rows[static_cast<std::size_t>(i)]);
        }).join();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            t.insert(rows[i]);
            EXPECT_EQ(rows[i].values[0], jet::Value{static_cast<std::int64_t>(i + 1)}) << "the number it was given";
        }
    });
    EXPECT_EQ(rows_by_first(plain), rows_by_first(ready));
    expect_sound(ready, {kRegister});

    std::string plain_why, ready_why;
    change_table(ready, [&](jet::TableWriter& t) {
        Row too_long = person(3);
        too_long[1] = rep("Ы", 51);
        Row copy = too_long;
        EXPECT_THROW(try { t.insert(copy); } catch (const jet::Error& e) {
            plain_why = e.what();
            throw;
        }, jet::Error);
        jet::PreparedRow p;
        EXPECT_THROW(try { jet::RowPreparer(t).prepare(too_long, p); } catch (const jet::Error& e) {
            ready_why = e.what();
            EXPECT_EQ(e.kind(), jet::ErrorKind::Constraint);
            throw;
        }, jet::Error);
    });
    EXPECT_FALSE(plain_why.empty());
    EXPECT_EQ(plain_why, ready_why);
    EXPECT_EQ(rows_by_first(ready).size(), 300u);

    using T = jet::ColumnType;
    const jet::TableSpec one{"Один", {{"id", T::Long, 0, true}, {"name", T::Text, 40}}, {{"pk", {{"id", true}}, true}}};
    const jet::TableSpec two{"Два", {{"id", T::Long, 0, true}, {"note", T::Memo}, {"name", T::Text, 40}}, {{"pk", {{"id", true}}, true}}};
    const fs::path first = write_table(dir / "one.mdb", one), second = write_table(dir / "two.mdb", two);
    jet::PreparedRow p;
    change_table(first, [&](jet::TableWriter& t) { jet::RowPreparer(t).prepare({jet::Null{}, std::string("Ёлкин")}, p); }, "Один");
    change_table(second, [&](jet::TableWriter& t) { t.insert(p); }, "Два");
    EXPECT_EQ(rows_by_first(second, "Два"), (std::map<std::int64_t, Row>{{1, {std::int64_t{1}, std::string("Ёлкин"), jet::Null{}}}}));
    expect_sound(second, {"Два"});
}

// A definition whose memo column keeps its free-space map in the row of the
// table's own map: a write would rewrite the table's map through the memo's
// and lose every row from it. The table is refused and check names it.
TEST(Write, UsageMapsSharingARowAreRefused) {
    TempDir dir;
    fs::path db = write_register(dir / "reg.mdb", 4, [](int i) { return person(i * 3 + 12); });  // memos on pages of their own
    std::string bytes = read_file(db);
    {
        jet::Database d(db.string());
        const jet::Table t = d.table(kRegister);
        const jet::TableDef& def = t.def();
        ASSERT_FALSE(def.long_value_maps.empty());
        const jet::LongValueMaps& m = def.long_value_maps.front();
        // The column's entry in the definition: its number, then its two map pointers.
        std::string entry(10, '\0');
        auto put = [&](std::size_t at, std::uint32_t v, int n) {
            for (int k = 0; k < n; ++k) entry[at + static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
        };
        put(0, m.column_number, 2);
        put(2, m.used_pages, 4);
        put(6, m.free_pages, 4);
        const std::size_t at = bytes.find(entry, std::size_t{def.page} * jet::kPageSize);
        ASSERT_NE(at, std::string::npos);
        for (int k = 0; k < 4; ++k) bytes[at + 6 + static_cast<std::size_t>(k)] = static_cast<char>(def.used_pages >> (8 * k));
    }
    write_file(db, bytes);
    jet::Database d(db.string());
    const jet::Error e = jet_error_of(
        [&] {
            jet::WriteGroup g(d);
            g.table(kRegister);
        },
        "the table was opened for writing");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Damaged) << e.what();
    EXPECT_NE(std::string(e.what()).find("same row"), std::string::npos) << e.what();
    EXPECT_EQ(read_file(db), bytes);
    const std::vector<std::string> problems = jet::check_database(d);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("is the same row as its owned-pages map"), std::string::npos) << problems[0];
    EXPECT_EQ(rows_by_first(db).size(), 4u) << "still readable";
}

// A memo whose long-value row is marked deleted: the next write may squeeze
// those bytes out, so reading it is refused as damage (and check says so)
// rather than trusted.
TEST(Write, LongValueInADeletedRowIsDamage) {
    TempDir dir;
    fs::path db = write_register(dir / "reg.mdb", 1, person, 21);  // a memo of 9,000 characters: a chain of pages
    std::string bytes = read_file(db);
    std::size_t flagged = 0;
    for (std::size_t p = 0; p < bytes.size() / jet::kPageSize; ++p) {
        const std::size_t at = p * jet::kPageSize;
        jet::Bytes page(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, jet::kPageSize);
        if (page[0] == 1 && jet::u32(page, jet::data_page::kOwner) == jet::data_page::kLongValueMark) {
            bytes[at + jet::data_page::kFirstSlot + 1] = static_cast<char>(bytes[at + jet::data_page::kFirstSlot + 1] | 0x80);
            ++flagged;
        }
    }
    ASSERT_GT(flagged, 0u);
    write_file(db, bytes);
    const jet::Error e = jet_error_of([&] { rows_by_first(db); }, "the memo was read");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Damaged);
    EXPECT_NE(std::string(e.what()).find("deleted row"), std::string::npos) << e.what();
    jet::Database d(db.string());
    EXPECT_FALSE(jet::check_database(d).empty());
}

// A read-only file, or a file in a read-only folder (where no journal can be
// made): a write group is refused as read-only, the file is still read, and
// nothing of it changes. The programs pass this refusal on (see the suites of
// the data access layer and of each window).
TEST(Write, ReadOnlyFileOrFolderIsRefusedAndUnchanged) {
    for (const bool folder : {false, true}) {
#ifdef _WIN32
        if (folder) continue;  // a folder keeps no write bits there: its rights are in its ACL
#endif
        SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
        TempDir dir;
        const fs::path db = write_register(dir / "reg" / "reg.mdb", 3, person);
        const std::string before = read_file(db);
        std::optional<ReadOnlyFolder> ro;
        if (folder) {
            ro.emplace(db.parent_path());
        } else {
            read_only_file(db);
        }
        jet::Database d(db.string());
        EXPECT_EQ(jet_error_of([&] { jet::WriteGroup g(d); }, "opened for writing").kind(), jet::ErrorKind::ReadOnly);
        EXPECT_EQ(d.table(kRegister).row_ids().size(), 3u) << "still readable";
        EXPECT_EQ(read_file(db), before);
        EXPECT_FALSE(fs::exists(journal_of(db)));
    }
}

TEST(Write, AnotherWritersChangesAreSeenAtOnce) {
    TempDir dir;
    fs::path db = new_register(dir);
    jet::Database reader(db.string());
    jet::Table t = reader.table(kRegister);
    EXPECT_EQ(t.row_ids().size(), 0u);
    change_table(db, [](jet::TableWriter& w) {
        Row v = person(1);
        w.insert(v);
    });
    EXPECT_EQ(t.row_ids().size(), 1u);
}

constexpr int kEachWriter = 1500;

// One of two writers: persons 0 .. kEachWriter - 1, each marked with the
// writer's number, ten to a group.
CHILD_WORK(inserting_writer) {
    const std::int64_t k = std::stoll(args.at(1));
    // What is tested is that no row is lost, not how long a writer
    // waits behind the other on a busy machine.
    jet::Database d(args.at(0), std::chrono::minutes(2));
    for (int i = 0; i < kEachWriter; i += 10) {
        jet::WriteGroup g(d);
        for (int j = 0; j < 10; ++j) {
            Row v = person(i + j);
            v[22] = k;
            g.table(kRegister).insert(v);
        }
        g.commit();
    }
    return 0;
}

TEST(Write, TwoProcessesInsertingAtOnceLoseNothing) {
    TempDir dir;
    fs::path db = new_register(dir);
    constexpr int kEach = kEachWriter;
    std::vector<sys::Child> kids;
    for (int k = 0; k < 2; ++k) kids.push_back(start_child("inserting_writer", {db.string(), std::to_string(k)}));
    for (sys::Child& kid : kids) EXPECT_EQ(kid.wait(), 0);
    auto rows = rows_by_first(db);
    EXPECT_EQ(rows.size(), 2u * kEach);
    EXPECT_EQ(rows.rbegin()->first, 2 * kEach);
    expect_sound(db, {kRegister});
}

// A table with a column of every type and indexes on the usual key types.
TEST(Write, TableOfEveryTypeWithIndexes) {
    TempDir dir;
    using T = jet::ColumnType;
    jet::TableSpec spec;
    spec.name = "Все типы";
    spec.columns = {{"id", T::Long, 0, true}, {"flag", T::Boolean},   {"byte", T::Byte},       {"small", T::Integer},
                    {"big", T::Long},         {"money", T::Currency}, {"single", T::Single},   {"double", T::Double},
                    {"when", T::DateTime},    {"bin", T::Binary, 16}, {"text", T::Text, 40},   {"ole", T::Ole},
                    {"memo", T::Memo},        {"guid", T::Guid},      {"dec", T::Decimal, 0, false, 18, 4}};
    spec.indexes = {{"pk", {{"id", true}}, true},
                    {"by_small", {{"small", true}}},
                    {"by_big_unique", {{"big", false}}, false, true},
                    {"by_when", {{"when", true}}},
                    {"by_money_double", {{"money", true}, {"double", false}}},
                    {"by_text", {{"text", true}}, false, false, true}};
    const fs::path db = write_table(dir / "types.mdb", spec);
    std::mt19937 rng(99);
    std::map<std::int64_t, std::pair<jet::RowId, Row>> model;
    auto make = [&](int i) {
        Row v(15, jet::Null{});
        if (i % 7 == 0) return v;  // all Null but the key
        v[1] = i % 2 == 0;
        v[2] = std::int64_t{i % 256};
        v[3] = std::int64_t{static_cast<int>(rng() % 65536) - 32768};
        v[4] = std::int64_t{i * 7919 - 1000000};
        v[5] = jet::Currency{static_cast<std::int64_t>(rng() % 2000000) - 1000000};
        v[6] = static_cast<float>(i) / 3.0f;
        v[7] = (static_cast<double>(rng() % 1000) - 500) / 7.0;
        v[8] = jet::DateTime{-700.75 + i * 1.5};
        v[9] = jet::Binary{{static_cast<std::uint8_t>(i), 0, 0xFF, static_cast<std::uint8_t>(i >> 8)}};
        v[10] = std::string(i % 3 ? "Ёж " : "ёж ") + std::to_string(rng() % 50);
        v[11] = jet::Binary{std::vector<std::uint8_t>(static_cast<std::size_t>(i * 53 % 6000), static_cast<std::uint8_t>(i))};
        v[12] = rep("Память ", static_cast<std::size_t>(i % 900));
        jet::Guid gd;
        for (auto& b : gd.bytes) b = static_cast<std::uint8_t>(rng());
        v[13] = gd;
        jet::Decimal dec;
        dec.negative = i % 4 == 1;
        dec.magnitude[0] = static_cast<std::uint32_t>(i) * 10007u;
        dec.scale = 4;
        dec.precision = 18;
        v[14] = dec;
        return v;
    };
    for (int batch = 0; batch < 4; ++batch) {
        change_table(db, [&](jet::TableWriter& t) {
            for (int i = 0; i < 300; ++i) {
                Row v = make(batch * 300 + i);
                jet::RowId id = t.insert(v);
                model[std::get<std::int64_t>(v[0])] = {id, v};
            }
            for (int k = 0; k < 60; ++k) {
                auto it = model.begin();
                std::advance(it, static_cast<long>(rng() % model.size()));
                if (k % 2) {
                    t.remove(it->second.first);
                    model.erase(it);
                } else {
                    Row v = make(static_cast<int>(rng() % 5000));
                    v[4] = it->second.second[4];  // keeps the unique column clear of clashes
                    v[0] = it->first;
                    t.update(it->second.first, v);
                    it->second.second = v;
                }
            }
        }, "Все типы");
    }
    std::map<std::int64_t, Row> got = rows_by_first(db, "Все типы");
    ASSERT_EQ(got.size(), model.size());
    for (const auto& [n, e] : model) {
        Row want = e.second;
        if (std::holds_alternative<jet::Null>(want[1])) want[1] = false;
        EXPECT_EQ(got[n], want) << "row " << n;
    }
    expect_sound(db, {"Все типы"});
}

constexpr int kKilledWritersGroup = 150;

// A writer that gives a sign after each group it commits, so that the kill
// lands in the middle of its work however slow the machine is.
CHILD_WORK(killed_writer) {
    jet::Database d(args.at(0));
    const fs::path signs = args.at(1);
    for (int g = 0; g < 1000; ++g) {
        jet::WriteGroup w(d);
        for (int i = 0; i < kKilledWritersGroup; ++i) {
            Row v = person(g * kKilledWritersGroup + i);
            w.table(kRegister).insert(v);
        }
        // Also changes and removals, so that every kind of page is rewritten.
        jet::TableWriter& t = w.table(kRegister);
        std::vector<jet::RowId> ids = d.table(kRegister).row_ids();
        if (ids.size() > 10) {
            Row first = *t.read(ids[0]);
            t.update(ids[0], first);
        }
        w.commit();
        if (g == 0) give_sign(signs / "committed");
    }
    return 0;
}

// A writer killed at any instant: the next process to open the file finds
// either the whole of the group or none of it.
TEST(Write, KilledWriterLeavesWholeGroupsOnly) {
    TempDir dir;
    fs::path db = new_register(dir);
    std::mt19937 rng(2024);
    std::size_t last = 0;
    for (int round = 0; round < 12; ++round) {
        TempDir signs;
        sys::Child writer = start_child("killed_writer", {db.string(), signs.path().string()});
        ASSERT_TRUE(await_sign(signs / "committed", &writer)) << "the writer committed nothing";
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 200000));
        writer.kill();
        writer.wait();
        jet::Database d(db.string());  // takes the lock: an interrupted group is undone here
        EXPECT_FALSE(fs::exists(journal_of(db)));
        auto problems = jet::check_database(d);
        ASSERT_TRUE(problems.empty()) << "round " << round << ": " << problems.front();
        std::size_t rows = d.table(kRegister).row_ids().size();
        EXPECT_EQ(rows % kKilledWritersGroup, 0u) << "a group was cut in two";
        EXPECT_GE(rows, last);
        last = rows;
    }
    EXPECT_GT(last, 0u);
}

// Copies of files other writers made: Jackcess-written registers and Access files.
TEST(Write, ChangesToOtherWritersFilesStaySound) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    int written = 0, refused = 0;
    on_fixture_copies([&](const fs::path&, const fs::path& db) {
        std::vector<std::string> tables = jet::Database(db.string()).user_tables();
        for (const std::string& table : tables) {
            SCOPED_TRACE(table);
            jet::Database d(db.string());
            std::vector<std::pair<jet::RowId, Row>> rows;
            d.table(table).scan([&](jet::RowId id, const Row& r) {
                rows.emplace_back(id, r);
                return rows.size() < 3;
            });
            try {
                jet::WriteGroup g(d);
                jet::TableWriter& t = g.table(table);
                for (const auto& [id, r] : rows) {
                    Row copy = r;
                    for (std::size_t c = 0; c < copy.size(); ++c) {
                        if (t.def().columns[c].autonumber()) copy[c] = jet::Null{};
                    }
                    try {
                        t.insert(copy);  // may clash with a unique index: then refused, nothing changed
                    } catch (const jet::Error& e) {
                        EXPECT_EQ(e.kind(), jet::ErrorKind::Constraint) << e.what();
                    }
                }
                if (!rows.empty()) t.remove(rows.front().first);
                if (rows.size() > 1) t.update(rows[1].first, rows[1].second);
                g.commit();
                ++written;
            } catch (const jet::Error& e) {
                ASSERT_EQ(e.kind(), jet::ErrorKind::Unsupported) << e.what();
                ++refused;
                continue;
            }
            if (mdb_export_compares()) {
                EXPECT_TRUE(agrees_with_mdb_export(db, table));
            }
        }
        expect_sound(db);
    });
    EXPECT_GT(written, 50);
    EXPECT_GT(refused, 0) << "the French sort order file must refuse writes";
}

// Whatever a call on a database, its tables or a write group raises names
// the file it was made on, so that a caller holding two files (a move) can
// tell which one failed.
TEST(Writes, EachFailureNamesItsFile) {
    TempDir dir;
    const fs::path a = make_register(dir.path(), 3, "a.mdb"), b = make_register(dir.path(), 3, "b.mdb");
    const std::string missing = (dir / "missing.mdb").string();
    EXPECT_EQ(jet_error_of([&] { jet::Database d(missing); }, "opened a missing file").file(), missing);
    jet::Database da(a.string()), db(b.string());
    EXPECT_EQ(jet_error_of([&] { da.table("Нет такой"); }, "opened a missing table").file(), a.string());
    {
        jet::WriteGroup in_a(da);
        jet::TableWriter& w = in_a.table("ЗУРТ");
        Row again = person(0);
        again[0] = std::int64_t{1};  // a number the table holds already
        const jet::Error e = jet_error_of([&] { w.insert(again); }, "stored a number twice");
        EXPECT_EQ(e.kind(), jet::ErrorKind::Constraint);
        EXPECT_EQ(e.file(), a.string());
        EXPECT_EQ(jet_error_of([&] { w.read(jet::RowId{9999, 0}); }, "read a page past the end").file(), a.string());
        // The other file, made read-only, names itself while the first is held.
        read_only_file(b);
        const jet::Error refused = jet_error_of([&] { jet::WriteGroup in_b(db); }, "wrote to a read-only file");
        EXPECT_EQ(refused.kind(), jet::ErrorKind::ReadOnly);
        EXPECT_EQ(refused.file(), b.string());
    }
    EXPECT_EQ(jet_error_of([&] { da.table("ЗУРТ").read(jet::RowId{9999, 0}); }, "read a page past the end").file(), a.string());
}

}  // namespace
