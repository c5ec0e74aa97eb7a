#include "check.h"

#include <charconv>

#include "catalog.h"
#include "values.h"

namespace server {

namespace {

std::int64_t number(std::string_view text) { return catalog_number(text); }

}  // namespace

std::vector<Problem> check_register(Connection& c) {
    Transaction tx(c);
    c.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    std::vector<Problem> problems;
    for (const TableName& name : list_tables(c)) {
        std::vector<ColumnWithoutFileType> unsupported;
        const ServerTable t = read_table(c, name, &unsupported);
        for (const ColumnWithoutFileType& u : unsupported) problems.push_back({Problem::Kind::NoFileType, name.name, u.column, u.type});
        for (const jet::Column& col : t.columns) {
            if (!(col.flags & jet::Column::kAutoLong) || !t.last_number) continue;
            const Result highest = c.exec("SELECT max(" + Connection::quote(col.name) + ") FROM " + Connection::quote(name.name), {}, name.name);
            if (highest.is_null(0, 0)) continue;
            Problem p{Problem::Kind::NumberTaken, name.name, col.name, {}, *t.last_number + 1, number(highest.text(0, 0))};
            if (p.highest >= p.next) problems.push_back(std::move(p));
        }
        const Result indexes = c.exec(
            "SELECT coalesce(obj_description(i.indexrelid, 'pg_class'), ic.relname) FROM pg_index i "
            "JOIN pg_class ic ON ic.oid = i.indexrelid WHERE i.indrelid = $1::oid AND NOT i.indisvalid ORDER BY i.indexrelid",
            {name.oid}, name.name);
        for (int r = 0; r < indexes.rows(); ++r) problems.push_back({Problem::Kind::IndexNotValid, name.name, std::string(indexes.text(r, 0)), {}});
        const Result constraints = c.exec(
            "SELECT coalesce(obj_description(oid, 'pg_constraint'), conname) FROM pg_constraint "
            "WHERE conrelid = $1::oid AND NOT convalidated ORDER BY oid",
            {name.oid}, name.name);
        for (int r = 0; r < constraints.rows(); ++r) {
            problems.push_back({Problem::Kind::ConstraintNotValidated, name.name, std::string(constraints.text(r, 0)), {}});
        }
    }
    tx.commit();
    return problems;
}

}  // namespace server
