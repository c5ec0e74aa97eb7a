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
#include "support.h"

namespace {

using namespace testing_support;
using nlohmann::json;

#define SKIP_WITHOUT_FIXTURES()                                                                     \
    if (!have_fixtures()) GTEST_SKIP() << "the shared test files are absent: " << fixtures_dir(); \
    static_assert(true)

bool has_password(const fs::path& db) {
    std::string n = db.filename().string();
    return n.find("with-password") != std::string::npos || n == "ucanaccess__password.mdb";
}

std::vector<std::string> lines_of(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

std::vector<std::string> tables_of(const fs::path& db) {
    RunResult r = run_regtool({"tables", db.string()});
    EXPECT_EQ(r.status, 0) << db << ": " << r.err;
    return lines_of(r.out);
}

// Column name -> type name, from regtool schema.
std::map<std::string, std::string> column_types(const fs::path& db, const std::string& table) {
    RunResult r = run_regtool({"schema", db.string(), table});
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> types;
    for (const std::string& line : lines_of(r.out)) {
        std::vector<std::string> f;
        std::size_t s = 0;
        for (std::size_t tab; (tab = line.find('\t', s)) != std::string::npos; s = tab + 1) f.push_back(line.substr(s, tab - s));
        f.push_back(line.substr(s));
        if (f.size() >= 4 && f[0] == "column") types[f[2]] = f[3];
    }
    return types;
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
            SCOPED_TRACE(base + " / " + table);
            RunResult r = run_regtool({"export", db.string(), table, "--jsonl"});
            ASSERT_EQ(r.status, 0) << r.err;
            std::vector<std::string> ours = lines_of(r.out);
            std::vector<std::string> theirs = lines_of(read_file(expected_dir / (base + "__" + table + ".jsonl")));
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

// A CSV field and whether it was quoted.
struct Field {
    std::string text;
    bool quoted = false;
};

std::vector<std::vector<Field>> parse_csv(const std::string& s) {
    std::vector<std::vector<Field>> rows;
    std::vector<Field> row;
    Field f;
    bool in_quotes = false;
    bool any = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (in_quotes) {
            if (c == '"' && i + 1 < s.size() && s[i + 1] == '"') {
                f.text += '"';
                ++i;
            } else if (c == '"') {
                in_quotes = false;
            } else {
                f.text += c;
            }
        } else if (c == '"') {
            in_quotes = true;
            f.quoted = true;
            any = true;
        } else if (c == ',') {
            row.push_back(std::move(f));
            f = Field{};
            any = true;
        } else if (c == '\n') {
            row.push_back(std::move(f));
            rows.push_back(std::move(row));
            row.clear();
            f = Field{};
            any = false;
        } else if (c != '\r') {
            f.text += c;
            any = true;
        }
    }
    if (any) {
        row.push_back(std::move(f));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string hex_to_text(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Brings a value of ours and mdb-export's to one form, allowing for mdb-export's
// known habits: an empty value looks like Null, milliseconds are dropped, text and
// binary end at a NUL byte, dates it cannot show come out as "1900-01-00", GUIDs
// lose a hyphen (and come out as hex of their text when binary is hex), and the
// largest doubles turn into infinities.
std::string normalise(const std::string& type, const Field& f, bool from_mdb_export) {
    std::string v = f.text;
    if (v.empty()) return "<empty>";
    if (type == "Boolean") return (v == "true" || v == "1") ? "1" : "0";
    if (type == "DateTime") {
        if (from_mdb_export && v.rfind("1900-01-00", 0) == 0) return "<unshown date>";
        // mdb-export rounds to whole seconds, not always the same way as we do:
        // dates become seconds since the epoch, compared within a second.
        jet::CivilTime c;
        long long year = 0;
        int ms = 0;
        if (std::sscanf(v.c_str(), "%lld-%d-%dT%d:%d:%d.%d", &year, &c.month, &c.day, &c.hour, &c.minute, &c.second, &ms) < 6) {
            return v;
        }
        c.year = year;
        jet::CivilTime midnight{c.year, c.month, c.day, 0, 0, 0, 0};
        auto day = static_cast<long long>(std::llround(jet::from_civil(midnight).days));
        long long ms_total = (day * 86400LL + c.hour * 3600LL + c.minute * 60LL + c.second) * 1000LL + ms;
        return std::to_string(ms_total);
    }
    if (type == "GUID") {
        if (from_mdb_export && v.find('{') == std::string::npos) v = hex_to_text(v);
        std::string g;
        for (char c : v) {
            if (c != '-' && c != '{' && c != '}') g += c;
        }
        return upper(g);
    }
    if (type == "Text" || type == "Memo") {
        std::size_t nul = v.find('\0');
        return nul == 0 ? "<empty>" : nul == std::string::npos ? v : v.substr(0, nul);
    }
    if (type == "Binary" || type == "OLE") {
        v = upper(v);
        for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
            if (v[i] == '0' && v[i + 1] == '0') return i == 0 ? "<empty>" : v.substr(0, i);
        }
        return v;
    }
    // Numbers: compared by value, rounded to what mdb-export prints.
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    if (end && *end == '\0') {
        // mdb-export prints the largest doubles as infinities.
        if (std::fabs(d) > 1.79e308) return d < 0 ? "-huge" : "huge";
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.5g", d);
        return buf;
    }
    return v;
}

TEST(Fixtures, CsvExportAgreesWithMdbExport) {
    SKIP_WITHOUT_FIXTURES();
    if (!have_program("mdb-export")) GTEST_SKIP() << "mdb-export (Debian package mdbtools) is not installed";
    int compared = 0;
    for (const fs::path& db : jet4_fixtures()) {
        if (has_password(db)) continue;
        for (const std::string& table : tables_of(db)) {
            SCOPED_TRACE(db.filename().string() + " / " + table);
            RunResult ours = run_regtool({"export", db.string(), table, "--csv"});
            ASSERT_EQ(ours.status, 0) << ours.err;
            RunResult theirs = run({"mdb-export", "-D", "%Y-%m-%dT%H:%M:%S", "-T", "%Y-%m-%dT%H:%M:%S", "-b", "hex", db.string(), table});
            ASSERT_EQ(theirs.status, 0) << theirs.err;
            auto a = parse_csv(ours.out);
            auto b = parse_csv(theirs.out);
            ASSERT_FALSE(a.empty());
            ASSERT_FALSE(b.empty());
            std::vector<std::string> header;
            for (const Field& f : a[0]) header.push_back(f.text);
            std::vector<std::string> their_header;
            for (const Field& f : b[0]) their_header.push_back(f.text);
            ASSERT_EQ(header, their_header);
            auto types = column_types(db, table);
            using Row = std::vector<std::string>;
            auto rows_of = [&](const std::vector<std::vector<Field>>& rows, bool mdb) {
                std::vector<Row> out;
                for (std::size_t i = 1; i < rows.size(); ++i) {
                    Row row;
                    for (std::size_t c = 0; c < rows[i].size() && c < header.size(); ++c) {
                        row.push_back(normalise(types[header[c]], rows[i][c], mdb));
                    }
                    out.push_back(std::move(row));
                }
                return out;
            };
            std::vector<Row> ra = rows_of(a, false), rb = rows_of(b, true);
            ASSERT_EQ(ra.size(), rb.size());
            // Columns where mdb-export failed to show some date take no part in
            // pairing the rows, and there its "<unshown date>" matches anything.
            std::vector<bool> wild(header.size(), false), dates(header.size(), false);
            for (std::size_t c = 0; c < header.size(); ++c) dates[c] = types[header[c]] == "DateTime";
            for (const Row& r : rb) {
                for (std::size_t c = 0; c < r.size(); ++c) wild[c] = wild[c] || r[c] == "<unshown date>";
            }
            auto key = [&](const Row& r) {
                std::string k;
                for (std::size_t c = 0; c < r.size(); ++c) k += (wild[c] || dates[c] ? std::string() : r[c]) + '\x1f';
                return k;
            };
            // mdb-export lists a moved row where its data lies, we where its slot is:
            // compare the rows as multisets.
            auto by_key = [&](const Row& x, const Row& y) { return key(x) < key(y); };
            std::stable_sort(ra.begin(), ra.end(), by_key);
            std::stable_sort(rb.begin(), rb.end(), by_key);
            for (std::size_t i = 0; i < ra.size(); ++i) {
                ASSERT_EQ(ra[i].size(), rb[i].size());
                for (std::size_t c = 0; c < ra[i].size(); ++c) {
                    if (wild[c] && rb[i][c] == "<unshown date>") continue;
                    if (dates[c] && ra[i][c] != rb[i][c]) {
                        EXPECT_LE(std::llabs(std::stoll(ra[i][c]) - std::stoll(rb[i][c])), 1000) << "column " << header[c];
                        continue;
                    }
                    ASSERT_EQ(ra[i][c], rb[i][c]) << "column " << header[c];
                }
            }
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
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no other-formats folder";
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
