#include "moves_table.h"

#include "values.h"

#include <charconv>

namespace server {

namespace {

std::string id_text(std::uint64_t id) { return std::to_string(static_cast<std::int64_t>(id)); }

std::uint64_t id_of(std::string_view text) { return static_cast<std::uint64_t>(catalog_number(text)); }

// "{1,2,3}" as the server writes an array of numbers.
std::vector<std::int64_t> numbers_of(std::string_view text) {
    std::vector<std::int64_t> out;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && !(text[at] == '-' || (text[at] >= '0' && text[at] <= '9'))) ++at;
        if (at >= text.size()) break;
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), v);
        if (ec != std::errc()) break;
        out.push_back(v);
        at = static_cast<std::size_t>(end - text.data());
    }
    return out;
}

template <typename T>
std::string array_of(const std::vector<T>& values) {
    std::string s = "{";
    for (const T& v : values) s += (s.size() > 1 ? "," : "") + std::to_string(static_cast<std::int64_t>(v));
    return s + "}";
}

std::string table() { return Connection::quote(kMovesSchema) + ".groups"; }

}  // namespace

void make_moves_table(Connection& c) {
    c.exec("CREATE SCHEMA IF NOT EXISTS " + Connection::quote(kMovesSchema), {}, kMovesTable);
    c.exec("CREATE TABLE IF NOT EXISTS " + table() +
               " (id bigint NOT NULL, role \"char\" NOT NULL, other text NOT NULL, device numeric(20), inode numeric(20), "
               "numbers bigint[], hashes bigint[], made timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (id, role))",
           {}, kMovesTable);
    c.exec("COMMENT ON TABLE " + table() + " IS " +
               Connection::literal("Groups of rows on their way between this register and another (the register's move)"),
           {}, kMovesTable);
}

bool has_moves_table(Connection& c) {
    return !c.exec("SELECT to_regclass($1)", {table()}, kMovesTable).is_null(0, 0);
}

void note_leaving(Connection& c, const LeavingGroup& g) {
    std::vector<std::int64_t> hashes(g.hashes.begin(), g.hashes.end());
    c.exec("INSERT INTO " + table() + " (id, role, other, device, inode, numbers, hashes) VALUES ($1, 'S', $2, $3, $4, $5, $6)",
           {id_text(g.id), g.destination, std::to_string(g.device), std::to_string(g.inode), array_of(g.numbers),
            array_of(hashes)},
           kMovesTable);
}

void note_arrived(Connection& c, std::uint64_t id, const std::string& source) {
    c.exec("INSERT INTO " + table() + " (id, role, other) VALUES ($1, 'D', $2)", {id_text(id), source}, kMovesTable);
}

bool has_arrived(Connection& c, std::uint64_t id) {
    return c.exec("SELECT 1 FROM " + table() + " WHERE id = $1 AND role = 'D'", {id_text(id)}, kMovesTable).rows() > 0;
}

std::optional<LeavingGroup> leaving(Connection& c, std::uint64_t id) {
    const Result r = c.exec("SELECT other, device::text, inode::text, numbers::text, hashes::text FROM " + table() +
                                " WHERE id = $1 AND role = 'S'",
                            {id_text(id)}, kMovesTable);
    if (r.rows() == 0) return std::nullopt;
    LeavingGroup g;
    g.id = id;
    g.destination = std::string(r.text(0, 0));
    g.device = id_of(r.text(0, 1));
    g.inode = id_of(r.text(0, 2));
    g.numbers = numbers_of(r.text(0, 3));
    for (std::int64_t h : numbers_of(r.text(0, 4))) g.hashes.push_back(static_cast<std::uint64_t>(h));
    return g;
}

std::vector<std::uint64_t> leaving_groups(Connection& c) {
    const Result r = c.exec("SELECT id FROM " + table() + " WHERE role = 'S' ORDER BY made", {}, kMovesTable);
    std::vector<std::uint64_t> ids;
    for (int i = 0; i < r.rows(); ++i) ids.push_back(id_of(r.text(i, 0)));
    return ids;
}

std::vector<std::pair<std::uint64_t, std::string>> arrived_groups(Connection& c) {
    const Result r = c.exec("SELECT id, other FROM " + table() + " WHERE role = 'D' ORDER BY made", {}, kMovesTable);
    std::vector<std::pair<std::uint64_t, std::string>> out;
    for (int i = 0; i < r.rows(); ++i) out.emplace_back(id_of(r.text(i, 0)), std::string(r.text(i, 1)));
    return out;
}

void forget(Connection& c, std::uint64_t id, char role) {
    c.exec("DELETE FROM " + table() + " WHERE id = $1 AND role = $2", {id_text(id), std::string(1, role)}, kMovesTable);
}

void lock_group(Connection& c, std::uint64_t id) { c.exec("SELECT pg_advisory_xact_lock($1::bigint)", {id_text(id)}, kMovesTable); }

bool try_lock_group(Connection& c, std::uint64_t id) {
    return c.exec("SELECT pg_try_advisory_xact_lock($1::bigint)", {id_text(id)}, kMovesTable).text(0, 0) == "t";
}

}  // namespace server
