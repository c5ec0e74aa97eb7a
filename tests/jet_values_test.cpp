// Decoding of stored values: text forms, dates, exact decimals, names.
#include <gtest/gtest.h>

#include <climits>

#include "format/bytes.h"
#include "jet/text.h"
#include "jet/value.h"

namespace {

using jet::Bytes;

std::string text(std::initializer_list<int> bytes) {
    std::vector<std::uint8_t> b;
    for (int x : bytes) b.push_back(static_cast<std::uint8_t>(x));
    return jet::decode_text(Bytes(b.data(), b.size()));
}

TEST(Text, UncompressedAndCompressedForms) {
    EXPECT_EQ(text({0x10, 0x04, 0x11, 0x04}), "АБ");
    // FF FE, then one-byte Latin, a switch to two-byte Cyrillic, a switch back.
    EXPECT_EQ(text({0xFF, 0xFE, 'a', 'b', 0x00, 0x10, 0x04, 0x11, 0x04, 0x00, 'c'}), "abАБc");
    EXPECT_EQ(text({0xFF, 0xFE}), "");
    EXPECT_EQ(text({0xFF, 0xFE, 0xE9}), "é");  // one-byte runs are Latin-1
    // A stray odd byte in a two-byte run is dropped, not read past.
    EXPECT_EQ(text({0xFF, 0xFE, 0x00, 0x10, 0x04, 0x11}), "А");
    EXPECT_EQ(text({'A', 0x00, 0x00}), "A");
}

TEST(Text, SurrogatesBecomeUtf8OrReplacement) {
    EXPECT_EQ(text({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");  // U+1F600
    EXPECT_EQ(text({0x3D, 0xD8, 'a', 0x00}), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(text({0x00, 0xDE}), "\xEF\xBF\xBD");
}

TEST(Text, StoredFormMadeStraightFromUtf8IsTheSame) {
    using namespace std::string_literals;
    for (const std::string& s : {""s, "ab"s, "abc"s, "Иванов"s, "Müller ß"s, "é"s, "éé"s, "ééé"s, "a\0bc"s,
                                 "plain ASCII long enough to pass several words of eight bytes"s, "Ёж и ёлка, 1999 г."s,
                                 "€"s, "\xF0\x9F\x98\x80 smile"s, "\xFF\xC0\x80\xE2\x82"s, "\xC0\x80\xC0\x80\xC0\x80"s,
                                 "\xE0\x80\x80xyz"s, "\xED\xA0\x80"s, "ab\xC3"s, "ÿÿÿ"s, "abcdefg\0hijklmnop"s,
                                 "abcdefghЖ"s, "abcdefgЖhijklmnop"s, "12345678ÿ12345678"s}) {
        for (bool compress : {false, true}) {
            const std::vector<std::uint8_t> want = jet::encode_text(jet::to_utf16(s), compress);
            EXPECT_EQ(jet::encode_utf8_text(s, compress), want) << s << compress;
            // Appended after other bytes, as a row's fields are.
            std::vector<std::uint8_t> after{1, 2, 3};
            jet::append_utf8_text(after, s, compress);
            EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 3, after.end()), want) << s << compress;
        }
        EXPECT_EQ(jet::utf16_length(s), jet::to_utf16(s).size()) << s;
    }
}

TEST(Text, FoldTableIsFoldCase) {
    const std::u32string table = jet::bmp_case_folds();
    ASSERT_EQ(table.size(), 0x10000u);
    for (char32_t c = 0; c < 0x10000; ++c) ASSERT_EQ(table[c], jet::fold_case(c)) << static_cast<std::uint32_t>(c);
}

TEST(Text, NamesCompareWithoutLetterCase) {
    EXPECT_TRUE(jet::same_name("ЗУРТ", "зурт"));
    EXPECT_TRUE(jet::same_name("Ёлка", "ёЛКА"));
    EXPECT_TRUE(jet::same_name("Table1", "TABLE1"));
    EXPECT_FALSE(jet::same_name("ЗУРТ", "ЗУРТ_архив"));
    EXPECT_FALSE(jet::same_name("Елка", "Ёлка"));
}

TEST(DateTime, CalendarAroundTheEpochAndBeforeIt) {
    EXPECT_EQ(jet::to_iso({0.0}), "1899-12-30T00:00:00");
    EXPECT_EQ(jet::to_iso({36526.5}), "2000-01-01T12:00:00");
    EXPECT_EQ(jet::to_iso({60.0}), "1900-02-28T00:00:00");
    EXPECT_EQ(jet::to_iso({61.0}), "1900-03-01T00:00:00");
    // Before the epoch the whole part counts back, the fraction is still the time of day.
    EXPECT_EQ(jet::to_iso({-1.25}), "1899-12-29T06:00:00");
    EXPECT_EQ(jet::to_iso({-0.5}), "1899-12-30T12:00:00");
    EXPECT_EQ(jet::to_iso({-36522.75}), "1800-01-01T18:00:00");
    EXPECT_EQ(jet::to_iso({2958465.0}), "9999-12-31T00:00:00");
}

TEST(DateTime, MillisecondsAndRoundingToTheNextDay) {
    EXPECT_EQ(jet::to_iso({0.5 + 123.0 / 86400000.0}), "1899-12-30T12:00:00.123");
    EXPECT_EQ(jet::to_iso({1.0 - 1e-10}), "1899-12-31T00:00:00");
    EXPECT_EQ(jet::to_iso({-1.0 - (1.0 - 1e-10)}), "1899-12-30T00:00:00");
    EXPECT_EQ(jet::to_iso({1e300}), "0000-01-01T00:00:00");
}

TEST(DateTime, CivilRoundTrip) {
    for (double d : {0.0, 1.5, -1.25, -700000.75, 45000.123456, 2958465.999}) {
        jet::CivilTime c = jet::to_civil({d});
        EXPECT_EQ(jet::to_iso(jet::from_civil(c)), jet::to_iso({d})) << d;
    }
}

TEST(Exact, CurrencyKeepsFourDecimals) {
    EXPECT_EQ(jet::to_string(jet::Currency{0}), "0.0000");
    EXPECT_EQ(jet::to_string(jet::Currency{180443900}), "18044.3900");
    EXPECT_EQ(jet::to_string(jet::Currency{-5}), "-0.0005");
    EXPECT_EQ(jet::to_string(jet::Currency{LLONG_MIN}), "-922337203685477.5808");
}

TEST(Exact, DecimalUsesAllWordsAndTheScale) {
    jet::Decimal d;
    d.magnitude = {12345, 0, 0, 0};
    d.scale = 2;
    EXPECT_EQ(jet::to_string(d), "123.45");
    d.negative = true;
    EXPECT_EQ(jet::to_string(d), "-123.45");
    d.magnitude = {0, 1, 0, 0};  // 2^32
    d.scale = 0;
    EXPECT_EQ(jet::to_string(d), "-4294967296");
    d.magnitude = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0};
    d.negative = false;
    d.scale = 28;
    EXPECT_EQ(jet::to_string(d), "7.9228162514264337593543950335");
    d.magnitude = {0, 0, 0, 0};
    d.negative = true;
    d.scale = 3;
    EXPECT_EQ(jet::to_string(d), "0.000");
}

TEST(Exact, GuidAndShortestNumbers) {
    jet::Guid g;
    for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(jet::to_string(g), "{04030201-0605-0807-090A-0B0C0D0E0F10}");
    EXPECT_EQ(jet::shortest(0.1), "0.1");
    EXPECT_EQ(jet::shortest(119.2), "119.2");
    EXPECT_EQ(jet::shortest(1234.123f), "1234.123");
    EXPECT_EQ(jet::shortest(-0.0), "-0");
}

}  // namespace
