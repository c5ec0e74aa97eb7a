// Reading rows by id agrees with the scan, for deleted and moved rows too.
#include <gtest/gtest.h>

#include "jet/database.h"
#include "support.h"

namespace {

using namespace testing_support;

void expect_reads_agree_with_scan(const fs::path& db_path, const std::string& table, std::size_t expected_rows) {
    if (!fs::exists(db_path)) GTEST_SKIP() << "the shared test files are absent";
    jet::Database db(db_path.string());
    jet::Table t = db.table(table);
    std::vector<std::pair<jet::RowId, std::vector<jet::Value>>> scanned;
    t.scan([&](jet::RowId id, const std::vector<jet::Value>& row) {
        scanned.emplace_back(id, row);
        return true;
    });
    EXPECT_EQ(scanned.size(), expected_rows);
    std::vector<jet::RowId> ids = t.row_ids();
    ASSERT_EQ(ids.size(), scanned.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ASSERT_EQ(ids[i], scanned[i].first);
        std::optional<std::vector<jet::Value>> row = t.read(ids[i]);
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(*row, scanned[i].second) << "row " << i;
    }
}

TEST(Table, ReadByIdAgreesWithScanAcrossDeletedRows) {
    // 2000 rows written, every third deleted.
    expect_reads_agree_with_scan(fixtures_dir() / "register" / "reg_holes.mdb", "ЗУРТ", 1334);
}

TEST(Table, ReadByIdFollowsMovedRows) {
    expect_reads_agree_with_scan(fixtures_dir() / "realworld" / "jackcess__V2003__overflowTestV2003.mdb", "Table1", 7);
}

TEST(Table, DeletedSlotReadsAsNothingAndForeignIdsAreRefused) {
    fs::path p = fixtures_dir() / "register" / "reg_holes.mdb";
    if (!fs::exists(p)) GTEST_SKIP() << "the shared test files are absent";
    jet::Database db(p.string());
    jet::Table t = db.table("ЗУРТ");
    std::vector<jet::RowId> ids = t.row_ids();
    // Slots skipped between two live rows of one page are deleted rows.
    bool found = false;
    for (std::size_t i = 1; i < ids.size() && !found; ++i) {
        if (ids[i].page == ids[i - 1].page && ids[i].row > ids[i - 1].row + 1) {
            EXPECT_FALSE(t.read({ids[i].page, static_cast<std::uint16_t>(ids[i].row - 1)}).has_value());
            found = true;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_THROW(t.read({jet::kCatalogPage, 0}), jet::Error);      // not a data page
    EXPECT_THROW(t.read({ids[0].page, 999}), jet::Error);           // no such slot
    EXPECT_THROW(t.read({1u << 23, 0}), jet::Error);                // past the end
}

}  // namespace
