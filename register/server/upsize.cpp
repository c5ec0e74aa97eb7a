#include <algorithm>
#include <map>
#include <set>

#include "connection.h"
#include "jet/database.h"
#include "server_error.h"
#include "transfer.h"
#include "moves_table.h"
#include "upsize_schema.h"
#include "values.h"

namespace server {

namespace {

constexpr std::size_t kProgressStep = 1000;
constexpr std::size_t kCopyChunk = 1 << 16;

// Tables the file links to in other databases (catalog types 4 and 6).
std::vector<std::string> linked_tables(jet::Database& db) {
    std::vector<std::string> names;
    jet::Table objects = db.table("MSysObjects");
    const jet::Column* name = objects.def().find_column("Name");
    const jet::Column* type = objects.def().find_column("Type");
    if (!name || !type) return names;
    std::size_t name_at = 0, type_at = 0;
    for (std::size_t i = 0; i < objects.columns().size(); ++i) {
        if (objects.columns()[i].name == name->name) name_at = i;
        if (objects.columns()[i].name == type->name) type_at = i;
    }
    objects.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
        const auto* t = std::get_if<std::int64_t>(&row[type_at]);
        const auto* n = std::get_if<std::string>(&row[name_at]);
        if (t && n && (*t == 4 || *t == 6)) names.push_back(*n);
        return true;
    });
    return names;
}

bool on_server(Connection& c, const std::string& table) {
    return c.exec("SELECT 1 FROM pg_class WHERE relname = $1 AND relnamespace = current_schema()::regnamespace", {table}, table)
               .rows() > 0;
}

std::string column_list(const std::vector<jet::Column>& columns, const std::vector<bool>& taken) {
    std::string s;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (taken[i]) s += (s.empty() ? "" : ", ") + Connection::quote(columns[i].name);
    }
    return s;
}

struct Copied {
    std::vector<std::uint64_t> hashes;  // of every row sent, sorted
    std::int64_t last_number = 0;       // the largest autonumber sent
};

// Streams the table's rows into the server with COPY.
Copied copy_rows(jet::Table& t, Connection& to, const std::vector<bool>& taken, const ProgressFn& progress) {
    const std::vector<jet::Column>& columns = t.columns();
    Connection::CopyIn copy(to, "COPY " + Connection::quote(t.name()) + " (" + column_list(columns, taken) + ") FROM STDIN", t.name());
    Copied copied;
    Progress p{t.name(), 0, t.def().row_count};
    std::string buf;
    t.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
        bool first = true;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (!taken[i]) continue;
            if (!first) buf += '\t';
            first = false;
            if (!append_copy_value(buf, row[i])) {
                throw Error(ErrorKind::NulInText, "table " + t.name() + ", column " + columns[i].name + ", row " + std::to_string(p.done + 1));
            }
            if ((columns[i].flags & jet::Column::kAutoLong) && std::holds_alternative<std::int64_t>(row[i])) {
                copied.last_number = std::max(copied.last_number, std::get<std::int64_t>(row[i]));
            }
        }
        buf += '\n';
        copied.hashes.push_back(row_hash(row, taken));
        if (buf.size() >= kCopyChunk) {
            copy.write(buf);
            buf.clear();
        }
        if (++p.done % kProgressStep == 0 && progress) progress(p);
        return true;
    });
    copy.write(buf);
    copy.finish();
    p.finished = true;
    if (progress) progress(p);
    std::sort(copied.hashes.begin(), copied.hashes.end());
    return copied;
}

// Reads the table back from the server and compares each row's hash with the
// rows sent: the same rows, or with `append`, the rows sent among those there.
void compare_rows(jet::Table& t, Connection& to, const std::vector<bool>& taken, const std::vector<std::uint64_t>& sent, bool append) {
    std::vector<jet::Column> columns;
    for (std::size_t i = 0; i < t.columns().size(); ++i) {
        if (taken[i]) columns.push_back(t.columns()[i]);
    }
    std::vector<std::uint64_t> there;
    std::vector<jet::Value> row(columns.size());
    to.stream("SELECT " + column_list(t.columns(), taken) + " FROM " + Connection::quote(t.name()), {},
              [&](const Result& r) {
                  for (int i = 0; i < r.columns(); ++i) {
                      const auto at = static_cast<std::size_t>(i);
                      row[at] = r.is_null(0, i) ? jet::Value{} : value_from_text(columns[at], r.text(0, i));
                  }
                  there.push_back(row_hash(row));
                  return true;
              },
              t.name());
    std::sort(there.begin(), there.end());
    const bool same = append ? std::includes(there.begin(), there.end(), sent.begin(), sent.end()) : there == sent;
    if (!same) {
        throw Error(ErrorKind::Mismatch, "table " + t.name() + ": " + std::to_string(sent.size()) + " rows sent, " +
                                             std::to_string(there.size()) + " on the server");
    }
}

}  // namespace

UpsizeReport upsize(jet::Database& from, Connection& to, const UpsizeOptions& options, const ProgressFn& progress) {
    UpsizeReport report;
    report.linked_skipped = linked_tables(from);
    const std::vector<jet::Relationship> relationships = jet::read_relationships(from);
    std::map<std::string, std::vector<KeyColumns>> referenced;
    for (const jet::Relationship& r : relationships) {
        if (r.enforced()) referenced[r.parent].emplace_back(r.parent_columns.begin(), r.parent_columns.end());
    }

    Transaction tx(to);
    to.exec(create_collation_sql());
    std::set<std::string> made, index_names;
    std::vector<std::string> later;  // indexes and keys, made once the rows are in
    for (const std::string& name : from.user_tables()) {
        jet::Table t = from.table(name);
        const bool exists = on_server(to, name);
        if (exists && !options.append) throw Error(ErrorKind::TableExists, name);
        std::vector<bool> taken(t.columns().size(), true);
        if (exists) {
            // The server numbers the rows added to a table of its own.
            for (std::size_t i = 0; i < taken.size(); ++i) taken[i] = !t.columns()[i].autonumber();
        } else {
            to.exec(create_table_sql(name, t.def()), {}, name);
            made.insert(name);
        }
        const Copied copied = copy_rows(t, to, taken, progress);
        compare_rows(t, to, taken, copied.hashes, exists);
        if (!exists) {
            for (const jet::Column& c : t.columns()) {
                if (!(c.flags & jet::Column::kAutoLong)) continue;
                const std::int64_t next = std::max<std::int64_t>(t.def().next_autonumber, copied.last_number) + 1;
                later.push_back("ALTER TABLE " + Connection::quote(name) + " ALTER COLUMN " + Connection::quote(c.name) +
                                " RESTART WITH " + std::to_string(next));
            }
            for (std::string& s : not_null_sql(name, t.def())) later.push_back(std::move(s));
            for (std::string& s : index_sql(name, t.def(), referenced[name], index_names)) later.push_back(std::move(s));
        }
        report.tables.push_back(name);
        report.rows += copied.hashes.size();
    }
    std::map<std::string, std::string> notes;
    std::set<std::string> key_names;  // a foreign key's name need not differ from an index's
    for (const jet::Relationship& r : relationships) {
        if (!made.count(r.child) || !made.count(r.parent)) continue;
        if (r.enforced()) {
            for (std::string& s : foreign_key_sql(r, key_names)) later.push_back(std::move(s));
        } else {
            std::string& note = notes[r.child];
            note += (note.empty() ? "" : "\n") + unenforced_note(r);
        }
    }
    for (const auto& [table, note] : notes) later.push_back("COMMENT ON TABLE " + Connection::quote(table) + " IS " + Connection::literal(note));
    for (const std::string& statement : later) to.exec(statement);
    // So that a role that may not create tables can move rows in; where this
    // role may not make it either, the first move says so.
    to.exec("SAVEPOINT moves_table");
    try {
        make_moves_table(to);
    } catch (const Error& e) {
        if (e.kind() != ErrorKind::PermissionDenied) throw;
        to.exec("ROLLBACK TO SAVEPOINT moves_table");
    }
    tx.commit();
    return report;
}

}  // namespace server
