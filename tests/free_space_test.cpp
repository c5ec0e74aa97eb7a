// The space of a register over a long life: rows moved out and back in many
// times leave both files near their first size, compacting gives back what is
// left over, the format's size limit stops a write cleanly, and values Access
// cannot hold are refused.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QString>

#include "jet/compact.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/free_pages.h"
#include "mdb_export_compare.h"
#include "move.h"
#include "support.h"

namespace {

using namespace testing_support;

Row person(int i) {
    Row v(26, jet::Null{});
    v[1] = "Фамилия" + std::to_string(i % 97);
    v[2] = "Имя" + std::to_string(i);
    v[7] = std::string(static_cast<std::size_t>(20 + i % 120), 'a');
    v[12] = std::string(static_cast<std::size_t>(i % 11 == 0 ? 5000 : i % 4 == 0 ? 700 : 30), 'm');  // every kind of long value
    v[14] = "M" + std::to_string(i);
    return v;
}

std::uintmax_t size_of(const fs::path& p) { return fs::file_size(p); }

void move(const fs::path& from, const fs::path& to) {
    reg::move_register(QString::fromStdString(from.string()), QString::fromStdString(to.string()));
}

TEST(FreeSpace, MovesBackAndForthKeepTheFilesNearTheirSize) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 10000, person);
    const fs::path b = write_register(dir / "b.mdb", 0, person);
    const std::uintmax_t a_first = size_of(a);
    move(a, b);
    const std::uintmax_t b_first = size_of(b);
    move(b, a);
    // Pages that deletes free and nothing uses again would show in the first
    // rounds already; scripts/long-tests.sh makes twenty.
    const int rounds = std::getenv("REGISTER_FULL_SWEEP") ? 20 : 6;
    for (int round = 1; round < rounds; ++round) {
        move(a, b);
        move(b, a);
    }
    const double a_growth = static_cast<double>(size_of(a)) / static_cast<double>(a_first) - 1;
    const double b_growth = static_cast<double>(size_of(b)) / static_cast<double>(b_first) - 1;
    std::printf("after %d moves back and forth: %s grew %.1f %%, %s %.1f %%\n", rounds, "a", 100 * a_growth, "b", 100 * b_growth);
    EXPECT_LT(a_growth, 0.06);
    EXPECT_LT(b_growth, 0.08);
    EXPECT_EQ(register_rows(a).size(), 10000u);
    expect_sound(a);
    expect_sound(b);
    EXPECT_TRUE(agrees_with_mdb_export(a, "ЗУРТ")) << "rows in slots that deleted rows left";

    // Compacted, the churned register is no larger than one filled afresh, and
    // holds the same rows with their numbers.
    const fs::path fresh = write_register(dir / "fresh.mdb", 10000, person);
    const fs::path compacted = dir / "compacted.mdb";
    RunResult r = run_regtool({"compact", a.string(), compacted.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("compact: ЗУРТ, 10000 of 10000 rows"), std::string::npos) << r.err;
    EXPECT_LE(size_of(compacted), size_of(fresh) + size_of(fresh) / 50);
    jet::Database original(a.string()), copy(compacted.string());
    for (const std::string& p : jet::compare_copy(original, copy)) ADD_FAILURE() << p;
    EXPECT_TRUE(agrees_with_mdb_export(compacted, "ЗУРТ"));
}

TEST(FreeSpace, CompactReplacesOnlyWhenAskedAndKeepsTheOriginal) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 300, person);
    {
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        std::vector<jet::RowId> ids = d.table("ЗУРТ").row_ids();
        for (std::size_t i = 0; i < ids.size(); i += 2) g.table("ЗУРТ").remove(ids[i]);
        g.commit();
    }
    const std::string before = read_file(db);
    const std::vector<Row> rows = register_rows(db);
    EXPECT_EQ(run_regtool({"compact", db.string(), db.string()}).status, 1) << "never over an existing file";
    EXPECT_EQ(run_regtool({"compact", db.string()}).status, 2);
    RunResult r = run_regtool({"compact", db.string(), "--replace"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(db.string() + ".bak") == before) << "the original is kept";
    EXPECT_LT(size_of(db), before.size());
    EXPECT_EQ(register_rows(db), rows);
    // A second replacement would overwrite the kept original: refused.
    r = run_regtool({"compact", db.string(), "--replace"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing was replaced"), std::string::npos) << r.err;
    EXPECT_EQ(register_rows(db), rows);
    // Files holding what only Access carries over are left alone.
    const fs::path queries = fixtures_dir() / "realworld" / "jackcess__V2000__queryTestV2000.mdb";
    r = run_regtool({"compact", queries.string(), (dir / "q.mdb").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a query"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "q.mdb"));
}

// The format's limit, met at a few pages past the register so that no test
// writes 2 GB: the group that would cross it is refused whole.
TEST(FreeSpace, AWriteThatWouldPassTheSizeLimitIsRefusedWhole) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 20, person);
    const std::uint32_t pages = static_cast<std::uint32_t>(size_of(db) / jet::kPageSize);
    jet::set_page_limit_for_tests(pages + 3);
    const std::string before = read_file(db);
    const jet::Error e = jet_error_of(
        [&] {
            change_table(db, [](jet::TableWriter& t) {
                for (int i = 0; i < 200; ++i) {
                    Row v = person(1000 + i);
                    t.insert(v);
                }
            });
        },
        "the file grew past its limit");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Unsupported);
    EXPECT_EQ(e.reason(), jet::Reason::FileTooLarge);
    jet::set_page_limit_for_tests(jet::kMaxPages);
    EXPECT_TRUE(read_file(db) == before);
}

TEST(FreeSpace, ValuesAccessCannotHoldAreRefused) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 1, person);
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    auto with = [](std::size_t column, jet::Value v) {
        Row r = person(5);
        r[column] = std::move(v);
        return r;
    };
    const jet::DateTime year_0 = jet::from_civil({0, 1, 1}), year_minus_1 = jet::from_civil({-1, 6, 1}),
                        year_99999 = jet::from_civil({99999, 1, 1});
    for (const Row& bad : {with(5, year_0), with(5, year_minus_1), with(5, year_99999), with(10, 1.0 / 0.0), with(10, 0.0 / 0.0)}) {
        Row v = bad;
        const jet::Error e = jet_error_of([&] { g.table("ЗУРТ").insert(v); }, "a value Access cannot hold was stored");
        EXPECT_EQ(e.kind(), jet::ErrorKind::Constraint);
        EXPECT_EQ(e.reason(), jet::Reason::OutOfRange);
    }
    for (const jet::DateTime& ok : {jet::from_civil({100, 1, 1}), jet::from_civil({9999, 12, 31, 23, 59, 59})}) {
        Row v = with(5, ok);
        g.table("ЗУРТ").insert(v);
    }
    g.commit();
    EXPECT_EQ(register_rows(db).size(), 3u);
}

}  // namespace
