#include "sql/error.h"

namespace sql {

Error::Error(errors::QueryFault kind, std::string statement, std::string name, std::size_t position)
    : std::runtime_error(errors::query_text(kind, statement, position, name, errors::Language::Russian)),
      kind_(kind),
      statement_(std::move(statement)),
      name_(std::move(name)),
      position_(position) {}

std::string Error::text(errors::Language language) const {
    return errors::query_text(kind_, statement_, position_, name_, language);
}

void syntax_error(std::string_view statement, std::size_t position) {
    throw Error(errors::QueryFault::Syntax, std::string(statement), {}, position < statement.size() ? position : statement.size());
}

void no_such_table(std::string_view name, std::size_t position) {
    throw Error(errors::QueryFault::NoSuchTable, {}, std::string(name), position);
}

void no_such_column(std::string_view name, std::size_t position) {
    throw Error(errors::QueryFault::NoSuchColumn, {}, std::string(name), position);
}

void type_mismatch(std::size_t position) { throw Error(errors::QueryFault::TypeMismatch, {}, {}, position); }

}  // namespace sql
