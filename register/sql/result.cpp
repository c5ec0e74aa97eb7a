#include "sql/result.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "jet/error.h"
#include "jet/text.h"
#include "sql/eval.h"

namespace sql {

namespace {

// Rows listed before run() returns when the rest come on a thread: a few
// screens of a grid.
constexpr std::size_t kFirstRows = 512;

jet::Table open_table(jet::Database& db, const Statement& s) {
    try {
        return db.table(s.table);
    } catch (const jet::Error& e) {
        if (e.kind() == jet::ErrorKind::NoSuchTable) no_such_table(s.table, s.table_position);
        throw;
    }
}

}  // namespace

Result Result::run(jet::Database& db, const Statement& s, std::size_t keep_values) {
    Result r(open_table(db, s));
    const std::vector<jet::Column>& columns = r.table_.columns();

    auto qualifier_ok = [&](const std::string& qualifier) { return qualifier.empty() || jet::same_name(qualifier, s.table); };
    auto resolve = [&](const ColumnRef& ref) -> std::size_t {
        std::string written = ref.table.empty() ? ref.name : ref.table + "." + ref.name;
        if (!qualifier_ok(ref.table)) no_such_column(written, ref.position);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (jet::same_name(columns[i].name, ref.name)) return i;
        }
        no_such_column(written, ref.position);
    };

    if (s.all_columns) {
        if (!qualifier_ok(s.all_columns_table)) no_such_column(s.all_columns_table + ".*", s.all_columns_position);
        for (std::size_t i = 0; i < columns.size(); ++i) r.ordinals_.push_back(i);
        r.whole_row_ = true;
    } else {
        r.decode_.assign(columns.size(), false);
        for (const ColumnRef& ref : s.columns) {
            std::size_t i = resolve(ref);
            if (r.decode_[i]) r.repeated_ = true;
            r.decode_[i] = true;
            r.ordinals_.push_back(i);
        }
    }
    for (std::size_t i : r.ordinals_) {
        r.names_.push_back(columns[i].name);
        r.types_.push_back(columns[i].type);
    }

    if (!s.has_where) {
        r.list_all();
        return r;
    }
    Filter filter(s.where, resolve, columns.size(), s.text);
    if (!filter.reads_columns()) {
        // The same for every row: decided once.
        std::vector<jet::Value> none(columns.size());
        if (filter.test(none) == Truth::True) r.list_all();
        return r;
    }
    // Each thread of a large table's scan tests with a copy of its own (a
    // filter keeps working room between rows).
    // A row the first of several conditions joined by AND rejects is passed
    // over before the columns of the others are decoded.
    auto make_test = [&filter] {
        auto own = std::make_shared<Filter>(filter);
        jet::RowTest t;
        t.test = [own](const std::vector<jet::Value>& row) { return own->test(row) == Truth::True; };
        if (own->first_wanted()) {
            t.first_wanted = *own->first_wanted();
            t.first = [own](const std::vector<jet::Value>& row) { return !own->first_rejects(row); };
        }
        return t;
    };
    if (keep_values == 0) {
        r.ids_ = r.table_.select(filter.wanted(), make_test);
    } else {
        // The result's columns are decoded with the condition's, for the rows it takes.
        std::vector<bool> wanted = filter.wanted();
        wanted.resize(columns.size(), false);
        for (std::size_t i : r.ordinals_) wanted[i] = true;
        jet::Table::Selection found = r.table_.select(wanted, make_test, jet::KeptValues{r.ordinals_, keep_values});
        r.ids_ = std::move(found.ids);
        r.kept_ = std::move(found.values);
    }
    r.ids_.shrink_to_fit();
    return r;
}

void Result::list_all() {
    auto listing = std::make_unique<jet::RowListing>(table_, kFirstRows);
    ids_ = listing->first_rows();
    if (listing->ready()) {
        ids_ = listing->all(table_);
        return;
    }
    listing_ = std::move(listing);
}

bool Result::settle(bool wait) const {
    if (!listing_ || (!wait && !listing_->ready())) return false;
    const std::size_t shown = listing_->expected();
    std::vector<jet::RowId> all = listing_->all(table_);
    listing_.reset();
    const bool same = all.size() == shown && all.size() >= ids_.size() && std::equal(ids_.begin(), ids_.end(), all.begin());
    ids_ = std::move(all);
    return !same;
}

std::vector<jet::Value> Result::project(std::optional<std::vector<jet::Value>> values) const {
    if (!values) return std::vector<jet::Value>(ordinals_.size());
    if (whole_row_) return std::move(*values);
    std::vector<jet::Value> out;
    out.reserve(ordinals_.size());
    for (std::size_t i : ordinals_) {
        if (repeated_) out.push_back((*values)[i]);
        else out.push_back(std::move((*values)[i]));
    }
    return out;
}

std::vector<jet::Value> Result::row(std::size_t i) const {
    if (i >= ids_.size()) settle(true);
    if (i >= ids_.size()) {
        throw std::out_of_range("result row " + std::to_string(i) + " of " + std::to_string(ids_.size()));
    }
    if (i < kept_.size() && !kept_[i].empty()) return std::move(kept_[i]);
    return project(table_.read(ids_[i], decode_));
}

std::vector<std::vector<jet::Value>> Result::rows(std::size_t first, std::size_t count) const {
    if (listing_ && (first > ids_.size() || count > ids_.size() - first)) settle(true);
    if (first > ids_.size()) {
        throw std::out_of_range("result rows from " + std::to_string(first) + " of " + std::to_string(ids_.size()));
    }
    std::size_t n = std::min(count, ids_.size() - first);
    std::vector<std::vector<jet::Value>> out;
    out.reserve(n);
    jet::Table::ReadHold hold(table_);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = first + k;
        if (i < kept_.size() && !kept_[i].empty()) out.push_back(std::move(kept_[i]));
        else out.push_back(project(table_.read(ids_[i], decode_)));
    }
    return out;
}

}  // namespace sql
