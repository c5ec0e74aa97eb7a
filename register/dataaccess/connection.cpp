#include "dataaccess/connection.h"

#include <QFile>
#include <QFileInfo>
#include <QStringView>

#include <algorithm>
#include <exception>
#include <optional>

#include "dataaccess/error.h"
#include "dataaccess/qt_text.h"
#include "dataaccess/recordset.h"
#include "dataaccess/store_error.h"
#include "errors/access.h"
#include "jet/database.h"
#include "jet/error.h"
#include "store/jet_store.h"

namespace dataaccess {

namespace {

const QString kJet4Provider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

// Keys that end the data source when they follow a ";". Those spelt with "="
// may have spaces before it; "Jet OLEDB:" starts a family of keys.
const QLatin1String kKeysAfterPath[] = {
    QLatin1String("persist security info"), QLatin1String("user id"),  QLatin1String("mode"),
    QLatin1String("provider"),              QLatin1String("password"),
};
const QLatin1String kJetKeyFamily("jet oledb:");

qsizetype skip_spaces(QStringView s, qsizetype i) {
    while (i < s.size() && s[i].isSpace()) ++i;
    return i;
}

// Whether a known key begins at i (the character after a ";").
bool key_begins_at(QStringView s, qsizetype i) {
    i = skip_spaces(s, i);
    QStringView rest = s.mid(i);
    if (rest.startsWith(kJetKeyFamily, Qt::CaseInsensitive)) return true;
    for (QLatin1String key : kKeysAfterPath) {
        if (!rest.startsWith(key, Qt::CaseInsensitive)) continue;
        qsizetype after = skip_spaces(rest, key.size());
        if (after < rest.size() && rest[after] == u'=') return true;
    }
    return false;
}

struct ConnectionParts {
    std::optional<QString> provider;
    std::optional<QString> data_source;
};

// The string as "key=value" pairs split at ";". The data source's value runs
// on over ";" until a known key follows, since the programs put the path in
// as it stands.
ConnectionParts parse(const QString& cs) {
    ConnectionParts parts;
    const QStringView s(cs);
    qsizetype i = 0;
    while (i < s.size()) {
        qsizetype semicolon = s.indexOf(u';', i);
        qsizetype segment_end = semicolon < 0 ? s.size() : semicolon;
        qsizetype equals = s.indexOf(u'=', i);
        if (equals < 0 || equals > segment_end) {  // no "key=" here: passed over
            i = segment_end + 1;
            continue;
        }
        const QString key = s.mid(i, equals - i).trimmed().toString().toLower();
        const qsizetype value_begin = equals + 1;
        qsizetype value_end = segment_end;
        if (key == QLatin1String("data source")) {
            value_end = s.size();
            for (qsizetype k = s.indexOf(u';', value_begin); k >= 0; k = s.indexOf(u';', k + 1)) {
                if (key_begins_at(s, k + 1)) {
                    value_end = k;
                    break;
                }
            }
            // A ";" closing the whole string separates, as after any other value.
            if (value_end == s.size() && value_end > value_begin && s[value_end - 1] == u';') --value_end;
            parts.data_source = s.mid(value_begin, value_end - value_begin).toString();
        } else if (key == QLatin1String("provider")) {
            parts.provider = s.mid(value_begin, value_end - value_begin).trimmed().toString();
        }
        i = value_end + 1;
    }
    return parts;
}

}  // namespace

QString data_source(const QString& connection_string) {
    const ConnectionParts parts = parse(connection_string);
    if (!parts.provider) {
        throw data_error(errors::describe(errors::AccessFault::NoProvider, {utf8(kJet4Provider)}));
    }
    if (parts.provider->compare(kJet4Provider, Qt::CaseInsensitive) != 0) {
        throw data_error(errors::describe(errors::AccessFault::OtherProvider, {utf8(*parts.provider), utf8(kJet4Provider)}));
    }
    if (!parts.data_source || parts.data_source->isEmpty()) {
        throw data_error(errors::describe(errors::AccessFault::NoDataSource));
    }
    return *parts.data_source;
}

QString warning_for(const jet::Database& db, const QString& path) {
    return db.journal_warning().empty() ? QString() : stray_journal_warning(path);
}

DataError Connection::error_for(const jet::Error& e, const QString& path) { return engine_error(e, path); }

Connection::Connection() = default;

Connection::~Connection() {
    const std::vector<Recordset*> open = std::move(recordsets_);
    for (Recordset* rs : open) {
        rs->close_now(false);
        rs->connection_ = nullptr;  // this connection is going away
    }
}

void Connection::Open(const QString& connection_string, const QString& /*user*/, const QString& /*password*/, int /*options*/) {
    if (store_) throw data_error(errors::describe(errors::AccessFault::Open));
    const QString path = data_source(connection_string);
    path_ = path;
    store_ = guarded(path, [&] { return store::open_store(QFile::encodeName(path).toStdString(), lock_wait_); });
}

int Connection::State() const { return store_ ? 1 : 0; }

QString Connection::Warning() const {
    return store_ ? QString::fromStdString(store_->warning(errors::Language::Russian)) : QString();
}

QString Connection::folder() const {
    if (!store_) throw data_error(errors::describe(errors::AccessFault::Closed));
    return qt_text(store_->folder());
}

void Connection::set_lock_wait(std::chrono::milliseconds wait) {
    lock_wait_ = wait;
    if (store_) store_->set_lock_wait(wait);
}

void Connection::Close() {
    if (!store_) throw data_error(errors::describe(errors::AccessFault::Closed));
    // Every recordset ends closed before the database goes, whatever fails.
    std::exception_ptr first_failure;
    const std::vector<Recordset*> open = std::move(recordsets_);
    recordsets_.clear();
    for (Recordset* rs : open) {
        try {
            rs->close_now(true);
        } catch (...) {
            if (!first_failure) first_failure = std::current_exception();
        }
    }
    store_.reset();
    if (first_failure) std::rethrow_exception(first_failure);
}

store::Store& Connection::store() {
    if (!store_) throw data_error(errors::describe(errors::AccessFault::Closed));
    return *store_;
}

jet::Database& Connection::database() {
    auto* file = dynamic_cast<store::JetStore*>(&store());
    if (!file) throw server_error(server::Error(server::ErrorKind::NotAFile, utf8(path_)));
    return file->database();
}

void Connection::attach(Recordset* rs) { recordsets_.push_back(rs); }

void Connection::detach(Recordset* rs) { recordsets_.erase(std::remove(recordsets_.begin(), recordsets_.end(), rs), recordsets_.end()); }

}  // namespace dataaccess
