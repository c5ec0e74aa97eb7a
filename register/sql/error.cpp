#include "sql/error.h"

#include "jet/text.h"

namespace sql {

namespace {

constexpr std::size_t kQuotedStatement = 200;  // characters of the statement a message quotes
constexpr std::size_t kQuotedNear = 30;        // characters quoted after an error's place

// Text fit to be shown: valid UTF-8, no control characters, at most limit
// characters (an ellipsis marks a cut).
std::string printable(std::string_view s, std::size_t limit) {
    std::u32string cps = jet::utf8_to_utf32(s);
    std::string out;
    out.reserve(s.size() < 4 * limit ? s.size() : 4 * limit);
    std::size_t n = 0;
    for (char32_t c : cps) {
        if (n == limit) {
            out += "…";
            break;
        }
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = U' ';
        jet::append_utf8(out, c);
        ++n;
    }
    return out;
}

}  // namespace

void syntax_error(std::string_view statement, std::size_t position) {
    std::size_t at = position < statement.size() ? position : statement.size();
    std::string near = printable(statement.substr(at), kQuotedNear);
    throw Error(errc::kSyntax,
                "Синтаксическая ошибка в выражении запроса «" + printable(statement, kQuotedStatement) + "» около «" + near + "».",
                at);
}

void no_such_table(std::string_view name, std::size_t position) {
    throw Error(errc::kNoSuchTable, "Не удается найти таблицу «" + printable(name, kQuotedStatement) + "».", position);
}

void no_such_column(std::string_view name, std::size_t position) {
    throw Error(errc::kNoSuchColumn, "Неизвестное поле «" + printable(name, kQuotedStatement) + "».", position);
}

void type_mismatch(std::size_t position) {
    throw Error(errc::kTypeMismatch, "Несоответствие типов данных в выражении условия отбора.", position);
}

}  // namespace sql
