#include "jet/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

bool is_known_type(std::uint8_t code) {
    return (code >= 0x01 && code <= 0x0C) || code == 0x0F || code == 0x10;
}

const char* type_name(ColumnType t) {
    switch (t) {
        case ColumnType::Boolean: return "Boolean";
        case ColumnType::Byte: return "Byte";
        case ColumnType::Integer: return "Integer";
        case ColumnType::Long: return "Long";
        case ColumnType::Currency: return "Currency";
        case ColumnType::Single: return "Single";
        case ColumnType::Double: return "Double";
        case ColumnType::DateTime: return "DateTime";
        case ColumnType::Binary: return "Binary";
        case ColumnType::Text: return "Text";
        case ColumnType::Ole: return "OLE";
        case ColumnType::Memo: return "Memo";
        case ColumnType::Guid: return "GUID";
        case ColumnType::Decimal: return "Decimal";
    }
    return "?";
}

std::size_t fixed_size(ColumnType t) {
    switch (t) {
        case ColumnType::Boolean: return 0;
        case ColumnType::Byte: return 1;
        case ColumnType::Integer: return 2;
        case ColumnType::Long: return 4;
        case ColumnType::Single: return 4;
        case ColumnType::Currency:
        case ColumnType::Double:
        case ColumnType::DateTime: return 8;
        case ColumnType::Guid: return 16;
        case ColumnType::Decimal: return 17;
        default: return 0;
    }
}

bool is_long_value(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::Ole; }

namespace {

std::string with_scale(std::string digits, unsigned scale, bool negative) {
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
    if (negative) digits.insert(0, 1, '-');
    return digits;
}

}  // namespace

std::string to_string(const Currency& c) {
    // Work on the unsigned magnitude so that the most negative value needs no special case.
    bool neg = c.units < 0;
    std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(c.units) : static_cast<std::uint64_t>(c.units);
    return with_scale(std::to_string(mag), 4, neg);
}

std::string to_string(const Decimal& d) {
    std::array<std::uint32_t, 4> w = d.magnitude;
    std::string digits;
    auto is_zero = [&] { return w[0] == 0 && w[1] == 0 && w[2] == 0 && w[3] == 0; };
    if (is_zero()) digits = "0";
    while (!is_zero()) {
        std::uint64_t rem = 0;
        for (int i = 3; i >= 0; --i) {
            std::uint64_t cur = (rem << 32) | w[static_cast<std::size_t>(i)];
            w[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(cur / 10);
            rem = cur % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + rem));
    }
    bool neg = d.negative && digits.find_first_not_of('0') != std::string::npos;
    return with_scale(digits, d.scale, neg);
}

std::string to_string(const Guid& g) {
    const auto& b = g.bytes;
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1],
                  b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buf;
}

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1970-01-01 to 1899-12-30.
constexpr std::int64_t kEpochOffset = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

}  // namespace

CivilTime to_civil(const DateTime& dt) {
    CivilTime c;
    double v = dt.days;
    if (!std::isfinite(v) || std::fabs(v) > 1e8) {  // far outside any calendar Access shows
        c.year = 0;
        c.month = 1;
        c.day = 1;
        return c;
    }
    double whole = std::trunc(v);
    double frac = std::fabs(v - whole);
    auto day = static_cast<std::int64_t>(whole);
    auto ms = static_cast<std::int64_t>(std::llround(frac * static_cast<double>(kMsPerDay)));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        day += 1;  // rounded up to midnight of the next calendar day
    }
    civil_from_days(day + kEpochOffset, c.year, c.month, c.day);
    c.hour = static_cast<int>(ms / 3'600'000);
    c.minute = static_cast<int>(ms / 60'000 % 60);
    c.second = static_cast<int>(ms / 1000 % 60);
    c.millisecond = static_cast<int>(ms % 1000);
    return c;
}

DateTime from_civil(const CivilTime& c) {
    std::int64_t day = days_from_civil(c.year, c.month, c.day) - kEpochOffset;
    double frac = static_cast<double>(((c.hour * 60LL + c.minute) * 60 + c.second) * 1000 + c.millisecond) /
                  static_cast<double>(kMsPerDay);
    return DateTime{day < 0 ? static_cast<double>(day) - frac : static_cast<double>(day) + frac};
}

namespace {

void put_digits(char*& o, long long v, int width) {
    for (int i = width - 1; i >= 0; --i) {
        o[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    o += width;
}

}  // namespace

void append_iso(std::string& out, const DateTime& d) {
    CivilTime c = to_civil(d);
    char buf[40];
    char* o = buf;
    long long y = c.year;
    if (y < 0) {
        *o++ = '-';
        y = -y;
    }
    int width = 4;
    for (long long t = y / 10000; t > 0; t /= 10) ++width;
    put_digits(o, y, width);
    *o++ = '-';
    put_digits(o, c.month, 2);
    *o++ = '-';
    put_digits(o, c.day, 2);
    *o++ = 'T';
    put_digits(o, c.hour, 2);
    *o++ = ':';
    put_digits(o, c.minute, 2);
    *o++ = ':';
    put_digits(o, c.second, 2);
    if (c.millisecond != 0) {
        *o++ = '.';
        put_digits(o, c.millisecond, 3);
    }
    out.append(buf, static_cast<std::size_t>(o - buf));
}

std::string to_iso(const DateTime& d) {
    std::string s;
    append_iso(s, d);
    return s;
}

std::string shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string shortest(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace jet
