// Writing: every change is read back by mdb-export and by the integrity check.
#include <gtest/gtest.h>

#include <map>

#include "jet/check.h"
#include "jet/database.h"
#include "mdb_export_compare.h"
#include "support.h"

namespace {

using namespace testing_support;

const char kRegister[] = "ЗУРТ";

fs::path copy_fixture(const TempDir& dir, const std::string& name) {
    fs::path to = dir / name;
    fs::copy_file(fixtures_dir() / "register" / name, to);
    return to;
}

std::vector<jet::Value> person(int i, const jet::TableDef& def) {
    std::vector<jet::Value> v(def.columns.size(), jet::Null{});
    v[1] = std::string(i % 3 ? "Иванов" : "Петрова") + std::to_string(i % 17);
    v[2] = std::string("Имя") + std::to_string(i);
    v[5] = jet::DateTime{20000.0 + i};
    v[9] = std::int64_t{150 + i % 50};
    v[10] = 60.5 + i;
    v[11] = i % 2 == 0;
    if (i % 5 == 0) v[12] = std::string(static_cast<std::size_t>(i * 37 % 9000), 'x');
    v[21] = jet::Currency{i * 12345LL};
    v[24] = "foto\\p" + std::to_string(i) + ".jpg";
    return v;
}

void expect_sound(const fs::path& db) {
    jet::Database d(db.string());
    auto problems = jet::check_database(d);
    for (const auto& p : problems) ADD_FAILURE() << p;
    if (have_program("mdb-export")) {
        EXPECT_TRUE(agrees_with_mdb_export(db, kRegister));
    }
}

TEST(Write, InsertsFillPagesAndGrowTheFile) {
    if (!have_fixtures()) GTEST_SKIP() << "the shared test files are absent";
    TempDir dir;
    fs::path db = copy_fixture(dir, "reg_small.mdb");
    auto before = fs::file_size(db);
    {
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        jet::TableWriter& t = g.table(kRegister);
        for (int i = 0; i < 400; ++i) {
            auto v = person(i, t.def());
            t.insert(v);
            EXPECT_EQ(std::get<std::int64_t>(v[0]), 26 + i);
        }
        g.commit();
    }
    EXPECT_GT(fs::file_size(db), before);
    expect_sound(db);
    jet::Database d(db.string());
    jet::Table t = d.table(kRegister);
    EXPECT_EQ(t.def().row_count, 425u);
    std::map<std::int64_t, std::vector<jet::Value>> seen;
    t.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
        seen[std::get<std::int64_t>(row[0])] = row;
        return true;
    });
    ASSERT_EQ(seen.size(), 425u);
    for (int i = 0; i < 400; ++i) {
        auto want = person(i, t.def());
        want[0] = std::int64_t{26 + i};
        if (std::holds_alternative<jet::Null>(want[11])) want[11] = false;
        EXPECT_EQ(seen[26 + i], want) << "row " << i;
    }
}

}  // namespace
