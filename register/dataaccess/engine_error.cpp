#include "dataaccess/engine_error.h"

#include <QFileInfo>
#include <cerrno>

#include "jet/error.h"

namespace dataaccess {

namespace {

// The system's reason behind a disk error, where it tells the user something.
QString os_reason(int err) {
    switch (err) {
        case 0: return {};
        case ENOSPC:
        case EDQUOT: return QStringLiteral(": на диске не осталось места");
        case EACCES:
        case EPERM: return QStringLiteral(": нет прав на этот файл");
        case EROFS: return QStringLiteral(": диск доступен только для чтения");
        case EIO: return QStringLiteral(": устройство сообщило об ошибке ввода-вывода");
        case ESTALE:
        case ENOTCONN:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ETIMEDOUT: return QStringLiteral(": нет связи с сетевой папкой");
        case EFBIG: return QStringLiteral(": файл стал слишком большим");
        case EEXIST: return QStringLiteral(": такой файл уже есть");
        case EMFILE:
        case ENFILE: return QStringLiteral(": открыто слишком много файлов");
        default: return QStringLiteral(" (ошибка системы %1)").arg(err);
    }
}

QString subject_of(const jet::Error& e) { return quoted(QString::fromStdString(e.subject())); }

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
    if (info.exists() && !info.isFile()) return QStringLiteral(": это не обычный файл (канал или устройство)");
    if (info.isFile() && info.size() == 0) return QStringLiteral(": файл пуст");
    return QStringLiteral(": файл не является базой данных Access");
}

// The sentence on a file beside the database that is not its journal: what lies there, what to do.
QString stray_journal(const QString& path) {
    return QStringLiteral("рядом с ней лежит файл %1, который не является ее журналом или поврежден. Если база открывается и "
                          "читается без ошибок, переместите этот файл в другую папку.")
        .arg(quoted(shown_file(path) + QStringLiteral("-journal")));
}

// The sentence on a move cut off that could not be settled, after "not saved: ".
QString pending_move(const jet::Error& e, const QString& path) {
    const QString subject = quoted(shown_file(QString::fromStdString(e.subject())));
    const QString record = quoted(shown_file(path) + QStringLiteral("-move"));
    switch (e.reason()) {
        case jet::Reason::MoveRecordUnreadable:
            return QStringLiteral("рядом с ней лежит запись о прерванном переносе записей %1, которую не удается прочитать%2, — дайте "
                                  "право читать этот файл всем, кто работает с базой, и повторите действие; читать базу можно.")
                .arg(subject, os_reason(e.os_error()));
        case jet::Reason::MoveRecordDamaged:
            return QStringLiteral("запись о прерванном переносе записей %1 рядом с ней повреждена, и неизвестно, не остались ли "
                                  "перенесенные записи в обеих базах, — сверьте обе базы, удалите лишние записи, а затем файл %1; "
                                  "читать базу можно.")
                .arg(subject);
        case jet::Reason::MoveRecordNotAFile:
            return QStringLiteral("на месте записи о переносе записей рядом с ней лежит %1, и это не файл, а папка или ссылка, — "
                                  "уберите ее и повторите действие; читать базу можно.")
                .arg(subject);
        case jet::Reason::MoveRecordForeign:
            return QStringLiteral("рядом с ней лежит запись о прерванном переносе %1, которая относится к другой базе (вероятно, "
                                  "скопирована вместе с этой), — если в этой базе нет лишних записей, удалите файл %1; читать базу "
                                  "можно.")
                .arg(subject);
        case jet::Reason::MoveOtherMissing:
            return QStringLiteral("перенос записей между ней и базой %1 был прерван, а база %1 не найдена там, где была, — верните "
                                  "ее на место и повторите действие, а если ее больше нет, удалите файл %2; читать базу можно.")
                .arg(subject, record);
        case jet::Reason::MoveOtherReplaced:
            return QStringLiteral("перенос записей в базу %1 был прерван, а на ее месте теперь другой файл, в котором перенесенных "
                                  "записей нет, — верните прежнюю базу %1 на место и повторите действие; читать базу можно.")
                .arg(subject);
        case jet::Reason::MoveOtherRefused:
            return QStringLiteral("сначала нужно завершить прерванный перенос записей между ней и базой %1, а изменить базу %1 "
                                  "сейчас нельзя, — повторите действие, когда она будет доступна для записи; читать базу можно.")
                .arg(subject);
        default:
            return QStringLiteral("рядом с ней лежит запись о незавершенном переносе записей %1 — повторите перенос, чтобы "
                                  "завершить его; читать базу можно.")
                .arg(record);
    }
}

}  // namespace

QString shown_file(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString refusal(const jet::Error& e) {
    switch (e.reason()) {
        case jet::Reason::TooLong: return QStringLiteral("значение длиннее, чем допускает поле %1").arg(subject_of(e));
        case jet::Reason::WrongType: return QStringLiteral("значение не подходит к типу поля %1").arg(subject_of(e));
        case jet::Reason::OutOfRange: return QStringLiteral("число не помещается в поле %1").arg(subject_of(e));
        case jet::Reason::Duplicate:
            return QStringLiteral("такое значение уже есть в индексе %1, а повторы в нем запрещены").arg(subject_of(e));
        case jet::Reason::Required: return QStringLiteral("поле %1 не может быть пустым: оно входит в индекс").arg(subject_of(e));
        case jet::Reason::RowTooLarge: return QStringLiteral("данные записи не помещаются в строку таблицы");
        case jet::Reason::NumbersUsedUp: return QStringLiteral("в таблице исчерпаны номера записей");
        case jet::Reason::RelatedRowRequired:
            return QStringLiteral("запись должна ссылаться на существующую запись таблицы %1, а такой записи нет").arg(subject_of(e));
        case jet::Reason::RelatedRowsExist:
            return QStringLiteral("в таблице %1 есть связанные с ней записи").arg(subject_of(e));
        default: return QStringLiteral("значение не может быть сохранено");
    }
}

DataError engine_error(const jet::Error& e, const QString& path, const QString& shown) {
    const QString file = quoted(shown.isEmpty() ? shown_file(path) : shown);
    switch (e.kind()) {
        case jet::ErrorKind::NotFound: return DataError(errc::kFileNotFound, QStringLiteral("Не удается найти файл %1.").arg(file));
        case jet::ErrorKind::NotJet:
        case jet::ErrorKind::Jet3:
        case jet::ErrorKind::Ace:
        case jet::ErrorKind::Encrypted:
            return DataError(errc::kNotJet4,
                             QStringLiteral("Нераспознаваемый формат базы данных %1%2.").arg(file, not_a_database_reason(e, path)));
        case jet::ErrorKind::Password:
            return DataError(errc::kBadPassword, QStringLiteral("Не удается открыть базу данных %1: она защищена паролем. "
                                                                "Снимите пароль в Access и откройте ее снова.")
                                                     .arg(file));
        case jet::ErrorKind::Damaged:
            return DataError(errc::kDamaged, QStringLiteral("База данных %1 повреждена. Восстановите ее в Access (сжатие и "
                                                            "восстановление) или возьмите резервную копию.")
                                                 .arg(file));
        case jet::ErrorKind::Io:
            return DataError(errc::kIo, QStringLiteral("Ошибка чтения или записи файла %1%2.").arg(file, os_reason(e.os_error())));
        case jet::ErrorKind::ReadOnly:
            if (e.reason() == jet::Reason::FolderReadOnly) {
                return DataError(errc::kReadOnly, QStringLiteral("Не удается сохранить изменения в базе данных %1: нет права записи "
                                                                 "в ее папку %2.")
                                                      .arg(file, quoted(QString::fromStdString(e.subject()))));
            }
            return DataError(errc::kReadOnly,
                             QStringLiteral("Не удается сохранить изменения: база данных %1 доступна только для чтения.").arg(file));
        case jet::ErrorKind::NoSuchTable:
            return DataError(errc::kNoSuchTable, QStringLiteral("Не удается найти таблицу в базе данных %1.").arg(file));
        case jet::ErrorKind::Unsupported:
            if (e.reason() == jet::Reason::FileTooLarge) {
                return DataError(errc::kUnsupported,
                                 QStringLiteral("База данных %1 достигла наибольшего размера, который допускает ее формат.").arg(file));
            }
            return DataError(errc::kUnsupported, QStringLiteral("Таблицу в базе данных %1 нельзя изменить: ее индексы построены в "
                                                                "порядке сортировки, который программа не может соблюсти точно. "
                                                                "Читать ее можно.")
                                                     .arg(file));
        case jet::ErrorKind::Constraint:
            if (e.reason() == jet::Reason::RelatedRowRequired) {
                return DataError(errc::kRelatedRowRequired, QStringLiteral("Невозможно добавить или изменить запись в базе данных %1, "
                                                                           "поскольку необходима связанная запись в таблице %2.")
                                                                .arg(file, subject_of(e)));
            }
            if (e.reason() == jet::Reason::RelatedRowsExist) {
                return DataError(errc::kRelatedRowsExist, QStringLiteral("Невозможно удалить или изменить запись в базе данных %1, "
                                                                         "поскольку таблица %2 содержит связанные записи.")
                                                              .arg(file, subject_of(e)));
            }
            return DataError(e.reason() == jet::Reason::Duplicate ? errc::kDuplicateKey : errc::kTypeMismatch,
                             QStringLiteral("Изменения в базе данных %1 не внесены: %2.").arg(file, refusal(e)));
        case jet::ErrorKind::RowDeleted:
            return DataError(errc::kRowDeleted, QStringLiteral("Запись удалена: другая программа удалила ее из базы данных %1.").arg(file));
        case jet::ErrorKind::Busy:
            if (e.reason() == jet::Reason::OpenInAccess) {
                const QString ldb = quoted(shown_file(QString::fromStdString(e.subject())));
                return DataError(errc::kLocked, QStringLiteral("База данных %1 открыта в Access: рядом с ней лежит его файл блокировки "
                                                               "%2. Изменения не сохранены; читать базу можно. Если Access с этой "
                                                               "базой ни у кого не открыт, файл %2 можно удалить.")
                                                    .arg(file, ldb));
            }
            return DataError(errc::kLocked,
                             QStringLiteral("База данных %1 сейчас занята другой программой. Повторите действие немного позже.").arg(file));
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
        case jet::ErrorKind::PendingMove:
            return DataError(errc::kPendingMove, QStringLiteral("Изменения в базе данных %1 не сохранены: %2").arg(file, pending_move(e, path)));
        case jet::ErrorKind::Internal:
            return DataError(errc::kInternal, QStringLiteral("Программа не смогла выполнить изменение базы данных %1 из-за "
                                                             "собственной ошибки. База данных осталась без изменений.")
                                                  .arg(file));
    }
    return DataError(errc::kIo, QStringLiteral("Ошибка базы данных %1.").arg(file));
}

QString stray_journal_warning(const QString& path) {
    return QStringLiteral("База данных %1 открыта только для чтения: %2").arg(quoted(shown_file(path)), stray_journal(path));
}

}  // namespace dataaccess
