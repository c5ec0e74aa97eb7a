// Reading rows by id agrees with the scan, for deleted and moved rows too.
#include <gtest/gtest.h>

#include "table/catalog.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"
#include "table/parallel_scan.h"
#include "table/database_insides.h"
#include "jet/row_listing.h"
#include "format/usage_map.h"
#include "support.h"

namespace {

using namespace testing_support;

void expect_reads_agree_with_scan(const fs::path& db_path, const std::string& table, std::size_t expected_rows) {
    if (!fs::exists(db_path)) REGISTER_SKIP() << "the shared test files are absent";
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
    if (!fs::exists(p)) REGISTER_SKIP() << "the shared test files are absent";
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

// The ids scan() passes, for comparing with row_ids().
std::vector<jet::RowId> scanned_ids(jet::Table t) {
    std::vector<jet::RowId> out;
    t.scan([&](jet::RowId id, const std::vector<jet::Value>&) {
        out.push_back(id);
        return true;
    });
    return out;
}

// Pages of small rows hold far more slots than the head of a page row_ids()
// reads first; deletes leave gaps and grown rows move off their pages.
TEST(Table, RowIdsOfFullPagesGapsAndMovedRows) {
    TempDir dir;
    jet::TableSpec spec = reg::register_table_spec();
    spec.columns.resize(3);
    std::vector<Row> rows;
    for (int i = 0; i < 3000; ++i) rows.push_back({jet::Null{}, std::string("Ф") + std::to_string(i), std::string("И")});
    const fs::path p = write_table(dir / "small.mdb", spec, rows);
    jet::Database db(p.string());
    std::vector<jet::RowId> ids = db.table("ЗУРТ").row_ids();
    ASSERT_EQ(ids.size(), 3000u);
    EXPECT_EQ(ids, scanned_ids(db.table("ЗУРТ")));
    EXPECT_GT(ids[40].row, 25) << "more slots on a page than the first read covers";
    {
        jet::WriteGroup g(db);
        jet::TableWriter& t = g.table("ЗУРТ");
        for (std::size_t i = 0; i < ids.size(); i += 7) t.remove(ids[i]);
        for (std::size_t i = 3; i < ids.size(); i += 50) {
            if (i % 7 == 0) continue;  // deleted above
            std::vector<jet::Value> v{std::int64_t(i + 1), std::string(40, 'x'), std::string(45, 'y')};
            t.update(ids[i], v);
        }
        // Inside the group its own changes count.
        std::vector<jet::Value> extra{jet::Null{}, std::string("новый"), jet::Null{}};
        t.insert(extra);
        g.commit();
    }
    std::vector<jet::RowId> after = db.table("ЗУРТ").row_ids();
    EXPECT_EQ(after.size(), 3000u - 429u + 1u);
    EXPECT_EQ(after, scanned_ids(db.table("ЗУРТ")));
    // Large tables are listed by several threads, each taking a share of the
    // pages; their lists join in page order whatever the share.
    const jet::Table table = db.table("ЗУРТ");
    const jet::TableDef& def = table.def();
    const std::vector<std::uint32_t> pages = jet::read_usage_map(jet::file_of(db), def.used_pages);
    for (std::size_t parts : {1u, 2u, 3u, 5u, 64u, 100000u}) {
        EXPECT_EQ(jet::live_rows_from_heads(jet::file_of(db).descriptor(), pages, def.page, jet::file_of(db).page_count(), parts), after) << parts;
    }
    std::vector<std::uint32_t> beyond = pages;
    beyond.push_back(jet::file_of(db).page_count());
    EXPECT_EQ(jet::live_rows_from_heads(jet::file_of(db).descriptor(), beyond, def.page, jet::file_of(db).page_count(), 3), std::nullopt);
    for (std::size_t i = 3; i < ids.size(); i += 50) {
        if (i % 7 != 0) {
            EXPECT_TRUE(std::find(after.begin(), after.end(), ids[i]) != after.end()) << "a moved row keeps its id";
        }
    }
    {
        // The rows of the first page grown to the most their columns hold: no room where they lie.
        jet::WriteGroup g(db);
        jet::TableWriter& t = g.table("ЗУРТ");
        for (std::size_t i = 1; i < 60; ++i) {
            if (i % 7 == 0) continue;
            std::vector<jet::Value> v{std::int64_t(i + 1), std::string(50, '7'), std::string(50, 'z')};
            t.update(ids[i], v);
        }
        g.commit();
    }
    const std::vector<std::uint32_t> grown = jet::read_usage_map(jet::file_of(db), db.table("ЗУРТ").def().used_pages);
    std::vector<std::uint32_t> grown_beyond = grown;
    grown_beyond.push_back(jet::file_of(db).page_count());
    // Tested on several threads, the rows taken are those one thread takes,
    // in the same order; a moved row is left to the caller.
    const std::vector<bool> wanted{false, true, false};
    auto sevens = [](const std::vector<jet::Value>& row) {
        const auto* s = std::get_if<std::string>(&row[1]);
        return s && s->find('7') != std::string::npos;
    };
    auto make_test = [&] {
        jet::RowTest t;
        t.test = sevens;
        return t;
    };
    std::vector<jet::RowId> taken;
    jet::Table reading = db.table("ЗУРТ");
    reading.scan(wanted, [&](jet::RowId id, const std::vector<jet::Value>& row) {
        if (sevens(row)) taken.push_back(id);
        return true;
    });
    ASSERT_GT(taken.size(), 100u);
    EXPECT_EQ(reading.select(wanted, make_test), taken);
    {
        // A first look at another column passes rows over before the rest is decoded.
        const std::vector<bool> both{false, true, true};
        auto grown_name = [](const std::vector<jet::Value>& row) { return row[2] == jet::Value(std::string(50, 'z')); };
        std::vector<jet::RowId> short_named;
        std::size_t grown_rows = 0;
        reading.scan(both, [&](jet::RowId id, const std::vector<jet::Value>& row) {
            if (sevens(row) && !grown_name(row)) short_named.push_back(id);
            grown_rows += grown_name(row) ? 1 : 0;
            return true;
        });
        ASSERT_LT(short_named.size(), taken.size());
        std::size_t looked = 0, tested = 0;
        auto make_staged = [&] {
            jet::RowTest t;
            t.first_wanted = {false, false, true};
            t.first = [&](const std::vector<jet::Value>& row) {
                ++looked;
                return !grown_name(row);
            };
            t.test = [&](const std::vector<jet::Value>& row) {
                ++tested;
                return sevens(row) && !grown_name(row);
            };
            return t;
        };
        EXPECT_EQ(reading.select(both, make_staged), short_named);
        EXPECT_EQ(looked, after.size());
        EXPECT_GT(grown_rows, 0u);
        EXPECT_EQ(tested, after.size() - grown_rows) << "the rows the first look rejects are not tested further";
    }
    for (auto [parts, chunk] : {std::pair{1u, 256u}, {2u, 256u}, {3u, 1u}, {2u, 3u}, {7u, 2u}}) {
        std::optional<std::vector<jet::ScanHit>> hits = jet::parallel_select(jet::file_of(db).descriptor(), def, grown, jet::file_of(db).page_count(),
                                                                             wanted, parts, make_test, jet::default_platform(), chunk);
        ASSERT_TRUE(hits) << parts << " threads, chunks of " << chunk;
        std::size_t moved = 0;
        std::vector<jet::RowId> resolved;
        for (const jet::ScanHit& h : *hits) {
            if (!h.moved) {
                resolved.push_back(h.id);
                continue;
            }
            ++moved;
            std::optional<std::vector<jet::Value>> row = reading.read(h.id, wanted);
            if (row && sevens(*row)) resolved.push_back(h.id);
        }
        EXPECT_GT(moved, 0u) << "the rows grown above moved off their pages";
        EXPECT_EQ(resolved, taken) << parts << " threads, chunks of " << chunk;
        // The values of the rows taken, kept as decoded, for as many as asked.
        const jet::KeptValues keep{{1, 1}, 40};
        const auto kept = jet::parallel_select(jet::file_of(db).descriptor(), def, grown, jet::file_of(db).page_count(), wanted, parts,
                                               make_test, jet::default_platform(), chunk, &keep);
        ASSERT_TRUE(kept);
        ASSERT_EQ(kept->size(), hits->size());
        std::size_t with_values = 0;
        for (const jet::ScanHit& h : *kept) {
            if (h.values.empty()) continue;
            ++with_values;
            const Row row = *reading.read(h.id);
            EXPECT_EQ(h.values, (Row{row[1], row[1]}));
        }
        EXPECT_EQ(with_values, std::min<std::size_t>(40, kept->size() - moved));
    }
    {
        // Through the table: the first rows' values, each with its id.
        const jet::Table::Selection s = reading.select(wanted, make_test, jet::KeptValues{{1}, 25});
        EXPECT_EQ(s.ids, taken);
        ASSERT_GT(s.values.size(), 0u);
        ASSERT_LE(s.values.size(), 25u);
        for (std::size_t i = 0; i < s.values.size(); ++i) EXPECT_EQ(s.values[i], (Row{(*reading.read(s.ids[i]))[1]})) << i;
    }
    // What a test raises comes out of the threads; a page past the end sends the caller back to its own reading.
    auto raising = [] {
        jet::RowTest t;
        t.test = [](const std::vector<jet::Value>&) -> bool { throw std::runtime_error("test"); };
        return t;
    };
    for (std::size_t chunk : {256u, 2u}) {
        EXPECT_THROW(jet::parallel_select(jet::file_of(db).descriptor(), def, grown, jet::file_of(db).page_count(), wanted, 3, raising,
                                          jet::default_platform(), chunk),
                     std::runtime_error);
        EXPECT_EQ(jet::parallel_select(jet::file_of(db).descriptor(), def, grown_beyond, jet::file_of(db).page_count(), wanted, 3, make_test,
                                       jet::default_platform(), chunk),
                  std::nullopt);
    }
    // The listing for windows: the first rows at once, the count the
    // definition keeps, then the whole list as row_ids() gives it.
    {
        jet::RowListing listing(reading, 100);
        ASSERT_EQ(listing.first_rows().size(), 100u);
        EXPECT_TRUE(std::equal(listing.first_rows().begin(), listing.first_rows().end(), after.begin()));
        EXPECT_EQ(listing.expected(), after.size());
        EXPECT_EQ(listing.all(reading), after);
    }
    {
        jet::RowListing listing(reading, after.size() + 1);
        EXPECT_TRUE(listing.ready()) << "a table with no more rows than asked for is listed at once";
        EXPECT_EQ(listing.all(reading), after);
    }
    // Cut short, the file is refused rather than listed with fewer rows.
    const std::string whole = read_file(p);
    for (std::size_t keep : {whole.size() / 2, whole.size() - jet::kPageSize}) {
        write_file(dir / "cut.mdb", whole.substr(0, keep / jet::kPageSize * jet::kPageSize));
        try {
            jet::Database cut((dir / "cut.mdb").string());
            std::vector<jet::RowId> some = cut.table("ЗУРТ").row_ids();
            EXPECT_EQ(some.size(), after.size()) << "cut at " << keep;
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::Damaged) << e.what();
        }
    }
}

}  // namespace
