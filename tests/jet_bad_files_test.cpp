// Files that are not usable databases: each is refused with its own reason, and
// no damage makes the engine read out of bounds, crash or hang.
#include <gtest/gtest.h>

#include <random>

#include "jet/database.h"
#include "storage/page_file.h"
#include "support.h"

namespace {

using namespace testing_support;

jet::ErrorKind open_error(const fs::path& p) {
    return jet_error_of([&] { jet::Database db(p.string()); }, p.string() + " opened").kind();
}

std::string header_bytes(const char* name, std::uint8_t version, std::size_t size) {
    std::string b(size, '\0');
    b[1] = 1;
    std::copy(name, name + 15, b.begin() + 4);
    b[0x14] = static_cast<char>(version);
    return b;
}

TEST(BadFiles, EachRefusedWithItsReason) {
    TempDir dir;
    write_file(dir / "empty.mdb", "");
    write_file(dir / "text.mdb", "Фамилия;Имя\nИванов;Иван\n");
    write_file(dir / "jet3.mdb", header_bytes("Standard Jet DB", 0, 2048 * 4));
    write_file(dir / "ace.accdb", header_bytes("Standard ACE DB", 2, 4096 * 4));
    write_file(dir / "ace2010.accdb", header_bytes("Standard Jet DB", 3, 4096 * 4));
    write_file(dir / "short.mdb", header_bytes("Standard Jet DB", 1, 100));
    fs::create_directory(dir / "folder.mdb");
    EXPECT_EQ(open_error(dir / "empty.mdb"), jet::ErrorKind::NotJet);
    EXPECT_EQ(open_error(dir / "text.mdb"), jet::ErrorKind::NotJet);
    EXPECT_EQ(open_error(dir / "jet3.mdb"), jet::ErrorKind::Jet3);
    EXPECT_EQ(open_error(dir / "ace.accdb"), jet::ErrorKind::Ace);
    EXPECT_EQ(open_error(dir / "ace2010.accdb"), jet::ErrorKind::Ace);
    EXPECT_EQ(open_error(dir / "short.mdb"), jet::ErrorKind::Damaged);
    EXPECT_EQ(open_error(dir / "folder.mdb"), jet::ErrorKind::NotJet);
    EXPECT_EQ(open_error(dir / "missing.mdb"), jet::ErrorKind::NotFound);
}

// Opens the file and reads every row of every table; only jet::Error may come out.
// Returns the number of rows read, or -1 when the engine refused the file.
long read_everything(const fs::path& p) {
    try {
        jet::Database db(p.string());
        long rows = 0;
        for (const std::string& name : db.user_tables()) {
            jet::Table t = db.table(name);
            t.scan([&](jet::RowId, const std::vector<jet::Value>&) {
                ++rows;
                return true;
            });
            for (jet::RowId id : t.row_ids()) (void)t.read(id);
        }
        return rows;
    } catch (const jet::Error&) {
        return -1;
    }
}

fs::path small_register() { return fixtures_dir() / "register" / "reg_small.mdb"; }

TEST(BadFiles, TruncatedAtEveryPageBoundary) {
    if (!fs::exists(small_register())) REGISTER_SKIP() << "the shared test files are absent";
    std::string whole = read_file(small_register());
    ASSERT_EQ(read_everything(small_register()), 25);
    TempDir dir;
    fs::path cut = dir / "cut.mdb";
    for (std::size_t end = 0; end < whole.size(); end += jet::kPageSize) {
        // Either every row or a clear refusal: never a silent loss of rows.
        for (std::size_t at : {end, end + 1000}) {
            write_file(cut, whole.substr(0, at));
            long rows = read_everything(cut);
            EXPECT_TRUE(rows == 25 || rows == -1) << "cut at " << at << ": " << rows << " rows";
        }
    }
}

TEST(BadFiles, RandomDamageIsRefusedOrRead) {
    if (!fs::exists(small_register())) REGISTER_SKIP() << "the shared test files are absent";
    std::string whole = read_file(small_register());
    TempDir dir;
    fs::path bad = dir / "bad.mdb";
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<std::size_t> pos(0, whole.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), count(1, 8);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        std::string damaged = whole;
        for (int k = count(rng); k > 0; --k) damaged[pos(rng)] = static_cast<char>(byte(rng));
        write_file(bad, damaged);
        if (read_everything(bad) < 0) ++refused;
    }
    // Most damage lands in unused space; some must reach the structures.
    EXPECT_GT(refused, 0);
}

}  // namespace
