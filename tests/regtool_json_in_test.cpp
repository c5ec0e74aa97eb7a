// Reading JSON lines back into values: every type survives a write and a read,
// the forms people write by hand are taken, and mistakes are reported by column.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "errors/input.h"
#include "format.h"
#include "json_in.h"

namespace {

using jet::ColumnType;
using jet::Value;

jet::Column column(std::string name, ColumnType type, std::uint8_t precision = 0, std::uint8_t scale = 0) {
    jet::Column c;
    c.name = std::move(name);
    c.type = type;
    c.precision = precision;
    c.scale = scale;
    return c;
}

jet::DateTime at(std::int64_t y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return jet::from_civil({y, mo, d, h, mi, s, ms});
}

jet::Decimal decimal(bool negative, std::array<std::uint32_t, 4> magnitude, std::uint8_t precision, std::uint8_t scale) {
    return {negative, magnitude, scale, precision};
}

std::string line_of(const std::vector<jet::Column>& cols, const std::vector<Value>& row) {
    std::string line;
    regtool::append_json_row(line, cols, row);
    return line;
}

// Writes each row as the export does, reads it back, and expects the same values.
void expect_round_trip(const std::vector<jet::Column>& cols, const std::vector<std::vector<Value>>& rows) {
    for (const auto& row : rows) {
        std::string line = line_of(cols, row);
        std::vector<Value> back;
        ASSERT_NO_THROW(back = regtool::parse_json_row(line, cols)) << line;
        ASSERT_EQ(back.size(), cols.size());
        for (std::size_t i = 0; i < cols.size(); ++i) EXPECT_TRUE(back[i] == row[i]) << cols[i].name << " in " << line;
    }
}

// The message of the error a line raises, or "" when it is read without one.
std::string error_of(std::string_view line, const std::vector<jet::Column>& cols) {
    try {
        regtool::parse_json_row(line, cols);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// ---------------------------------------------------------------------------

TEST(JsonRoundTrip, EveryColumnType) {
    std::vector<jet::Column> cols{
        column("Flag", ColumnType::Boolean),     column("Small", ColumnType::Byte),
        column("Int", ColumnType::Integer),      column("Count", ColumnType::Long),
        column("Amount", ColumnType::Currency),  column("Ratio", ColumnType::Single),
        column("Measure", ColumnType::Double),   column("When", ColumnType::DateTime),
        column("Name", ColumnType::Text),        column("Notes", ColumnType::Memo),
        column("Id", ColumnType::Guid),          column("Price", ColumnType::Decimal, 18, 4),
        column("Raw", ColumnType::Binary),       column("Picture", ColumnType::Ole),
    };
    std::vector<std::uint8_t> picture(3000);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    jet::Guid id{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    expect_round_trip(
        cols,
        {
            {true, std::int64_t{255}, std::int64_t{-32768}, std::int64_t{2147483647}, jet::Currency{123456}, 0.1f, 0.1,
             at(2024, 2, 29, 23, 59, 59, 999), std::string("Иванов"), std::string("first line\nsecond line"), id,
             decimal(true, {1234567, 0, 0, 0}, 18, 4), jet::Binary{{0x00, 0x01, 0xAB, 0xFF}}, jet::Binary{picture}},
            {false, std::int64_t{0}, std::int64_t{0}, std::int64_t{-2147483648LL}, jet::Currency{0}, 0.0f, 0.0,
             jet::DateTime{0}, std::string(), std::string(), jet::Guid{}, decimal(false, {}, 18, 4), jet::Binary{},
             jet::Binary{}},
            std::vector<Value>(cols.size(), jet::Null{}),
        });
}

TEST(JsonRoundTrip, TextKeepsEveryCharacter) {
    std::vector<jet::Column> cols{column("Фамилия", ColumnType::Text), column("say \"x\"\\", ColumnType::Memo)};
    std::string controls;
    for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
    controls += '\x7F';
    expect_round_trip(cols, {
                                {std::string("Пётр Ильич Чайковский"), std::string("ёЁ «ёлка» — №5")},
                                {std::string("say \"hi\" \\ back\\slash \\\""), std::string("\\u0041 is not escaped here")},
                                {controls, std::string("one\ntwo\r\nthree\rfour\tend")},
                                {std::string("😀👍🏽 𝄞 and 中文"), std::string(100000, 'x')},
                                {std::string(), jet::Null{}},
                                {jet::Null{}, std::string()},
                                {std::string("null"), std::string("\"\"")},
                            });
}

TEST(JsonRoundTrip, CurrencyIsExactToTheLastUnit) {
    std::vector<jet::Column> cols{column("Amount", ColumnType::Currency)};
    std::vector<std::vector<Value>> rows;
    for (std::int64_t u : {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
                           std::int64_t{-1}, std::int64_t{1}, std::int64_t{10000}, std::int64_t{-10001},
                           std::int64_t{9007199254740993}})  // beyond a double's whole numbers
        rows.push_back({jet::Currency{u}});
    expect_round_trip(cols, rows);
    EXPECT_EQ(line_of(cols, rows[0]), "{\"Amount\":-922337203685477.5808}\n");
    EXPECT_EQ(line_of(cols, rows[1]), "{\"Amount\":922337203685477.5807}\n");
}

TEST(JsonRoundTrip, DecimalsAtEveryScaleUpTo96Bits) {
    // 28 nines: the most a column of precision 28 holds, at any scale.
    constexpr std::array<std::uint32_t, 4> kNines{0x0FFFFFFF, 0x3E250261, 0x204FCE5E, 0};
    constexpr std::uint32_t kAll = 0xFFFFFFFF;
    std::vector<jet::Column> cols{column("Whole", ColumnType::Decimal, 28, 0), column("Money", ColumnType::Decimal, 28, 4),
                                  column("Tiny", ColumnType::Decimal, 28, 28), column("Wide", ColumnType::Decimal, 0, 0)};
    expect_round_trip(cols, {
                                {decimal(false, kNines, 28, 0), decimal(true, kNines, 28, 4), decimal(true, kNines, 28, 28),
                                 decimal(false, {kAll, kAll, kAll, 0}, 0, 0)},
                                {decimal(true, {5, 0, 0, 0}, 28, 0), decimal(false, {0, 1, 0, 0}, 28, 4),
                                 decimal(false, {1, 0, 0, 0}, 28, 28), decimal(true, {0, 0, 1, 0}, 0, 0)},
                            });
    EXPECT_EQ(line_of(cols, {jet::Null{}, jet::Null{}, decimal(false, {1, 0, 0, 0}, 28, 28), jet::Null{}}),
              "{\"Whole\":null,\"Money\":null,\"Tiny\":0.0000000000000000000000000001,\"Wide\":null}\n");
}

TEST(JsonRoundTrip, DatesOnBothSidesOf1899WithTimeAndMilliseconds) {
    std::vector<jet::Column> cols{column("When", ColumnType::DateTime)};
    std::vector<std::vector<Value>> rows;
    for (jet::DateTime d : {at(1899, 12, 30), at(1899, 12, 29, 18), at(1899, 12, 29, 6, 0, 0, 1),
                            at(1800, 7, 4, 12, 34, 56, 789), at(100, 1, 1, 0, 0, 1), at(9999, 12, 31, 23, 59, 59, 999),
                            at(1900, 2, 28, 12), at(2000, 2, 29, 0, 0, 0, 5), at(-44, 3, 15, 11, 30),
                            at(123456, 6, 1, 1, 2, 3), jet::DateTime{45000.5}, jet::DateTime{-1.25}})
        rows.push_back({d});
    expect_round_trip(cols, rows);
    // Before 1899-12-30 the fraction is still the time of day, counted away from zero.
    EXPECT_EQ(std::get<jet::DateTime>(regtool::parse_json_row(R"({"When":"1899-12-29T18:00:00"})", cols)[0]).days, -1.75);
}

TEST(JsonRoundTrip, FloatingPointExtremesAndNonFiniteValues) {
    std::vector<jet::Column> cols{column("Ratio", ColumnType::Single), column("Measure", ColumnType::Double)};
    using F = std::numeric_limits<float>;
    using D = std::numeric_limits<double>;
    expect_round_trip(cols, {
                                {F::denorm_min(), D::denorm_min()},
                                {F::max(), D::max()},
                                {F::lowest(), D::lowest()},
                                {F::min(), D::min()},
                                {1e-40f, 2.2250738585072009e-308},  // subnormal
                                {1.0f / 3, 1.0 / 3},
                                {F::infinity(), -D::infinity()},
                                {-F::infinity(), D::infinity()},
                            });
    // NaN is unequal to itself, -0 equal to 0: look at them directly.
    auto back = regtool::parse_json_row(line_of(cols, {F::quiet_NaN(), -D::quiet_NaN()}), cols);
    EXPECT_TRUE(std::isnan(std::get<float>(back[0])));
    EXPECT_TRUE(std::isnan(std::get<double>(back[1])));
    back = regtool::parse_json_row(line_of(cols, {-0.0f, -0.0}), cols);
    EXPECT_TRUE(std::signbit(std::get<float>(back[0])));
    EXPECT_TRUE(std::signbit(std::get<double>(back[1])));
}

TEST(JsonRoundTrip, GuidsKeepTheirStoredByteOrder) {
    std::vector<jet::Column> cols{column("Id", ColumnType::Guid)};
    const std::string text = "{33221100-5544-7766-8899-AABBCCDDEEFF}";
    Value v = regtool::parse_json_row("{\"Id\":\"" + text + "\"}", cols)[0];
    jet::Guid expected{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    EXPECT_TRUE(v == Value{expected});
    EXPECT_EQ(jet::to_string(std::get<jet::Guid>(v)), text);

    std::vector<std::vector<Value>> rows;
    for (int seed = 1; seed < 6; ++seed) {
        jet::Guid g;
        for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(seed * 37 + i * 101);
        rows.push_back({g});
    }
    expect_round_trip(cols, rows);
}

TEST(JsonRoundTrip, EveryByteValueInBinary) {
    std::vector<jet::Column> cols{column("Raw", ColumnType::Binary), column("Picture", ColumnType::Ole)};
    jet::Binary all;
    for (int b = 0; b < 256; ++b) all.bytes.push_back(static_cast<std::uint8_t>(b));
    jet::Binary reversed{std::vector<std::uint8_t>(all.bytes.rbegin(), all.bytes.rend())};
    expect_round_trip(cols, {{all, reversed}, {jet::Binary{{0}}, jet::Binary{}}});
}

// ---------------------------------------------------------------------------

TEST(JsonInput, KeysFindColumnsExactlyOrWithoutLetterCase) {
    std::vector<jet::Column> cols{column("Name", ColumnType::Text), column("Фамилия", ColumnType::Text),
                                  column("Age", ColumnType::Long)};
    auto row = regtool::parse_json_row(R"({"age": 5, "ФАМИЛИЯ": "Ёжиков"})", cols);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_TRUE(jet::is_null(row[0]));  // left out
    EXPECT_TRUE(row[1] == Value{std::string("Ёжиков")});
    EXPECT_TRUE(row[2] == Value{std::int64_t{5}});

    row = regtool::parse_json_row("{}", cols);
    for (const auto& v : row) EXPECT_TRUE(jet::is_null(v));

    // An exact match wins over one that differs only in case.
    std::vector<jet::Column> both{column("id", ColumnType::Long), column("ID", ColumnType::Long)};
    row = regtool::parse_json_row(R"({"ID": 2, "id": 1})", both);
    EXPECT_TRUE(row[0] == Value{std::int64_t{1}});
    EXPECT_TRUE(row[1] == Value{std::int64_t{2}});
}

TEST(JsonInput, WhitespaceAndEveryStringEscape) {
    std::vector<jet::Column> cols{column("Name", ColumnType::Text), column("Age", ColumnType::Long)};
    auto row = regtool::parse_json_row(
        " \t{ \"N\\u0061me\" :\r\n \"a\\u0041\\/\\b\\f\\n\\r\\t\\\"\\\\\\ud83d\\ude00\\u00E9\\u044f\\u0000z\" , \"Age\"\n:-0 } \r\n",
        cols);
    EXPECT_TRUE(row[0] == Value{std::string("aA/\b\f\n\r\t\"\\\xF0\x9F\x98\x80\xC3\xA9\xD1\x8F") + '\0' + "z"});
    EXPECT_TRUE(row[1] == Value{std::int64_t{0}});
    // A pair for a code point above the basic plane, upper-case digits.
    row = regtool::parse_json_row(R"({"Name":"\uD834\uDD1E\uDBFF\uDFFF"})", cols);
    EXPECT_TRUE(row[0] == Value{std::string("\xF0\x9D\x84\x9E\xF4\x8F\xBF\xBF")});
}

TEST(JsonInput, ExportLinesReadQuicklyGiveWhatTheFullParserGives) {
    // Each line is read once as it stands (the quick reader takes it) and once
    // with a \u escape in a key, which only the full parser reads.
    std::vector<jet::Column> cols{column("Имя", ColumnType::Text), column("Count", ColumnType::Long),
                                  column("Amount", ColumnType::Currency), column("Ratio", ColumnType::Double),
                                  column("Flag", ColumnType::Boolean), column("Note", ColumnType::Memo)};
    for (std::string tail : {
             R"("Count":-123456789012,"Amount":-0.5,"Ratio":0.25,"Flag":true,"Note":"a\"b\\c\/\b\f\n\r\tё€😀"})",
             R"("Count":0,"Amount":12,"Ratio":-0.0,"Flag":false,"Note":null})",
             " \"Count\" : 7 ,\t\"Amount\":\"3.5\", \"Note\":\"\" } ",
             R"("Count":1,"count":2})",           // a column named twice
             R"("Count":1.5})",                   // not whole
             R"("Flag":"yes"})",                  // the wrong kind
         }) {
        const std::string quick = R"({"Имя":"Ёж",)" + tail;
        const std::string full = R"({"\u0418мя":"Ёж",)" + tail;
        const std::string quick_error = error_of(quick, cols);
        EXPECT_EQ(quick_error, error_of(full, cols)) << quick;
        if (!quick_error.empty()) continue;
        const auto a = regtool::parse_json_row(quick, cols), b = regtool::parse_json_row(full, cols);
        for (std::size_t i = 0; i < cols.size(); ++i) EXPECT_TRUE(a[i] == b[i]) << cols[i].name << " in " << quick;
    }
    // Whole numbers past 18 digits, exponents and minus zero go to the full parser and keep its reading.
    EXPECT_TRUE(regtool::parse_json_row(R"({"Count":-0})", cols)[1] == Value{std::int64_t{0}});
    EXPECT_TRUE(regtool::parse_json_row(R"({"Count":1234567890123456789})", cols)[1] == Value{std::int64_t{1234567890123456789}});
    EXPECT_NE(error_of(R"({"Count":12345678901234567890})", cols), "");
    EXPECT_TRUE(regtool::parse_json_row(R"({"Ratio":2.5e1})", cols)[3] == Value{25.0});
}

TEST(JsonInput, HandWrittenFormsOfEachType) {
    std::vector<jet::Column> cols{column("Flag", ColumnType::Boolean),  column("Amount", ColumnType::Currency),
                                  column("Price", ColumnType::Decimal, 10, 2), column("When", ColumnType::DateTime),
                                  column("Id", ColumnType::Guid),       column("Raw", ColumnType::Binary),
                                  column("Ratio", ColumnType::Single),  column("Measure", ColumnType::Double)};
    auto value = [&](std::size_t i, const std::string& json) {
        std::string line = "{" + std::string("\"") + cols[i].name + "\":" + json + "}";
        return regtool::parse_json_row(line, cols)[i];
    };
    EXPECT_TRUE(value(0, "0") == Value{false});
    EXPECT_TRUE(value(0, "-0.0e5") == Value{false});
    EXPECT_TRUE(value(0, "2") == Value{true});
    EXPECT_TRUE(value(0, "0.001") == Value{true});

    // Currency: exact, from numbers in strings or with exponents too; zeros past the fourth place lose nothing.
    EXPECT_TRUE(value(1, "0.1") == Value{jet::Currency{1000}});
    EXPECT_TRUE(value(1, "\"-12.5\"") == Value{jet::Currency{-125000}});
    EXPECT_TRUE(value(1, "1.5e2") == Value{jet::Currency{1500000}});
    EXPECT_TRUE(value(1, "1E-4") == Value{jet::Currency{1}});
    EXPECT_TRUE(value(1, "1.23450000") == Value{jet::Currency{12345}});
    EXPECT_TRUE(value(1, "-0") == Value{jet::Currency{0}});
    EXPECT_TRUE(value(1, "922337203685477.5807") == Value{jet::Currency{std::numeric_limits<std::int64_t>::max()}});

    // Decimal: scaled up to the column's scale; minus zero is plain zero.
    EXPECT_TRUE(value(2, "7") == Value{decimal(false, {700, 0, 0, 0}, 10, 2)});
    EXPECT_TRUE(value(2, "\"-0.1\"") == Value{decimal(true, {10, 0, 0, 0}, 10, 2)});
    EXPECT_TRUE(value(2, "-0.00") == Value{decimal(false, {}, 10, 2)});
    EXPECT_TRUE(value(2, "99999999.99") == Value{decimal(false, {1410065407, 2, 0, 0}, 10, 2)});

    EXPECT_TRUE(value(3, "\"2024-01-31\"") == Value{at(2024, 1, 31)});
    EXPECT_TRUE(value(3, "\"2024-01-31 10:20:30\"") == Value{at(2024, 1, 31, 10, 20, 30)});
    EXPECT_TRUE(value(3, "\"2024-01-31T10:20:30.5\"") == Value{at(2024, 1, 31, 10, 20, 30, 500)});
    EXPECT_TRUE(value(3, "\"2024-01-31T10:20:30.05\"") == Value{at(2024, 1, 31, 10, 20, 30, 50)});
    EXPECT_TRUE(value(3, "\"2000-02-29T00:00:00\"") == Value{at(2000, 2, 29)});

    const std::string guid = "{33221100-5544-7766-8899-AABBCCDDEEFF}";
    Value expected_guid = value(4, "\"" + guid + "\"");
    EXPECT_TRUE(value(4, "\"33221100-5544-7766-8899-aabbccddeeff\"") == expected_guid);
    EXPECT_TRUE(value(4, "\"{33221100-5544-7766-8899-aAbBcCdDeEfF}\"") == expected_guid);

    EXPECT_TRUE(value(5, "\"00ABff\"") == Value(jet::Binary{{0x00, 0xAB, 0xFF}}));
    EXPECT_TRUE(value(5, "\"base64:AAEC/w==\"") == Value(jet::Binary{{0x00, 0x01, 0x02, 0xFF}}));
    EXPECT_TRUE(value(5, "\"base64:AAEC/w\"") == Value(jet::Binary{{0x00, 0x01, 0x02, 0xFF}}));
    EXPECT_TRUE(value(5, "\"base64:+/+/\"") == Value(jet::Binary{{0xFB, 0xFF, 0xBF}}));
    EXPECT_TRUE(value(5, "\"base64:\"") == Value{jet::Binary{}});

    EXPECT_TRUE(value(6, "3") == Value{3.0f});
    EXPECT_TRUE(value(6, "0.1") == Value{0.1f});  // read as a float, not a double cut down
    EXPECT_TRUE(value(7, "1e308") == Value{1e308});
    EXPECT_TRUE(value(7, "-2.5E-3") == Value{-2.5e-3});
}

// ---------------------------------------------------------------------------

TEST(JsonErrors, MalformedLinesAreRefused) {
    std::vector<jet::Column> cols{column("Name", ColumnType::Text), column("Age", ColumnType::Double)};
    for (std::string_view line : {
             "", "   \n", "[]", "null", "\"Name\"", "{", "{\"Name\":\"x\"", "{\"Name\":\"x\"} x", "{\"Name\":\"x\"}{}",
             "{\"Name\":\"x\",}", "{,}", "{\"Name\" \"x\"}", "{\"Name\":\"x\" \"Age\":1}", "{'Name':'x'}", "{Name:1}",
             "{\"Age\":01}", "{\"Age\":+1}", "{\"Age\":.5}", "{\"Age\":1.}", "{\"Age\":1e}", "{\"Age\":1e+}",
             "{\"Age\":-}", "{\"Age\":NaN}", "{\"Age\":Infinity}", "{\"Age\":tru}", "{\"Age\":truex}", "{\"Age\":nul}",
             "{\"Name\":\"a\\x\"}", "{\"Name\":\"\\u12\"}", "{\"Name\":\"\\u12G4\"}", "{\"Name\":\"\\ud83d\"}",
             "{\"Name\":\"\\ud83dx\"}", "{\"Name\":\"\\ude00\"}", "{\"Name\":\"\\ud83d\\u0041\"}",
             "{\"Name\":\"\\ud83d\\ud83d\"}", "{\"Name\":\"a\tb\"}", "{\"Name\":\"a\nb\"}", "{\"Name\":\"unterminated}",
             "{\"Name\":\"\xFF\"}", "{\"Name\":\"\xC0\xAF\"}", "{\"Name\":\"\xE0\x80\xAF\"}", "{\"Name\":\"\xED\xA0\x80\"}",
             "{\"Name\":\"\xF4\x90\x80\x80\"}", "{\"Name\":\"\xD0\"}", "{\"Name\":\"\xE2\x82\"}", "{\"Name\":\"\x80\"}",
             "\xEF\xBB\xBF{}",  // a byte-order mark is not JSON whitespace
             "{\"Name\":\"x\"}\f",
         }) {
        EXPECT_NE(error_of(line, cols), "") << line;
    }
    using namespace std::string_view_literals;
    EXPECT_NE(error_of("{}\0"sv, cols), "");
    // Nested values are named as such.
    std::string nested = error_of(R"({"Name":{"first":"A"}})", cols);
    EXPECT_NE(nested.find("\"Name\""), std::string::npos) << nested;
    EXPECT_NE(nested.find("object"), std::string::npos) << nested;
    nested = error_of(R"({"Age":[1,2]})", cols);
    EXPECT_NE(nested.find("array"), std::string::npos) << nested;
    // Syntax errors say where.
    std::string trailing = error_of("{\"Age\":1} x", cols);
    EXPECT_NE(trailing.find("byte 11"), std::string::npos) << trailing;
}

TEST(JsonErrors, KeysThatNameNoColumnOrOneTwice) {
    std::vector<jet::Column> cols{column("Name", ColumnType::Text), column("Возраст", ColumnType::Long)};
    std::string e = error_of(R"({"Name":"x","Nmae":"y"})", cols);
    EXPECT_NE(e.find("no column named \"Nmae\""), std::string::npos) << e;
    e = error_of(R"({"Name":"x","Name":"y"})", cols);
    EXPECT_NE(e.find("\"Name\" is given twice"), std::string::npos) << e;
    e = error_of(R"({"возраст":1,"ВОЗРАСТ":2})", cols);
    EXPECT_NE(e.find("\"Возраст\" is given twice"), std::string::npos) << e;
    EXPECT_NE(e.find("\"ВОЗРАСТ\""), std::string::npos) << e;
    // A second null still counts as a second mention.
    EXPECT_NE(error_of(R"({"Name":null,"name":null})", cols), "");
}

TEST(JsonErrors, ValuesThatDoNotSuitTheirColumn) {
    std::vector<jet::Column> cols{
        column("Flag", ColumnType::Boolean),    column("Count", ColumnType::Long),
        column("Amount", ColumnType::Currency), column("Price", ColumnType::Decimal, 5, 2),
        column("Big", ColumnType::Decimal, 0, 0), column("Ratio", ColumnType::Single),
        column("Measure", ColumnType::Double),  column("When", ColumnType::DateTime),
        column("Name", ColumnType::Text),       column("Notes", ColumnType::Memo),
        column("Id", ColumnType::Guid),         column("Raw", ColumnType::Binary),
        column("Picture", ColumnType::Ole),
    };
    struct Case {
        const char* column;
        const char* json;
        const char* says;  // part of the message besides the column's name
    };
    for (const Case& c : std::vector<Case>{
             {"Flag", "\"yes\"", "(Boolean)"}, {"Flag", "\"true\"", "(Boolean)"},
             {"Count", "1.5", "not a whole number"}, {"Count", "1.0", "not a whole number"},
             {"Count", "1e3", "not a whole number"}, {"Count", "9223372036854775808", "too large"},
             {"Count", "-9223372036854775809", "too large"}, {"Count", "\"12\"", "(Long)"}, {"Count", "true", "(Long)"},
             {"Amount", "1.23456", "4 decimal places"}, {"Amount", "\"0.00001\"", "4 decimal places"},
             {"Amount", "1e-5", "4 decimal places"}, {"Amount", "922337203685477.5808", "outside"},
             {"Amount", "-922337203685477.5809", "outside"}, {"Amount", "1e20", "outside"},
             {"Amount", "1e999999999999999", "outside"}, {"Amount", "\"12 \"", "(Currency)"}, {"Amount", "\"\"", "(Currency)"},
             {"Price", "1.005", "2 decimal places"}, {"Price", "1234.5", "precision of 5"},
             {"Big", "79228162514264337593543950336", "too large"},  // 2^96
             {"Big", "1e40", "too large"},
             {"Ratio", "1e39", "out of range"}, {"Ratio", "\"1.5\"", "(Single)"}, {"Ratio", "\"Infinity\"", "(Single)"},
             {"Measure", "1e309", "out of range"}, {"Measure", "\"INF\"", "(Double)"},
             {"When", "\"2023-13-01\"", "not a valid date"}, {"When", "\"2023-00-01\"", "not a valid date"},
             {"When", "\"2023-02-30\"", "not a valid date"}, {"When", "\"1900-02-29\"", "not a valid date"},
             {"When", "\"2023-04-31T00:00:00\"", "not a valid date"}, {"When", "\"2023-01-01T24:00:00\"", "not a valid date"},
             {"When", "\"2023-01-01T23:60:00\"", "not a valid date"}, {"When", "\"2023-01-01T23:59:60\"", "not a valid date"},
             {"When", "\"2023-1-01\"", "not a valid date"}, {"When", "\"23-01-01\"", "not a valid date"},
             {"When", "\"2023-01-01T10:00\"", "not a valid date"}, {"When", "\"2023-01-01T10:00:00.1234\"", "not a valid date"},
             {"When", "\"2023-01-01T10:00:00.\"", "not a valid date"}, {"When", "\"2023-01-01T10:00:00Z\"", "not a valid date"},
             {"When", "\"2023-01-01T\"", "not a valid date"}, {"When", "\"\"", "not a valid date"},
             {"When", "45000", "(DateTime)"},
             {"Name", "12", "(Text)"}, {"Name", "false", "(Text)"},
             {"Notes", "1.5", "(Memo)"},
             {"Id", "\"{33221100-5544-7766-8899-AABBCCDDEEF}\"", "not a GUID"},
             {"Id", "\"{33221100-5544-7766-8899-AABBCCDDEEFG}\"", "not a GUID"},
             {"Id", "\"{332211005-544-7766-8899-AABBCCDDEEFF}\"", "not a GUID"},
             {"Id", "\"{33221100-5544-7766-8899-AABBCCDDEEFF\"", "not a GUID"},
             {"Id", "\"33221100554477668899AABBCCDDEEFF\"", "not a GUID"},
             {"Raw", "\"abc\"", "odd number"}, {"Raw", "\"zz\"", "not hex"}, {"Raw", "\"0x00\"", "not hex"},
             {"Picture", "\"base64:A\"", "not valid base64"}, {"Picture", "\"base64:AB=C\"", "not valid base64"},
             {"Picture", "\"base64:AB!=\"", "not valid base64"},
             {"Picture", "\"base64:AB==\"", "not valid base64"},  // unused bits set
             {"Picture", "\"base64:AA===\"", "not valid base64"}, {"Picture", "\"base64:AA=\"", "not valid base64"},
             {"Picture", "\"base64:AA AA\"", "not valid base64"}, {"Picture", "42", "(OLE)"},
         }) {
        std::string line = std::string("{\"") + c.column + "\":" + c.json + "}";
        std::string e = error_of(line, cols);
        EXPECT_NE(e.find(std::string("column \"") + c.column + "\""), std::string::npos) << line << " -> " << e;
        EXPECT_NE(e.find(c.says), std::string::npos) << line << " -> " << e;
    }
}

TEST(JsonErrors, LongValuesAreCutShortInMessages) {
    std::vector<jet::Column> cols{column("When", ColumnType::DateTime)};
    std::string e = error_of("{\"When\":\"" + std::string(10000, 'x') + "\"}", cols);
    EXPECT_NE(e.find("column \"When\""), std::string::npos);
    EXPECT_LT(e.size(), 300u) << e;
    // Cut between characters, not inside one.
    e = error_of("{\"When\":\"" + std::string(1, 'x') + [] {
        std::string s;
        for (int i = 0; i < 100; ++i) s += "ж";
        return s;
    }() + "\"}", cols);
    EXPECT_NE(e.find("жж...\""), std::string::npos) << e;
}

// The catalogue words each failure in either language under one number; the
// English sentence is the error's own text.
TEST(JsonErrors, SaidInRussianUnderTheirNumbers) {
    std::vector<jet::Column> cols{column("Name", ColumnType::Text), column("Возраст", ColumnType::Long),
                                  column("Price", ColumnType::Decimal, 5, 2), column("Raw", ColumnType::Binary)};
    struct Case {
        std::string line;
        int number;
        const char* russian;
    };
    for (const Case& c : std::vector<Case>{
             {R"({"Возраст":"12"})", 3421, "поле «Возраст» (Long): ожидается целое число, получено \"12\""},
             {R"({"Price":1.005})", 3421, "поле «Price» (Decimal): в 1.005 больше знаков после запятой, чем допускает поле (2)"},
             {R"({"Raw":"abc"})", 3421, "поле «Raw» (Binary): в \"abc\" нечетное число шестнадцатеричных цифр"},
             {R"({"Nmae":1})", 3265, "нет поля с именем «Nmae»"},
             {R"({"Name":"a","name":"b"})", 3191, "поле «Name» задано дважды (как «Name» и «name»)"},
             {R"({"Name":{"first":"A"}})", 3274,
              "неверный JSON: значение «Name» — объект; в строке допустимы только null, true, false, числа и строки"},
             {"{\"Возраст\":1} x", 3274, "неверный JSON на байте 22: неожиданный текст, последним прочитано \"1} x\""},
             {"\xEF\xBB\xBF{}", 3274, "неверный JSON на байте 1: перед объектом стоит метка порядка байтов"},
         }) {
        try {
            regtool::parse_json_row(c.line, cols);
            ADD_FAILURE() << c.line << " was read";
        } catch (const errors::InputError& e) {
            const errors::Message ru = errors::describe(e, errors::Language::Russian);
            const errors::Message en = errors::describe(e, errors::Language::English);
            EXPECT_EQ(ru.text, c.russian) << c.line;
            EXPECT_EQ(ru.number, c.number) << c.line;
            EXPECT_EQ(en.number, c.number) << c.line;
            EXPECT_EQ(en.text, e.what()) << c.line;
        }
    }
}

}  // namespace
