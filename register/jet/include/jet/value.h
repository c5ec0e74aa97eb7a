// Column types and the values read from rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace jet {

enum class ColumnType : std::uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Decimal = 0x10,
};

bool is_known_type(std::uint8_t code);
const char* type_name(ColumnType t);
// Bytes a value of a fixed-size type occupies in the fixed area of a row (0 for Boolean).
std::size_t fixed_size(ColumnType t);
bool is_long_value(ColumnType t);

// Currency: a count of ten-thousandths.
struct Currency {
    std::int64_t units = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// Date/Time: days since 1899-12-30; for days before it, the fraction is still the time of day.
struct DateTime {
    double days = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Decimal: a 96-bit (stored as 128-bit) magnitude with a sign and a scale.
struct Decimal {
    bool negative = false;
    std::array<std::uint32_t, 4> magnitude{};  // least significant word first
    std::uint8_t scale = 0;
    std::uint8_t precision = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

struct Binary {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Binary&, const Binary&) = default;
};

struct Null {
    friend bool operator==(const Null&, const Null&) = default;
};

// Text and Memo values are held as UTF-8.
using Value = std::variant<Null, bool, std::int64_t, float, double, Currency, DateTime, Decimal, Guid, std::string, Binary>;

inline bool is_null(const Value& v) { return std::holds_alternative<Null>(v); }

// Exact decimal text: "-12.3400" for a Currency of -123400 units.
std::string to_string(const Currency& c);
std::string to_string(const Decimal& d);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string to_string(const Guid& g);

// Calendar fields of a Date/Time, rounded to the millisecond.
struct CivilTime {
    std::int64_t year = 0;
    int month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
CivilTime to_civil(const DateTime& d);
DateTime from_civil(const CivilTime& c);
// "YYYY-MM-DDTHH:MM:SS", with ".mmm" when there are milliseconds.
std::string to_iso(const DateTime& d);
void append_iso(std::string& out, const DateTime& d);

// Shortest text that reads back as the same number.
std::string shortest(double v);
std::string shortest(float v);

}  // namespace jet
