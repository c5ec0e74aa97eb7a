// regtool's exports of every Jet 4 test file against what two readers we did not
// write see in them: the expected dumps beside the files, and mdb-export.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "jet/value.h"
#include "mdb_export_compare.h"
#include "support.h"
#include "system/utf8_path.h"

namespace {

using namespace testing_support;
using nlohmann::json;

#define SKIP_WITHOUT_FIXTURES()                                                                     \
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent: " << fixtures_dir(); \
    static_assert(true)

bool has_password(const fs::path& db) {
    std::string n = db.filename().string();
    return n.find("with-password") != std::string::npos || n == "ucanaccess__password.mdb";
}

std::vector<std::string> tables_of(const fs::path& db) {
    RunResult r = run_regtool({"tables", db.string()});
    EXPECT_EQ(r.status, 0) << db << ": " << r.err;
    return lines(r.out);
}

std::string base64_to_hex(const std::string& b64) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned acc = 0;
    int bits = 0;
    for (char c : b64) {
        std::size_t v = alphabet.find(c);
        if (v == std::string::npos) continue;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool numbers_agree(double a, double b) {
    if (a == b) return true;
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

// One value of ours against the dump's: numbers by value, binary as hex.
::testing::AssertionResult same_value(const json& ours, const json& theirs) {
    if (ours.is_number() && theirs.is_number()) {
        if (numbers_agree(ours.get<double>(), theirs.get<double>())) return ::testing::AssertionSuccess();
    } else if (theirs.is_string() && theirs.get<std::string>().rfind("base64:", 0) == 0) {
        if (ours.is_string() && ours.get<std::string>() == base64_to_hex(theirs.get<std::string>().substr(7))) {
            return ::testing::AssertionSuccess();
        }
    } else if (ours == theirs) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "ours " << ours.dump() << ", theirs " << theirs.dump();
}

TEST(Fixtures, ExportAgreesWithExpectedDumps) {
    SKIP_WITHOUT_FIXTURES();
    int compared = 0;
    for (const fs::path& db : jet4_fixtures()) {
        if (has_password(db)) continue;
        std::string base = db.stem().string();
        fs::path expected_dir = db.parent_path() / "expected";
        std::set<std::string> dumped;
        for (const auto& e : fs::directory_iterator(expected_dir)) {
            std::string n = e.path().filename().string();
            if (n.rfind(base + "__", 0) == 0 && e.path().extension() == ".jsonl") {
                dumped.insert(n.substr(base.size() + 2, n.size() - base.size() - 2 - 6));
            }
        }
        std::vector<std::string> tables = tables_of(db);
        EXPECT_EQ(std::set<std::string>(tables.begin(), tables.end()), dumped) << db;
        for (const std::string& table : tables) {
            if (!dumped.count(table)) continue;
#ifdef _WIN32
            // A dump named after a table whose name Windows refuses in a file
            // name ("?" and the like) cannot be read there.
            if (table.find_first_of("<>:\"/\\|?*") != std::string::npos) continue;
#endif
            SCOPED_TRACE(base + " / " + table);
            RunResult r = run_regtool({"export", db.string(), table, "--jsonl"});
            ASSERT_EQ(r.status, 0) << r.err;
            std::vector<std::string> ours = lines(r.out);
            std::vector<std::string> theirs = lines(read_file(expected_dir / sys::path_from_utf8(base + "__" + table + ".jsonl")));
            ASSERT_FALSE(theirs.empty());
            std::size_t count = json::parse(theirs.back())["__row_count__"].get<std::size_t>();
            theirs.pop_back();
            ASSERT_EQ(ours.size(), count);
            ASSERT_EQ(theirs.size(), count);
            for (std::size_t i = 0; i < count; ++i) {
                json a = json::parse(ours[i]);
                json b = json::parse(theirs[i]);
                ASSERT_EQ(a.size(), b.size()) << "row " << i;
                auto ia = a.items().begin();
                for (auto ib = b.items().begin(); ib != b.items().end(); ++ib) {
                    // nlohmann::json keeps keys sorted, so both walk the same order.
                    ASSERT_EQ(ia.key(), ib.key()) << "row " << i;
                    EXPECT_TRUE(same_value(ia.value(), ib.value())) << "row " << i << ", column " << ib.key();
                    ++ia;
                }
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 50);
}

TEST(Fixtures, CsvExportAgreesWithMdbExport) {
    SKIP_WITHOUT_FIXTURES();
    if (!mdb_export_compares()) REGISTER_SKIP() << "mdb-export (Debian package mdbtools) is not installed";
    int compared = 0;
    for (const fs::path& db : jet4_fixtures()) {
        if (has_password(db)) continue;
        for (const std::string& table : tables_of(db)) {
            SCOPED_TRACE(db.filename().string() + " / " + table);
            ASSERT_TRUE(agrees_with_mdb_export(db, table));
            ++compared;
        }
    }
    EXPECT_GT(compared, 50);
}

TEST(Fixtures, PasswordProtectedFilesAreRefused) {
    SKIP_WITHOUT_FIXTURES();
    int seen = 0;
    for (const fs::path& db : jet4_fixtures()) {
        if (!has_password(db)) continue;
        RunResult r = run_regtool({"tables", db.string()});
        EXPECT_EQ(r.status, 1) << db;
        EXPECT_NE(r.err.find("password"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        ++seen;
    }
    EXPECT_EQ(seen, 3);
}

TEST(Fixtures, OtherFormatsAreRefusedWithTheirReason) {
    SKIP_WITHOUT_FIXTURES();
    fs::path dir = fixtures_dir() / "other-formats";
    if (!fs::is_directory(dir)) REGISTER_SKIP() << "no other-formats folder";
    int seen = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        RunResult r = run_regtool({"tables", e.path().string()});
        SCOPED_TRACE(e.path().filename().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        std::string reason = e.path().extension() == ".accdb" ? "Access 2007" : "Access 97";
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        ++seen;
    }
    EXPECT_GE(seen, 12);
}

}  // namespace
