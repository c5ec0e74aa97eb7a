// The failures of a row given as a line of JSON (regtool insert reads them):
// a line that is no JSON object of plain values, a key that names no column
// or one twice, a value its column does not take. Their numbers and sentences
// are here with the rest of the catalogue.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "errors/catalogue.h"

namespace errors {

enum class InputFault {
    // The line is no JSON row (`position`: the byte, from 1).
    ByteOrderMark,   // a byte-order mark before the object (at byte 1)
    NulByte,         // a NUL byte at `position`
    Unexpected,      // text the grammar does not take at `position`; `value`: the token read last
    NumberTooLarge,  // `value`, a number at `position` too large to read; the rest of the line is not read
    Nested,          // the value of `key` is a `shape`, not a plain value
    NotAnObject,     // the line is a `shape`, not one object
    // Keys.
    NoSuchColumn,  // `key` names no column
    GivenTwice,    // `column` is given twice, as `key` and `other_key` (the same when written alike)
    // A value (`value`) that `column` of `type` does not take.
    WrongKind,        // not of the `expected` form
    NotWhole,         // not a whole number
    TooLarge,         // a whole number beyond 64 bits
    CurrencyDecimals, // more than Currency's 4 decimal places
    OutsideCurrency,  // outside the range of Currency
    TooManyDecimals,  // more decimal places than the column's scale, `count`
    DecimalTooLarge,  // beyond a Decimal's 96 bits
    BeyondPrecision,  // more digits than the column's precision, `count`
    OutOfRange,       // a floating-point number beyond its type
    NotADate,         // no date of the forms taken
    NotAGuid,         // no GUID
    NotBase64,        // "base64:" followed by no valid base64
    OddHex,           // an odd number of hex digits
    NotHex,           // neither hex nor "base64:..."
    UnknownType,      // the column's type is one the reader does not know
};

// What the line holds where a plain value or the row's object belongs.
enum class JsonShape { Object, Array, Binary, NotAnObject };

// The form a column takes its values in, for WrongKind.
enum class ValueForm { Boolean, WholeNumber, Number, RealNumber, DateText, GuidText, BytesText, String };

// The details a sentence names. Keys and values are shown as the line wrote
// them in JSON (quoted and escaped, values cut short when long); `column` is
// the column's name in the same form.
struct InputDetails {
    std::size_t position = 0;
    std::string key;
    std::string other_key;
    std::string column;
    std::string type;  // the column's type, as the schema names it ("Text", "Long", ...)
    std::string value;
    JsonShape shape = JsonShape::Object;
    ValueForm expected = ValueForm::String;
    unsigned count = 0;
};

// A failure of one line; what() is its English sentence.
class InputError : public std::runtime_error {
public:
    InputError(InputFault fault, InputDetails details);
    InputFault fault() const noexcept { return fault_; }
    const InputDetails& details() const noexcept { return details_; }

private:
    InputFault fault_;
    InputDetails details_;
};

Message describe(const InputError& e, Language language);

}  // namespace errors
