// Shared by the tests that compare our reading of a database with mdb-export's.
#include "mdb_export_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#ifdef _WIN32
#include <cstdlib>
#include <functional>
#endif

#include "jet/value.h"

namespace testing_support {

namespace {

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

void compare(const fs::path& db, const std::string& table) {
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
    // compare the rows as multisets. Each row's key is made once.
    auto sorted = [&](std::vector<Row>& rows) {
        std::vector<std::pair<std::string, std::size_t>> keyed;
        keyed.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) keyed.emplace_back(key(rows[i]), i);
        std::sort(keyed.begin(), keyed.end());
        std::vector<Row> out;
        out.reserve(rows.size());
        for (auto& k : keyed) out.push_back(std::move(rows[k.second]));
        rows = std::move(out);
    };
    sorted(ra);
    sorted(rb);
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
}

}  // namespace

#ifdef _WIN32
namespace {

// mdb-export is a Linux program: on Windows the file is kept for the Linux
// side to compare (scripts/test-windows.sh, windows_files_test), as it is the
// last time a test compares that table of that file: a test that compares
// after each of many groups leaves its last state.
::testing::AssertionResult compared_on_linux(const fs::path& db, const std::string& table) {
    const char* folder = std::getenv("REGISTER_WINDOWS_FILES");
    if (folder == nullptr || *folder == '\0') return ::testing::AssertionSuccess();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test_name = test ? std::string(test->test_suite_name()) + "." + test->name() : std::string();
    const std::size_t key = std::hash<std::string>{}(test_name + '\n' + db.string() + '\n' + table);
    const fs::path copy = fs::path(folder) / (std::to_string(key) + "-" + db.filename().string());
    std::error_code ec;
    fs::remove(copy, ec);  // MinGW's library will not copy over a file
    fs::copy_file(db, copy, ec);
    if (ec) return ::testing::AssertionFailure() << "cannot keep " << db << " for the Linux side: " << ec.message();
    write_file(copy.string() + ".table", table + "\n" + test_name + "\n");
    return ::testing::AssertionSuccess();
}

}  // namespace
#endif

::testing::AssertionResult agrees_with_mdb_export(const fs::path& db, const std::string& table) {
#ifdef _WIN32
    return compared_on_linux(db, table);
#endif
    bool failed_before = ::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure();
    compare(db, table);
    bool failed_after = ::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure();
    if (failed_after && !failed_before) return ::testing::AssertionFailure() << db.filename() << " / " << table << " differs from mdb-export";
    return ::testing::AssertionSuccess();
}

std::vector<std::string> lines(const std::string& s) { return lines_of(s); }

}  // namespace testing_support
