#include "errors/input.h"

#include <utility>

#include "errors/numbers.h"

namespace errors {

namespace {

struct Say {
    Language language;
    std::string operator()(std::string ru, std::string en) const { return language == Language::Russian ? ru : en; }
};

// A name shown as JSON ("Фамилия") in «» for Russian sentences, as JSON for English ones.
std::string named(const std::string& json, Say say) {
    if (say.language == Language::English || json.size() < 2 || json.front() != '"' || json.back() != '"') return json;
    return quote(std::string_view(json).substr(1, json.size() - 2));
}

std::string shape(JsonShape s, Say say) {
    switch (s) {
        case JsonShape::Object: return say("объект", "an object");
        case JsonShape::Array: return say("массив", "an array");
        case JsonShape::Binary: return say("двоичные данные", "binary data");
        case JsonShape::NotAnObject: return say("не объект", "not an object");
    }
    return {};
}

std::string form(ValueForm f, Say say) {
    switch (f) {
        case ValueForm::Boolean: return say("true, false или число", "true, false or a number");
        case ValueForm::WholeNumber: return say("целое число", "a whole number");
        case ValueForm::Number: return say("число", "a number");
        case ValueForm::RealNumber: return say("число (или \"inf\", \"-inf\", \"nan\")", "a number (or \"inf\", \"-inf\", \"nan\")");
        case ValueForm::DateText: return say("дата в виде текста", "a date as text");
        case ValueForm::GuidText: return say("GUID в виде текста", "a GUID as text");
        case ValueForm::BytesText:
            return say("байты шестнадцатеричными цифрами или текстом \"base64:...\"", "bytes as hex or \"base64:...\" text");
        case ValueForm::String: return say("строка", "a string");
    }
    return {};
}

// Why the value does not suit its column, after the column is named.
std::string unsuitable(InputFault fault, const InputDetails& d, Say say) {
    const std::string& v = d.value;
    const std::string count = std::to_string(d.count);
    switch (fault) {
        case InputFault::WrongKind: return say("ожидается " + form(d.expected, say) + ", получено ", "expected " + form(d.expected, say) + ", got ") + v;
        case InputFault::NotWhole: return v + say(" — не целое число", " is not a whole number");
        case InputFault::TooLarge: return v + say(" — слишком большое число", " is too large");
        case InputFault::CurrencyDecimals: return say("в " + v + " больше 4 знаков после запятой", v + " has more than 4 decimal places");
        case InputFault::OutsideCurrency:
            return v + say(" лежит вне пределов -922337203685477.5808..922337203685477.5807",
                           " lies outside -922337203685477.5808..922337203685477.5807");
        case InputFault::TooManyDecimals:
            return say("в " + v + " больше знаков после запятой, чем допускает поле (" + count + ")",
                       v + " has more than the column's " + count + " decimal places");
        case InputFault::DecimalTooLarge: return v + say(" слишком велико для типа Decimal", " is too large for a Decimal");
        case InputFault::BeyondPrecision:
            return say("в " + v + " больше цифр, чем допускает точность поля (" + count + ")",
                       v + " has more digits than the column's precision of " + count);
        case InputFault::OutOfRange: return v + say(" — число вне допустимых пределов", " is out of range");
        case InputFault::NotADate:
            return v + say(" — не дата; ожидается ГГГГ-ММ-ДД или ГГГГ-ММ-ДДTчч:мм:сс[.ммм]",
                           " is not a valid date; expected YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS[.mmm]");
        case InputFault::NotAGuid:
            return v + say(" — не GUID; ожидается {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
                           " is not a GUID; expected {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        case InputFault::NotBase64: return v + say(" — неверная запись base64", " is not valid base64");
        case InputFault::OddHex: return say("в " + v + " нечетное число шестнадцатеричных цифр", v + " has an odd number of hex digits");
        case InputFault::NotHex:
            return v + say(" — не шестнадцатеричные цифры (и не \"base64:...\")", " is not hex (nor \"base64:...\")");
        case InputFault::UnknownType: return say("тип поля неизвестен", "the column's type is unknown");
        default: return {};
    }
}

std::string text_of(InputFault fault, const InputDetails& d, Say say) {
    const std::string at = say("неверный JSON на байте ", "bad JSON at byte ") + std::to_string(d.position) + ": ";
    switch (fault) {
        case InputFault::ByteOrderMark:
            return at + say("перед объектом стоит метка порядка байтов", "a byte-order mark before the object");
        case InputFault::NulByte: return at + say("нулевой байт", "a NUL byte");
        case InputFault::Unexpected: return at + say("неожиданный текст, последним прочитано ", "unexpected text, last read ") + d.value;
        case InputFault::NumberTooLarge:
            return at + say("число " + d.value + " слишком велико, чтобы его прочитать, и остаток строки не прочитан",
                            "the number " + d.value + " is too large to read, and the rest of the row with it");
        case InputFault::Nested:
            return say("неверный JSON: значение " + named(d.key, say) + " — " + shape(d.shape, say) +
                           "; в строке допустимы только null, true, false, числа и строки",
                       "bad JSON: the value of " + d.key + " is " + shape(d.shape, say) +
                           "; a row holds only null, true, false, numbers and strings");
        case InputFault::NotAnObject:
            return say("неверный JSON: строка должна быть одним объектом, а это ", "bad JSON: a row is one object, this is ") +
                   shape(d.shape, say);
        case InputFault::NoSuchColumn: return say("нет поля с именем ", "no column named ") + named(d.key, say);
        case InputFault::GivenTwice: {
            std::string s = say("поле " + named(d.column, say) + " задано дважды", "column " + d.column + " is given twice");
            if (d.key != d.other_key) {
                s += say(" (как " + named(d.key, say) + " и " + named(d.other_key, say) + ")",
                         " (as " + d.key + " and " + d.other_key + ")");
            }
            return s;
        }
        default:
            return say("поле ", "column ") + named(d.column, say) + " (" + d.type + "): " + unsuitable(fault, d, say);
    }
}

int number_of(InputFault fault) {
    switch (fault) {
        case InputFault::ByteOrderMark:
        case InputFault::NulByte:
        case InputFault::Unexpected:
        case InputFault::NumberTooLarge:
        case InputFault::Nested:
        case InputFault::NotAnObject: return number::kBadInput;
        case InputFault::NoSuchColumn: return number::kItemNotFound;
        case InputFault::GivenTwice: return number::kFieldTwice;
        default: return number::kConversion;
    }
}

}  // namespace

InputError::InputError(InputFault fault, InputDetails details)
    : std::runtime_error(text_of(fault, details, Say{Language::English})), fault_(fault), details_(std::move(details)) {}

Message describe(const InputError& e, Language language) {
    return {number_of(e.fault()), text_of(e.fault(), e.details(), Say{language})};
}

}  // namespace errors
