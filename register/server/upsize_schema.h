// The statements that make a file's tables on the server: columns of the
// types kept exactly, keys and indexes (unique ones comparing text as the
// file does, letter case aside), and the relationships the file enforces.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "jet/relationships.h"
#include "jet/table_def.h"

namespace server {

// The collation unique text keys compare under: letter case aside, Cyrillic
// included, accents kept, as the file's General sort order compares.
inline constexpr const char* kCaseInsensitive = "case_insensitive";
std::string create_collation_sql();

// The server's type for a column.
std::string column_type(const jet::Column& c);
// Names of a check constraint the upsize puts on a Byte, a Date/Time or a
// Binary column begin so; the way back tells a Byte from an Integer by it,
// and a Binary of its length from an OLE Object.
inline constexpr const char* kByteCheck = "byte_";
inline constexpr const char* kDateCheck = "date_";
inline constexpr const char* kBinaryCheck = "binary_";

// Raises NameTooLong for a name the server would cut.
void check_name(const std::string& name, const std::string& what);

std::string create_table_sql(const std::string& table, const jet::TableDef& def);

// Index names are unique across a schema: the table's name goes in front,
// cut to the server's length with a number after it where needed; `taken`
// holds the names given so far.
std::string index_name(const std::string& table, const std::string& index, std::set<std::string>& taken);

// The columns the server keeps from holding Null: those of the file's
// required indexes other than the primary key (whose columns the key keeps).
std::vector<std::string> not_null_sql(const std::string& table, const jet::TableDef& def);

// Column sets (sorted names) of a table that enforced relationships name as
// their parent's key: their unique index must compare exactly as well.
using KeyColumns = std::set<std::string>;

// The primary key and indexes of a table, each with the comment that keeps
// its name in the file.
std::vector<std::string> index_sql(const std::string& table, const jet::TableDef& def, const std::vector<KeyColumns>& referenced,
                                   std::set<std::string>& taken);

// A foreign key for an enforced relationship, a comment for one the file
// does not enforce (gathered by the caller into the child table's comment).
std::vector<std::string> foreign_key_sql(const jet::Relationship& r, std::set<std::string>& taken);
std::string unenforced_note(const jet::Relationship& r);

}  // namespace server
