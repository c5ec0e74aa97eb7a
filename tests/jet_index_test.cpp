// Index keys against the entries Access itself wrote: for every index of every
// Jet 4 test file, encoding each row's values must give the stored entries
// exactly, in the stored order.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/database.h"
#include "format/header.h"
#include "btree/index.h"
#include "table/database_insides.h"
#include "support.h"

namespace {

using namespace testing_support;

std::string hex(const std::vector<std::uint8_t>& b) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t c : b) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

TEST(IndexKeys, ReproduceTheEntriesStoredByAccess) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    int checked = 0, text_indexes = 0, unsupported = 0;
    for (const fs::path& path : jet4_fixtures()) {
        std::string n = path.filename().string();
        if (n.find("password") != std::string::npos) continue;
        jet::Database db(path.string());
        for (const std::string& name : db.user_tables()) {
            jet::Table t = db.table(name);
            const jet::TableDef& def = t.def();
            std::vector<std::pair<jet::RowId, std::vector<jet::Value>>> rows;
            t.scan([&](jet::RowId id, const std::vector<jet::Value>& row) {
                rows.emplace_back(id, row);
                return true;
            });
            for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
                const jet::PhysicalIndex& x = def.physical_indexes[i];
                SCOPED_TRACE(n + " / " + name + " / index " + std::to_string(i));
                if (jet::unsupported_reason(def, x, jet::header_of(db).sort_order)) {
                    ++unsupported;
                    continue;
                }
                std::vector<jet::IndexEntry> expected;
                for (const auto& [id, row] : rows) {
                    if (auto key = jet::index_key(def, x, row, jet::header_of(db).sort_order)) expected.push_back({*key, id});
                }
                std::sort(expected.begin(), expected.end());
                std::vector<jet::IndexEntry> stored = jet::read_index_entries(jet::file_of(db), def, x);
                ASSERT_EQ(stored.size(), expected.size());
                for (std::size_t k = 0; k < stored.size(); ++k) {
                    ASSERT_EQ(hex(expected[k].key), hex(stored[k].key)) << "entry " << k;
                    ASSERT_EQ(expected[k].row, stored[k].row) << "entry " << k;
                }
                for (const jet::IndexColumn& ic : x.columns) {
                    jet::ColumnType type = def.column_by_number(ic.column_number)->type;
                    if (type == jet::ColumnType::Text || type == jet::ColumnType::Memo) {
                        ++text_indexes;
                        break;
                    }
                }
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 50);
    EXPECT_GT(text_indexes, 10);
    std::printf("indexes checked: %d (with text: %d), refused as unsupported: %d\n", checked, text_indexes, unsupported);
}

}  // namespace

namespace {

TEST(Check, EveryTestFileIsSound) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    for (const fs::path& path : jet4_fixtures()) {
        if (path.filename().string().find("password") != std::string::npos) continue;
        RunResult r = run_regtool({"check", path.string()});
        EXPECT_EQ(r.status, 0) << path << ": " << r.out << r.err;
        EXPECT_EQ(r.out, "OK\n") << path;
    }
}

TEST(Check, ReportsAnIndexThatNoLongerMatchesItsRows) {
    fs::path src = fixtures_dir() / "register" / "reg_small.mdb";
    if (!fs::exists(src)) REGISTER_SKIP() << "the shared test files are absent";
    std::string bytes = read_file(src);
    std::uint32_t root = 0;
    {
        jet::Database db(src.string());
        jet::Table t = db.table("ЗУРТ");
        for (const jet::LogicalIndex& li : t.def().indexes) {
            if (li.name == "Фамилия") root = t.def().physical_indexes[li.physical].root_page;
        }
    }
    ASSERT_NE(root, 0u);
    // A small table's index is one leaf page: change the first weight byte of
    // the first non-null key (the one after its 7F start flag).
    std::size_t page = std::size_t{root} * jet::kPageSize;
    ASSERT_EQ(bytes[page], 0x04);
    std::size_t at = bytes.find('\x7F', page + jet::index_page::kEntries) + 1;
    ASSERT_LT(at, page + jet::kPageSize);
    bytes[at] = static_cast<char>(bytes[at] + 1);
    TempDir dir;
    write_file(dir / "bad.mdb", bytes);
    RunResult r = run_regtool({"check", (dir / "bad.mdb").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("index Фамилия"), std::string::npos) << r.out;
}

}  // namespace

namespace {

// A tree whose leaves still hold the right entries can still send a search
// astray: the check reads the tree from its root too.
TEST(Check, ReportsATreeThatSendsSearchesAstray) {
    fs::path src = fixtures_dir() / "register" / "reg_holes.mdb";
    ASSERT_TRUE(fs::exists(src)) << "the shared test files are missing";
    std::uint32_t root = 0;
    {
        jet::Database db(src.string());
        jet::Table t = db.table("ЗУРТ");
        for (const jet::LogicalIndex& li : t.def().indexes) {
            if (li.name == "Фамилия") root = t.def().physical_indexes[li.physical].root_page;
        }
    }
    const std::string bytes = read_file(src);
    const std::size_t page = std::size_t{root} * jet::kPageSize;
    ASSERT_EQ(bytes[page], 0x03) << "the surname index of reg_holes has a node page at its root";
    TempDir dir;
    auto check = [&](const std::string& changed) {
        write_file(dir / "bad.mdb", changed);
        return run_regtool({"check", (dir / "bad.mdb").string()});
    };
    // The first node entry lowered below the last entry of its child: a
    // search for that entry would look in the next child.
    std::string lowered = bytes;
    lowered[page + jet::index_page::kEntries + 1] = static_cast<char>(lowered[page + jet::index_page::kEntries + 1] - 1);
    RunResult r = check(lowered);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("below the last entry of its child"), std::string::npos) << r.out;
    // The second leaf's link back to the first one lost (readers that walk
    // the leaves backwards stop there).
    jet::PageFile f(src.string());
    const std::uint32_t table_page = jet::u32(jet::bytes_of(*f.page(root)), jet::index_page::kOwner);
    const jet::IndexPage node = jet::read_index_page(f, table_page, root);
    std::string unlinked = bytes;
    const std::size_t second = std::size_t{node.children.at(1)} * jet::kPageSize;
    for (std::size_t i = 0; i < 4; ++i) unlinked[second + jet::index_page::kPrev + i] = 0;
    r = check(unlinked);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the chain of leaves breaks"), std::string::npos) << r.out;
}

}  // namespace
