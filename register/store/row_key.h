// A row's key in a store, held by a keyset cursor between calls: where a
// file keeps the row (jet::RowId), or for a row on a server the values of
// its table's primary key as the server writes them (the row's place on the
// server for a table without one).
#pragma once

#include <compare>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "jet/row_id.h"

namespace store {

class RowKey {
public:
    RowKey() = default;
    explicit RowKey(jet::RowId id) : key_(id) {}
    explicit RowKey(std::vector<std::string> values) : key_(std::move(values)) {}

    // The file's id of the row, or null for a server's key (and the other way round).
    const jet::RowId* row_id() const { return std::get_if<jet::RowId>(&key_); }
    const std::vector<std::string>* values() const { return std::get_if<std::vector<std::string>>(&key_); }

    friend bool operator==(const RowKey&, const RowKey&) = default;
    friend auto operator<=>(const RowKey&, const RowKey&) = default;

private:
    std::variant<jet::RowId, std::vector<std::string>> key_;
};

}  // namespace store
