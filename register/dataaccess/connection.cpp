#include "dataaccess/connection.h"

#include <QFile>
#include <QFileInfo>
#include <QStringView>

#include <algorithm>
#include <exception>
#include <optional>

#include "dataaccess/error.h"
#include "dataaccess/recordset.h"
#include "jet/database.h"
#include "jet/error.h"

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

// The engine's own words, for the failures a user cannot mend alone.
QString detail(const jet::Error& e) { return QStringLiteral(" (") + QString::fromUtf8(e.what()) + QStringLiteral(")"); }

// Why a file that is no Jet 4 database was refused, when it can be told.
QString not_a_database_reason(const jet::Error& e, const QString& path) {
    switch (e.kind()) {
        case jet::ErrorKind::Jet3: return QStringLiteral(": это база данных Access 97, а открываются базы Access 2000–2003");
        case jet::ErrorKind::Ace:
            return QStringLiteral(": это база данных Access 2007 или новее (.accdb), а открываются базы Access 2000–2003");
        case jet::ErrorKind::Encrypted: return QStringLiteral(": база данных зашифрована; расшифруйте ее в Access");
        default: break;
    }
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral(": это папка, а не файл");
    if (info.isFile() && info.size() == 0) return QStringLiteral(": файл пуст");
    return QStringLiteral(": файл не является базой данных Access");
}

}  // namespace

QString data_source(const QString& connection_string) {
    const ConnectionParts parts = parse(connection_string);
    if (!parts.provider) {
        throw DataError(errc::kProvider,
                        QStringLiteral("В строке подключения не указан поставщик данных (Provider); нужен %1.").arg(kJet4Provider));
    }
    if (parts.provider->compare(kJet4Provider, Qt::CaseInsensitive) != 0) {
        throw DataError(errc::kProvider, QStringLiteral("Поставщик данных %1 не поддерживается: базы данных открываются только через %2.")
                                             .arg(quoted(*parts.provider), kJet4Provider));
    }
    if (!parts.data_source || parts.data_source->isEmpty()) {
        throw DataError(errc::kProvider, QStringLiteral("В строке подключения не указан файл базы данных (Data Source)."));
    }
    return *parts.data_source;
}

namespace {

// The sentence on a file beside the database that is not its journal: what lies there, what to do.
QString stray_journal(const QString& path) {
    return QStringLiteral("рядом с ней лежит файл %1, который не является ее журналом или поврежден. Если база открывается и "
                          "читается без ошибок, переместите этот файл в другую папку.")
        .arg(quoted(path + QStringLiteral("-journal")));
}

}  // namespace

QString warning_for(const jet::Database& db, const QString& path) {
    if (db.journal_warning().empty()) return {};
    return QStringLiteral("База данных %1 открыта только для чтения: %2").arg(quoted(path), stray_journal(path));
}

DataError Connection::error_for(const jet::Error& e, const QString& path) {
    const QString file = quoted(path);
    switch (e.kind()) {
        case jet::ErrorKind::NotFound:
            return DataError(errc::kFileNotFound, QStringLiteral("Не удается найти файл %1.").arg(file));
        case jet::ErrorKind::NotJet:
        case jet::ErrorKind::Jet3:
        case jet::ErrorKind::Ace:
        case jet::ErrorKind::Encrypted:
            return DataError(errc::kNotJet4,
                             QStringLiteral("Нераспознаваемый формат базы данных %1%2.").arg(file, not_a_database_reason(e, path)));
        case jet::ErrorKind::Password:
            return DataError(errc::kBadPassword,
                             QStringLiteral("Не удается открыть базу данных %1: она защищена паролем. "
                                            "Снимите пароль в Access и откройте ее снова.")
                                 .arg(file));
        case jet::ErrorKind::Damaged:
            return DataError(errc::kDamaged, QStringLiteral("База данных %1 повреждена%2.").arg(file, detail(e)));
        case jet::ErrorKind::Io:
            return DataError(errc::kIo, QStringLiteral("Ошибка чтения или записи файла %1%2.").arg(file, detail(e)));
        case jet::ErrorKind::ReadOnly:
            return DataError(errc::kReadOnly, QStringLiteral("Не удается сохранить изменения: база данных %1 доступна только для "
                                                             "чтения (нет права записи в файл или в его папку).")
                                                  .arg(file));
        case jet::ErrorKind::NoSuchTable:
            return DataError(errc::kNoSuchTable, QStringLiteral("Не удается найти таблицу в базе данных %1%2.").arg(file, detail(e)));
        case jet::ErrorKind::Unsupported:
            return DataError(errc::kUnsupported,
                             QStringLiteral("Операция не поддерживается для базы данных %1%2.").arg(file, detail(e)));
        case jet::ErrorKind::Constraint:
            return DataError(errc::kTypeMismatch, QStringLiteral("Значение не может быть сохранено в базе данных %1%2.").arg(file, detail(e)));
        case jet::ErrorKind::Busy:
            return DataError(errc::kLocked, QStringLiteral("База данных %1 сейчас занята другой программой. Повторите действие немного позже.")
                                                .arg(file));
        case jet::ErrorKind::StrayJournal:
            return DataError(errc::kStrayJournal, QStringLiteral("Изменения в базе данных %1 не сохранены: %2 Сама база не тронута.")
                                                      .arg(file, stray_journal(path)));
        case jet::ErrorKind::Linked:
            return DataError(errc::kReadOnly, QStringLiteral("Изменения в базе данных %1 не сохранены: у этого файла несколько имен "
                                                             "(жестких ссылок). Сделайте копию файла под одним именем и работайте с ней.")
                                                  .arg(file));
        case jet::ErrorKind::Replaced:
            return DataError(errc::kFileNotFound, QStringLiteral("Изменения не сохранены: файл базы данных %1 удален или заменен другим "
                                                                 "файлом, пока программа с ним работала. Откройте базу заново.")
                                                      .arg(file));
        case jet::ErrorKind::Internal:
            return DataError(errc::kInternal, QStringLiteral("Программа не смогла выполнить изменение базы данных %1 из-за "
                                                             "собственной ошибки%2. База данных осталась без изменений.")
                                                  .arg(file, detail(e)));
    }
    return DataError(errc::kIo, QStringLiteral("Ошибка базы данных %1%2.").arg(file, detail(e)));
}

Connection::Connection() = default;

Connection::~Connection() {
    const std::vector<Recordset*> open = std::move(recordsets_);
    for (Recordset* rs : open) {
        rs->close_now(false);
        rs->connection_ = nullptr;  // this connection is going away
    }
}

void Connection::Open(const QString& connection_string, const QString& /*user*/, const QString& /*password*/, int /*options*/) {
    if (db_) throw DataError(errc::kOpen, QStringLiteral("Операция не допускается, если объект открыт."));
    const QString path = data_source(connection_string);
    path_ = path;
    try {
        db_ = std::make_unique<jet::Database>(QFile::encodeName(path).toStdString(), lock_wait_);
    } catch (const jet::Error& e) {
        throw error_for(e, path);
    }
}

int Connection::State() const { return db_ ? 1 : 0; }

QString Connection::Warning() const { return db_ ? warning_for(*db_, path_) : QString(); }

void Connection::set_lock_wait(std::chrono::milliseconds wait) {
    lock_wait_ = wait;
    if (db_) db_->set_lock_wait(wait);
}

void Connection::Close() {
    if (!db_) throw DataError(errc::kClosed, QStringLiteral("Операция не допускается, если объект закрыт."));
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
    db_.reset();
    if (first_failure) std::rethrow_exception(first_failure);
}

jet::Database& Connection::database() {
    if (!db_) throw DataError(errc::kClosed, QStringLiteral("Операция не допускается, если объект закрыт."));
    return *db_;
}

void Connection::attach(Recordset* rs) { recordsets_.push_back(rs); }

void Connection::detach(Recordset* rs) { recordsets_.erase(std::remove(recordsets_.begin(), recordsets_.end(), rs), recordsets_.end()); }

}  // namespace dataaccess
