#include "dataaccess/recordset.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QMetaType>
#include <QRegularExpression>
#include <QTime>
#include <QUuid>

#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "dataaccess/convert.h"
#include "dataaccess/engine_error.h"
#include "dataaccess/error.h"
#include "dataaccess/qt_text.h"
#include "dataaccess/store_error.h"
#include "errors/access.h"
#include "errors/query.h"
#include "jet/error.h"
#include "jet/value.h"
#include "store/store.h"

namespace dataaccess {

namespace {

// Keys listed before Open returns when the rest of a large table's come later.
constexpr std::size_t kFirstKeys = 64;

DataError closed_error() { return data_error(errors::describe(errors::AccessFault::Closed)); }

DataError no_current_record() { return data_error(errors::describe(errors::AccessFault::NoCurrentRecord)); }

DataError item_not_found(int ordinal, int count) {
    return data_error(errors::describe(errors::AccessFault::NoSuchOrdinal, {std::to_string(ordinal), std::to_string(count)}));
}

DataError row_deleted(const QString& table) {
    return data_error(errors::describe(errors::AccessFault::RowDeletedFromTable, {utf8(table)}));
}

// "SELECT * FROM table" (any case; the name plain or in brackets; a closing ";").
std::optional<QString> table_of(const QString& sql) {
    static const QRegularExpression statement(QStringLiteral(R"(^\s*SELECT\s*\*\s*FROM(?:\s*\[([^\[\]]+)\]|\s+(\w+))\s*;?\s*$)"),
                                              QRegularExpression::CaseInsensitiveOption |
                                                  QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch m = statement.match(sql);
    if (!m.hasMatch()) return std::nullopt;
    return m.hasCaptured(1) ? m.captured(1) : m.captured(2);
}

}  // namespace

// ---------------------------------------------------------------------------

struct Recordset::Impl {
    enum class Pending { None, Edit, New };

    Impl(Connection* c, store::Store& s, std::unique_ptr<store::Table> t, bool refuse_changes)
        : connection(c), register_store(s), table(std::move(t)), read_only(refuse_changes) {
        for (const jet::Column& col : table->columns()) names.push_back(QString::fromStdString(col.name));
    }

    Connection* connection;  // the connection this recordset is registered with
    store::Store& register_store;
    std::unique_ptr<store::Table> table;
    bool read_only;
    std::vector<QString> names;

    // The keyset: the keys of the rows present at Open (and rows added
    // since), in the table's order. A large table's keys come later (on a
    // thread, for a file): until they are whole, keys holds the first ones
    // and live the count the store gave.
    std::vector<store::RowKey> keys;
    std::unique_ptr<store::Keyset> listing;  // the rest of keys on its way
    std::vector<bool> deleted;  // deleted through this recordset
    long live = 0;
    std::ptrdiff_t pos = -1;  // -1 before the first row, keys.size() after the last

    // While a new row is pending, pos stays where AddNew found it.
    Pending pending = Pending::None;

    // The current row as read (with the values put into it), or the new row.
    bool loaded = false;
    bool gone = false;  // another program deleted it
    std::vector<jet::Value> raw;
    std::vector<jet::Value> read_raw;  // the row as read, for an edit to be checked against
    std::vector<QVariant> values;
    std::vector<bool> changed;

    QString path() const { return QString::fromStdString(register_store.name()); }
    QString table_name() const { return QString::fromStdString(table->name()); }
    std::ptrdiff_t listed() const { return static_cast<std::ptrdiff_t>(keys.size()); }
    std::ptrdiff_t size() {
        complete();
        return listed();
    }

    // Takes the whole keyset, waiting for it when need be.
    void complete() {
        if (!listing) return;
        std::unique_ptr<store::Keyset> l = std::move(listing);
        std::vector<store::RowKey> all;
        try {
            all = guarded(path(), [&] { return l->all(); });
        } catch (...) {
            listing = std::move(l);
            throw;
        }
        l.reset();
        const std::size_t n = keys.size();
        if (all.size() >= n && std::equal(keys.begin(), keys.end(), all.begin())) {
            keys.insert(keys.end(), all.begin() + static_cast<std::ptrdiff_t>(n), all.end());
            deleted.resize(keys.size(), false);
        } else {
            // Another program changed the table between the first keys and the
            // listing: the keyset is the listing's, the current row kept.
            std::set<store::RowKey> dropped;
            for (std::size_t i = 0; i < n; ++i) {
                if (deleted[i]) dropped.insert(keys[i]);
            }
            const bool had_row = on_key();
            const store::RowKey current = had_row ? keys[static_cast<std::size_t>(pos)] : store::RowKey{};
            keys = std::move(all);
            deleted.assign(keys.size(), false);
            for (std::size_t i = 0; i < keys.size(); ++i) deleted[i] = dropped.count(keys[i]) != 0;
            if (had_row) {
                auto it = std::find(keys.begin(), keys.end(), current);
                pos = it == keys.end() ? listed() : it - keys.begin();
            } else if (pos >= 0) {
                pos = listed();
            }
        }
        live = static_cast<long>(std::count(deleted.begin(), deleted.end(), false));
    }
    const std::vector<jet::Column>& columns() const { return table->columns(); }
    int column_count() const { return static_cast<int>(columns().size()); }

    // A position within the keys listed so far needs no more of them.
    bool on_key() const { return pos >= 0 && pos < listed(); }
    bool bof() const { return pending != Pending::New && (pos < 0 || (live == 0 && !on_key())); }
    bool eof() { return pending != Pending::New && !on_key() && (pos >= size() || live == 0); }

    std::ptrdiff_t next_live(std::ptrdiff_t p) {
        for (std::ptrdiff_t q = p + 1;; ++q) {
            if (q >= listed()) complete();
            if (q >= listed()) return listed();
            if (!deleted[static_cast<std::size_t>(q)]) return q;
        }
    }
    std::ptrdiff_t previous_live(std::ptrdiff_t p) const {
        for (std::ptrdiff_t q = p - 1; q >= 0; --q) {
            if (!deleted[static_cast<std::size_t>(q)]) return q;
        }
        return -1;
    }

    void forget_row() {
        loaded = false;
        gone = false;
        raw.clear();
        read_raw.clear();
        values.clear();
        changed.clear();
    }

    void check_ordinal(int ordinal) const {
        if (ordinal < 0 || ordinal >= column_count()) throw item_not_found(ordinal, column_count());
    }

    void check_writable() const {
        if (read_only) {
            throw data_error(errors::describe(errors::AccessFault::ReadOnlyRecordset));
        }
        guarded(path(), [&] { table->check_changeable(); });
    }

    // The current row's values, read from the store when first needed.
    void load() {
        if (pending == Pending::New) return;
        if (!on_key() || deleted[static_cast<std::size_t>(pos)]) throw no_current_record();
        if (!loaded) {
            std::optional<store::Row> row = guarded(path(), [&] { return table->read(keys[static_cast<std::size_t>(pos)]); });
            loaded = true;
            if (!row) {
                gone = true;
            } else {
                raw = std::move(*row);
                raw.resize(columns().size(), jet::Null{});
                read_raw = raw;
                values.clear();
                for (const jet::Value& v : raw) values.push_back(to_variant(v));
                changed.assign(raw.size(), false);
            }
        }
        if (gone) throw row_deleted(table_name());
    }

    void set(int ordinal, jet::Value v) {
        const auto i = static_cast<std::size_t>(ordinal);
        values[i] = to_variant(v);
        raw[i] = std::move(v);
        changed[i] = true;
    }

    // Checks that the current row (or new row) may take a value in this column.
    void prepare_put(int ordinal) {
        check_writable();
        load();
        const jet::Column& c = columns()[static_cast<std::size_t>(ordinal)];
        if (pending != Pending::New && c.autonumber()) {
            throw data_error(errors::describe(errors::AccessFault::NotUpdatable, {utf8(names[static_cast<std::size_t>(ordinal)])}));
        }
    }

    void put(int ordinal, const QVariant& v) {
        check_ordinal(ordinal);
        prepare_put(ordinal);
        jet::Value value = to_jet(columns()[static_cast<std::size_t>(ordinal)], v);
        set(ordinal, std::move(value));
        if (pending == Pending::None) pending = Pending::Edit;
    }

    void put_raw(int ordinal, jet::Value v) {
        prepare_put(ordinal);
        set(ordinal, std::move(v));
        if (pending == Pending::None) pending = Pending::Edit;
    }

    void start_new_row() {
        pending = Pending::New;
        forget_row();
        for (const jet::Column& c : columns()) {
            raw.push_back(empty_value(c));
            values.push_back(to_variant(raw.back()));
        }
        changed.assign(raw.size(), false);
        loaded = true;
    }

    // One change, made by the store at once (a file's in its own write
    // group). A refusal is the catalogue's sentence, but for a row deleted
    // under this recordset.
    template <typename F>
    auto write(F&& change) -> decltype(change()) {
        complete();  // the listing must not see a change this recordset also lists
        return guarded(path(), [&] {
            try {
                return change();
            } catch (const jet::Error& e) {
                if (e.kind() == jet::ErrorKind::RowDeleted) throw row_deleted(table_name());
                throw;
            }
        });
    }

    // Stores a pending change. When it is refused the change is dropped,
    // and a refused new row leaves the position where AddNew found it.
    void store() {
        if (pending == Pending::None) return;
        const Pending kind = pending;
        try {
            if (kind == Pending::New) {
                const store::RowKey key = write([&] { return table->insert(raw); });
                keys.push_back(key);
                deleted.push_back(false);
                ++live;
                pos = size() - 1;
            } else {
                // The columns put into go over the row as it is now.
                const store::RowKey key = keys[static_cast<std::size_t>(pos)];
                store::Changes changes, as_read;
                for (std::size_t i = 0; i < changed.size(); ++i) {
                    if (!changed[i]) continue;
                    changes.emplace_back(i, raw[i]);
                    as_read.emplace_back(i, read_raw[i]);
                }
                const std::optional<store::RowKey> now = write([&] { return table->update(key, changes, as_read); });
                if (!now) throw row_deleted(table_name());
                // A row whose primary key was changed is found by its new one.
                if (on_key() && keys[static_cast<std::size_t>(pos)] == key) keys[static_cast<std::size_t>(pos)] = *now;
            }
        } catch (...) {
            pending = Pending::None;
            forget_row();
            throw;
        }
        pending = Pending::None;
        forget_row();
    }
};

Recordset::Recordset() = default;

Recordset::~Recordset() { close_now(false); }

Recordset::Impl& Recordset::open_impl() const {
    if (!open_ || !d_) throw closed_error();
    return *d_;
}

void Recordset::Open(int cursor_type, int lock_type, int /*options*/) {
    if (open_) throw data_error(errors::describe(errors::AccessFault::Open));
    if (cursor_type != -1) cursor_type_ = cursor_type;
    if (lock_type != -1) lock_type_ = lock_type;
    if (!connection_ || connection_->State() == 0) throw closed_error();
    const std::optional<QString> name = table_of(source_);
    if (!name) {
        throw data_error(errors::describe(errors::AccessFault::UnsupportedStatement, {utf8(source_.trimmed())}));
    }
    store::Store& s = connection_->store();
    const QString path = QString::fromStdString(s.name());
    std::unique_ptr<Impl> d;
    guarded(path, [&] {
        try {
            d = std::make_unique<Impl>(connection_, s, s.table(name->toStdString()), lock_type_ == 1);
            std::unique_ptr<store::Keyset> listing = d->table->keys(kFirstKeys);
            d->keys = listing->first();
            if (listing->ready()) {
                d->keys = listing->all();
            } else {
                d->listing = std::move(listing);
            }
        } catch (const jet::Error& e) {
            if (e.kind() != jet::ErrorKind::NoSuchTable) throw;
            const std::string table = utf8(*name);
            throw data_error({errors::query_number(errors::QueryFault::NoSuchTable),
                              errors::query_text(errors::QueryFault::NoSuchTable, {}, 0, table, errors::Language::Russian)});
        }
    });
    d->deleted.assign(d->keys.size(), false);
    d->live = static_cast<long>(d->listing ? std::max(d->listing->expected(), d->keys.size()) : d->keys.size());
    d->pos = d->keys.empty() ? -1 : 0;
    connection_->attach(this);
    d_ = std::move(d);
    open_ = true;
}

void Recordset::close_now(bool store) {
    if (!open_) return;
    std::exception_ptr failure;
    if (store) {
        try {
            d_->store();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (d_->connection) d_->connection->detach(this);
    d_.reset();
    open_ = false;
    if (failure) std::rethrow_exception(failure);
}

void Recordset::Close() {
    if (!open_) throw closed_error();
    close_now(true);
}

long Recordset::RecordCount() const { return open_impl().live; }

bool Recordset::Bof() const { return open_impl().bof(); }

bool Recordset::Eof() const { return open_impl().eof(); }

void Recordset::MoveFirst() {
    Impl& d = open_impl();
    d.store();
    if (d.live == 0) throw no_current_record();
    d.pos = d.next_live(-1);
    d.forget_row();
}

void Recordset::MoveLast() {
    Impl& d = open_impl();
    d.store();
    if (d.live == 0) throw no_current_record();
    d.pos = d.previous_live(d.size());
    d.forget_row();
}

void Recordset::MoveNext() {
    Impl& d = open_impl();
    d.store();
    if (d.eof()) throw no_current_record();
    d.pos = d.next_live(d.pos);
    d.forget_row();
}

void Recordset::MovePrevious() {
    Impl& d = open_impl();
    d.store();
    if (d.bof()) throw no_current_record();
    d.pos = d.previous_live(d.pos);
    d.forget_row();
}

void Recordset::AddNew() {
    Impl& d = open_impl();
    d.check_writable();
    d.store();
    d.start_new_row();
}

void Recordset::Update() { open_impl().store(); }

void Recordset::Delete(int affect_records) {
    Impl& d = open_impl();
    d.check_writable();
    if (affect_records != 1) {
        throw data_error(errors::describe(errors::AccessFault::DeleteCurrentOnly));
    }
    if (d.pending == Impl::Pending::New) {  // the new row was never stored: it is simply dropped
        d.pending = Impl::Pending::None;
        d.forget_row();
        return;
    }
    if (!d.on_key() || d.deleted[static_cast<std::size_t>(d.pos)]) throw no_current_record();
    d.pending = Impl::Pending::None;  // the edit of a row being deleted
    d.forget_row();
    const store::RowKey key = d.keys[static_cast<std::size_t>(d.pos)];
    const bool found = d.write([&] { return d.table->remove(key); });
    // Gone either way: moves pass over it from now on.
    d.deleted[static_cast<std::size_t>(d.pos)] = true;
    --d.live;
    if (!found) throw row_deleted(d.table_name());
}

Fields& Recordset::fields() {
    open_impl();
    return fields_;
}

const std::vector<QVariant>& Recordset::current() {
    Impl& d = open_impl();
    d.load();
    return d.values;
}

void Recordset::put(int ordinal, const QVariant& v) { open_impl().put(ordinal, v); }

const QString& Recordset::column_name(int ordinal) const {
    Impl& d = open_impl();
    d.check_ordinal(ordinal);
    return d.names[static_cast<std::size_t>(ordinal)];
}

int Recordset::column_count() const { return open_impl().column_count(); }

long Recordset::actual_size(int ordinal) {
    Impl& d = open_impl();
    d.check_ordinal(ordinal);
    d.load();
    return stored_size(d.raw[static_cast<std::size_t>(ordinal)], d.columns()[static_cast<std::size_t>(ordinal)].type);
}

void Recordset::copy_value(int ordinal, Recordset& from, int from_ordinal) {
    Impl& d = open_impl();
    Impl& s = from.open_impl();
    d.check_ordinal(ordinal);
    s.check_ordinal(from_ordinal);
    s.load();
    const jet::Column& to = d.columns()[static_cast<std::size_t>(ordinal)];
    const jet::Column& of = s.columns()[static_cast<std::size_t>(from_ordinal)];
    // Values with a length go through the checks; the others of one type are
    // copied exactly (Currency and Decimal would lose digits as a double).
    const bool same = to.type == of.type && to.type != jet::ColumnType::Text && to.type != jet::ColumnType::Binary &&
                      (to.type != jet::ColumnType::Decimal || (to.scale == of.scale && to.precision == of.precision));
    // Copied out first: from may be this very recordset.
    if (same) {
        jet::Value value = s.raw[static_cast<std::size_t>(from_ordinal)];
        d.put_raw(ordinal, std::move(value));
    } else {
        const QVariant value = s.values[static_cast<std::size_t>(from_ordinal)];
        d.put(ordinal, value);
    }
}

}  // namespace dataaccess
