// The tables of a server register as the file format has them, read from the
// server's catalog: their columns with the file's types (the upsize's types
// mapped back), keys and indexes under the names the file gave them, and the
// last number an AutoNumber gave.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"
#include "jet/create.h"
#include "jet/relationships.h"
#include "jet/table_def.h"

namespace server {

// A table of the register's schema (public, or the one the link's options
// put first on the search path).
struct TableName {
    std::string oid;
    std::string name;
};

struct ServerTable {
    std::string oid;
    jet::TableSpec spec;
    std::vector<jet::Column> columns;  // types as the values are read back, sizes as a file shows them
    std::vector<bool> defaulted;       // by column: the server gives a value of its own to a row that leaves it out
    std::string order_by;              // the primary key's columns, or empty
    std::optional<std::int64_t> last_number;
};

// The user tables in the order they were made (the upsize's order).
std::vector<TableName> list_tables(Connection& c);

// A column of the server's that the file format has no type for.
struct ColumnWithoutFileType {
    std::string column;
    std::string type;  // the server's name for it
};

// Raises UnsupportedType for a column the file format has no type for; with
// `unsupported`, such columns are gathered there and left out instead.
ServerTable read_table(Connection& c, const TableName& table, std::vector<ColumnWithoutFileType>* unsupported = nullptr);

// The table of that name, or of one differing from it in letter case only.
// Raises TableMissing when there is none.
ServerTable find_table(Connection& c, const std::string& name);

// The foreign keys a table takes part in, on either side, as the file's
// enforced relationships: under the names their comments keep, cascading
// where the server cascades.
std::vector<jet::Relationship> foreign_keys(Connection& c, const std::string& table_oid);

// SELECT of every column in table order, sorted by `order_by` when given.
std::string select_sql(const ServerTable& t, const std::string& order_by);

}  // namespace server
