#include "schema_text.h"

namespace regtool {

void append_schema_table(std::string& out, const std::string& name, std::uint64_t rows) {
    out += "table\t" + name + "\trows " + std::to_string(rows) + "\n";
}

void append_schema_column(std::string& out, std::size_t ordinal, const jet::Column& c) {
    std::size_t size = c.fixed() && c.type != jet::ColumnType::Text && c.type != jet::ColumnType::Binary ? jet::fixed_size(c.type) : c.length;
    if (c.type == jet::ColumnType::Text) size /= 2;  // characters, as Access shows them
    out += "column\t" + std::to_string(ordinal) + "\t" + c.name + "\t" + jet::type_name(c.type) + "\t" + std::to_string(size) + "\t" +
           (c.autonumber() ? "autonumber" : "-") + "\n";
}

void append_schema_index(std::string& out, const SchemaIndex& x) {
    std::string flags = x.unique ? "unique" : "non-unique";
    if (x.ignore_nulls) flags += ",ignore-nulls";
    if (x.required) flags += ",required";
    std::string columns;
    for (const auto& [name, ascending] : x.columns) {
        if (!columns.empty()) columns += ", ";
        columns += name + (ascending ? " asc" : " desc");
    }
    out += "index\t" + x.name + "\t" + x.kind + "\t" + flags + "\t" + columns + "\n";
}

}  // namespace regtool
