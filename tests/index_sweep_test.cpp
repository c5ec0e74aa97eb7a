// Index maintenance on pages other programs laid out: every table with an
// index in the shared test files (Access's own files and the registers of an
// independent writer) loses all its rows in several orders and gets them back,
// a group at a time. After each group the file passes the integrity check
// (rows, indexes and the shape of their trees), and both our reading and
// mdb-export's give exactly the rows expected.
//
// ./test.sh samples the two large registers; REGISTER_FULL_SWEEP=1 (set by
// scripts/long-tests.sh) takes every row of them in every order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>

#include "jet/check.h"
#include "jet/database.h"
#include "btree/index.h"
#include "storage/page_file.h"
#include "mdb_export_compare.h"
#include "support.h"

namespace {

using namespace testing_support;
using Model = std::map<jet::RowId, Row>;

bool full_sweep() {
    const char* v = std::getenv("REGISTER_FULL_SWEEP");
    return v && *v && std::string(v) != "0";
}

// A packed register of the shared files, unpacked into dir. Where xz does
// not run (Windows), REGISTER_UNPACKED_FIXTURES names a folder where it was
// unpacked beforehand (scripts/test-windows.sh).
fs::path unpacked(const TempDir& dir, const std::string& name) {
    fs::path packed = fixtures_dir() / "register" / (name + ".mdb.xz");
    fs::path to = dir / (name + ".mdb");
    if (const char* ready = std::getenv("REGISTER_UNPACKED_FIXTURES"); ready != nullptr && *ready != '\0') {
        fs::copy_file(fs::path(ready) / (name + ".mdb"), to);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
        return to;
    }
    RunResult r = run({"sh", "-c", "xz -dc \"$0\" > \"$1\"", packed.string(), to.string()});
    if (r.status != 0) throw std::runtime_error("cannot unpack " + packed.string() + ": " + r.err);
    return to;
}

Model rows_of(const fs::path& db, const std::string& table) {
    jet::Database d(db.string());
    Model out;
    d.table(table).scan([&](jet::RowId id, const Row& r) {
        out.emplace(id, r);
        return true;
    });
    return out;
}

// The file holds exactly the expected rows by our reading, the table passes
// the integrity check, and mdb-export reads the same rows when asked.
void expect_holds(const fs::path& db, const std::string& table, const Model& want, bool with_mdb_export) {
    Model got = rows_of(db, table);
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [id, row] : want) {
        auto it = got.find(id);
        ASSERT_NE(it, got.end()) << "row " << id.page << ":" << id.row << " is missing";
        ASSERT_TRUE(it->second == row) << "row " << id.page << ":" << id.row << " reads otherwise";
    }
    jet::Database d(db.string());
    for (const std::string& p : jet::check_table(d, table)) ADD_FAILURE() << p;
    if (with_mdb_export) {
        EXPECT_TRUE(agrees_with_mdb_export(db, table));
    }
}

enum class Order { Ascending, Descending, Random, EveryThirdThenRest };

const char* name_of(Order o) {
    switch (o) {
        case Order::Ascending: return "ascending";
        case Order::Descending: return "descending";
        case Order::Random: return "random";
        case Order::EveryThirdThenRest: return "every third, then the rest";
    }
    return "";
}

std::vector<jet::RowId> arranged(std::vector<jet::RowId> ids, Order order, unsigned seed) {
    switch (order) {
        case Order::Ascending: break;
        case Order::Descending: std::reverse(ids.begin(), ids.end()); break;
        case Order::Random: std::shuffle(ids.begin(), ids.end(), std::mt19937(seed)); break;
        case Order::EveryThirdThenRest: {
            std::vector<jet::RowId> out;
            for (std::size_t i = 0; i < ids.size(); i += 3) out.push_back(ids[i]);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                if (i % 3 != 0) out.push_back(ids[i]);
            }
            return out;
        }
    }
    return ids;
}

// The chosen rows of the table leave in `order`, `groups` groups of them,
// then come back in the same order and groups. The file is checked after each
// group, with mdb-export too when `export_each_group`, and always once all
// the chosen rows are gone and once they are back.
void sweep(const fs::path& db, const std::string& table, const std::vector<jet::RowId>& chosen, Order order, std::size_t groups,
           bool export_each_group) {
    SCOPED_TRACE(std::string("order: ") + name_of(order));
    Model model = rows_of(db, table);
    std::vector<jet::RowId> ids = arranged(chosen, order, 2024);
    std::vector<Row> gone;
    const std::size_t per_group = std::max<std::size_t>(1, (ids.size() + groups - 1) / groups);
    for (std::size_t at = 0; at < ids.size(); at += per_group) {
        {
            jet::Database d(db.string());
            jet::WriteGroup g(d);
            g.keep_relationships(false);  // the rows come back in the end: no cascade may take others with them
            jet::TableWriter& t = g.table(table);
            for (std::size_t i = at; i < std::min(ids.size(), at + per_group); ++i) {
                t.remove(ids[i]);
                gone.push_back(std::move(model.at(ids[i])));
                model.erase(ids[i]);
            }
            g.commit();
        }
        expect_holds(db, table, model, export_each_group || at + per_group >= ids.size());
        if (testing::Test::HasFailure()) return;
    }
    for (std::size_t at = 0; at < gone.size(); at += per_group) {
        {
            jet::Database d(db.string());
            jet::WriteGroup g(d);
            g.keep_relationships(false);
            jet::TableWriter& t = g.table(table);
            for (std::size_t i = at; i < std::min(gone.size(), at + per_group); ++i) {
                Row v = gone[i];  // autonumbers too: the row comes back as it was
                jet::RowId id = t.insert(v);
                model.emplace(id, gone[i]);
            }
            g.commit();
        }
        expect_holds(db, table, model, export_each_group || at + per_group >= gone.size());
        if (testing::Test::HasFailure()) return;
    }
    expect_sound(db);
}

// Tables with an index the engine can keep; tables it must refuse are named in `refused`.
std::vector<std::string> indexed_tables(const fs::path& db, int& refused) {
    std::vector<std::string> out;
    jet::Database d(db.string());
    for (const std::string& name : d.user_tables()) {
        if (d.table(name).def().physical_indexes.empty()) continue;
        try {
            jet::WriteGroup g(d);
            g.table(name);
            out.push_back(name);
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::Unsupported) << e.what();
            ++refused;
        }
    }
    return out;
}

std::vector<jet::RowId> ids_of(const Model& m) {
    std::vector<jet::RowId> ids;
    for (const auto& [id, row] : m) ids.push_back(id);
    return ids;
}

TEST(IndexSweep, EveryIndexedTableOfTheSmallerTestFiles) {
    ASSERT_TRUE(have_fixtures()) << "the shared test files are missing";
    ASSERT_TRUE(mdb_export_compares());
    int tables = 0, refused = 0;
    std::size_t rows = 0;
    on_fixture_copies([&](const fs::path& src, const fs::path& db) {
        for (const std::string& table : indexed_tables(db, refused)) {
            SCOPED_TRACE(table);
            std::vector<jet::RowId> ids = ids_of(rows_of(db, table));
            if (ids.empty()) continue;
            for (Order o : {Order::Ascending, Order::Descending, Order::Random, Order::EveryThirdThenRest}) {
                copy_fixture(db.parent_path(), src);
                sweep(db, table, ids, o, std::min<std::size_t>(3, ids.size()), true);
                if (HasFailure()) return;
            }
            ++tables;
            rows += ids.size();
        }
    });
    EXPECT_GE(tables, 46);
    EXPECT_GT(refused, 0) << "the French sort order file must refuse writes";
    std::printf("tables swept: %d (%zu rows), refused: %d\n", tables, rows, refused);
}

// The rows of a large register to sweep: in ./test.sh a run of rows in storage
// order (whole leaves empty and node entries change) and rows scattered over
// the rest; in the full sweep, all of them.
std::vector<jet::RowId> sample(const Model& m, std::size_t run, std::size_t scattered) {
    std::vector<jet::RowId> ids = ids_of(m);
    if (full_sweep()) return ids;
    std::vector<jet::RowId> out(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(std::min(run, ids.size())));
    std::vector<jet::RowId> rest(ids.begin() + static_cast<std::ptrdiff_t>(out.size()), ids.end());
    std::shuffle(rest.begin(), rest.end(), std::mt19937(7));
    rest.resize(std::min(scattered, rest.size()));
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// In ./test.sh: reg_20k in two orders, reg_100k in one, with mdb-export's
// reading compared once all chosen rows are gone and once they are back.
void sweep_large(const std::string& name, std::vector<Order> orders, std::size_t groups, std::size_t run = 3000, std::size_t scattered = 1000) {
    TempDir dir;
    fs::path packed = unpacked(dir, name);
    const std::string table = "ЗУРТ";
    std::vector<jet::RowId> ids = sample(rows_of(packed, table), run, scattered);
    const bool full = full_sweep();
    if (full) orders = {Order::Ascending, Order::Descending, Order::Random, Order::EveryThirdThenRest};
    for (Order o : orders) {
        fs::path db = dir / "work.mdb";
        // Removed first: MinGW's library takes any two files for one (it
        // sees no inode there) and refuses to copy over an existing file.
        fs::remove(db);
        fs::copy_file(packed, db);
        sweep(db, table, ids, o, full ? 5 : groups, full);
        if (testing::Test::HasFailure()) return;
    }
}

TEST(IndexSweep, Register20k) { sweep_large("reg_20k", {Order::Ascending, Order::Random}, 2); }
// The larger register, laid out by the same writer as reg_20k: only in the
// full sweep (scripts/long-tests.sh), which takes every row of it; reading it
// at all takes a minute under the sanitizers.
TEST(IndexSweep, Register100k) {
    if (!full_sweep()) GTEST_SKIP() << "in scripts/long-tests.sh";
    sweep_large("reg_100k", {Order::EveryThirdThenRest}, 1);
}

// The failure first met: deleting the first 2955 rows of reg_20k, then row
// 2956, replaced an entry of a node page that its writer had packed to the
// last bytes by a longer one.
TEST(IndexSweep, DeletesReplacingAnEntryOfAFullNodePage) {
    TempDir dir;
    fs::path db = unpacked(dir, "reg_20k");
    Model model = rows_of(db, "ЗУРТ");
    auto remove_numbers = [&](std::int64_t from, std::int64_t to) {
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        jet::TableWriter& t = g.table("ЗУРТ");
        for (auto it = model.begin(); it != model.end();) {
            std::int64_t n = std::get<std::int64_t>(it->second[0]);
            if (n >= from && n <= to) {
                t.remove(it->first);
                it = model.erase(it);
            } else {
                ++it;
            }
        }
        g.commit();
    };
    remove_numbers(1, 2955);
    remove_numbers(2956, 2956);
    EXPECT_EQ(model.size(), 20000u - 2956u);
    expect_holds(db, "ЗУРТ", model, true);
}

// Random inserts, updates and deletes on the tables of other writers' files,
// against a model of the rows kept in memory.
TEST(IndexSweep, RandomChangesAgreeWithAModel) {
    ASSERT_TRUE(have_fixtures()) << "the shared test files are missing";
    std::mt19937 rng(99);
    int refused = 0, tables = 0, changes = 0;
    auto run_on = [&](const fs::path& db, const std::string& table, int batches, int ops) {
        SCOPED_TRACE(db.filename().string() + " / " + table);
        Model model = rows_of(db, table);
        if (model.empty()) return;
        std::vector<Row> pool;  // rows to insert: the table's own, renumbered
        for (const auto& [id, row] : model) pool.push_back(row);
        for (int batch = 0; batch < batches; ++batch) {
            {
                jet::Database d(db.string());
                jet::WriteGroup g(d);
                jet::TableWriter& t = g.table(table);
                const std::vector<jet::Column>& cols = t.def().columns;
                for (int op = 0; op < ops; ++op) {
                    auto what = rng() % 10;
                    try {
                        if (what < 4 || model.empty()) {
                            Row v = pool[rng() % pool.size()];
                            for (std::size_t c = 0; c < cols.size() && c < v.size(); ++c) {
                                if (cols[c].autonumber()) v[c] = jet::Null{};
                            }
                            jet::RowId id = t.insert(v);
                            model[id] = v;
                        } else {
                            auto it = model.begin();
                            std::advance(it, static_cast<long>(rng() % model.size()));
                            if (what < 7) {
                                Row v = pool[rng() % pool.size()];
                                for (std::size_t c = 0; c < cols.size() && c < v.size(); ++c) {
                                    if (cols[c].autonumber()) v[c] = it->second[c];
                                }
                                t.update(it->first, v);
                                it->second = v;
                            } else {
                                t.remove(it->first);
                                model.erase(it);
                            }
                        }
                        ++changes;
                    } catch (const jet::Error& e) {
                        // A duplicate key, an empty required column, a relationship: refused, nothing changed.
                        ASSERT_EQ(e.kind(), jet::ErrorKind::Constraint) << e.what();
                    }
                }
                g.commit();
            }
            expect_holds(db, table, model, batch + 1 == batches);
            if (testing::Test::HasFailure()) return;
        }
        expect_sound(db);
        ++tables;
    };
    on_fixture_copies([&](const fs::path&, const fs::path& db) {
        for (const std::string& table : indexed_tables(db, refused)) {
            run_on(db, table, 3, 40);
            if (HasFailure()) return;
        }
    });
    if (HasFailure()) return;
    TempDir dir;
    run_on(unpacked(dir, "reg_20k"), "ЗУРТ", full_sweep() ? 20 : 2, full_sweep() ? 2000 : 400);
    EXPECT_GE(tables, 44);  // a few are emptied by the cascading deletes of their parents' before their turn
    EXPECT_GT(changes, 5000);
    std::printf("tables changed: %d, changes: %d\n", tables, changes);
}

}  // namespace

namespace {

// Each JSON line without its first field (the number the destination gives anew).
std::vector<std::string> without_numbers(const std::string& jsonl) {
    std::vector<std::string> out;
    for (const std::string& line : lines(jsonl)) {
        std::size_t comma = line.find(',');
        out.push_back(comma == std::string::npos ? line : line.substr(comma + 1));
    }
    return out;
}

TEST(IndexSweep, MoveOfAnIndependentlyWrittenRegister) {
    TempDir dir;
    fs::path src = unpacked(dir, "reg_20k");
    fs::path dst = dir / "dst.mdb";
    RunResult before = run_regtool({"export", src.string(), "ЗУРТ", "--jsonl"});
    ASSERT_EQ(before.status, 0) << before.err;
    ASSERT_EQ(run_regtool({"create-register", dst.string()}).status, 0);
    RunResult moved = run_regtool({"move", src.string(), dst.string()});
    ASSERT_EQ(moved.status, 0) << moved.err;
    RunResult after = run_regtool({"export", dst.string(), "ЗУРТ", "--jsonl"});
    ASSERT_EQ(after.status, 0) << after.err;
    std::vector<std::string> want = without_numbers(before.out), got = without_numbers(after.out);
    ASSERT_EQ(got.size(), 20000u);
    EXPECT_TRUE(got == want) << "the rows changed on the way";
    EXPECT_EQ(run_regtool({"export", src.string(), "ЗУРТ", "--jsonl"}).out, "");
    for (const fs::path& db : {src, dst}) {
        RunResult c = run_regtool({"check", db.string()});
        EXPECT_EQ(c.out, "OK\n") << db << c.out << c.err;
        EXPECT_TRUE(agrees_with_mdb_export(db, "ЗУРТ"));
    }
}

}  // namespace

namespace {

// A group whose rows the source cannot give up (here: its surname index lacks
// a row's entry) stops the move before the destination stores anything.
TEST(IndexSweep, MoveLeavesBothFilesWhenTheSourceCannotDelete) {
    TempDir dir;
    fs::path src = copy_fixture(dir.path(), fixtures_dir() / "register" / "reg_small.mdb");
    std::uint32_t root = 0;
    {
        jet::Database db(src.string());
        jet::Table t = db.table("ЗУРТ");
        for (const jet::LogicalIndex& li : t.def().indexes) {
            if (li.name == "Фамилия") root = t.def().physical_indexes[li.physical].root_page;
        }
    }
    std::string bytes = read_file(src);
    const std::size_t page = std::size_t{root} * jet::kPageSize;
    ASSERT_EQ(bytes[page], 0x04) << "a small table's index is one leaf page";
    const std::size_t at = bytes.find('\x7F', page + jet::index_page::kEntries) + 1;
    bytes[at] = static_cast<char>(bytes[at] + 1);
    write_file(src, bytes);
    fs::path dst = dir / "dst.mdb";
    ASSERT_EQ(run_regtool({"create-register", dst.string()}).status, 0);
    const std::string dst_before = read_file(dst);
    RunResult r = run_regtool({"move", src.string(), dst.string()}, {"LANG=ru_RU.UTF-8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("повреждена"), std::string::npos) << r.err;
    EXPECT_TRUE(read_file(src) == bytes) << "the source changed";
    EXPECT_TRUE(read_file(dst) == dst_before) << "the destination stored rows the source kept";
}

}  // namespace
