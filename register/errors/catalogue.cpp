#include "errors/catalogue.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "errors/numbers.h"
#include "jet/error.h"
#include "jet/files.h"
#include "system/utf8_path.h"

namespace errors {

namespace {

namespace fs = std::filesystem;

struct Say {
    Language language;
    std::string operator()(std::string ru, std::string en) const { return language == Language::Russian ? ru : en; }
};

// The system's reason behind a disk error, where it tells the user something.
std::string os_reason(int err, Say say) {
    switch (err) {
        case 0: return {};
        case ENOSPC:
#ifdef EDQUOT  // the codes a system lacks (Windows: these three) never come
        case EDQUOT:
#endif
            return say(": на диске не осталось места", ": no space is left on the disk");
        case EACCES:
        case EPERM: return say(": нет прав на этот файл", ": no permission for this file");
        case EROFS: return say(": диск доступен только для чтения", ": the disk is read-only");
        case EIO: return say(": устройство сообщило об ошибке ввода-вывода", ": the device reported an input/output error");
#ifdef ESTALE
        case ESTALE:
#endif
        case ENOTCONN:
#ifdef EHOSTDOWN
        case EHOSTDOWN:
#endif
        case EHOSTUNREACH:
        case ETIMEDOUT: return say(": нет связи с сетевой папкой", ": the network folder cannot be reached");
        case EFBIG: return say(": файл стал слишком большим", ": the file has grown too large");
        case EEXIST: return say(": такой файл уже есть", ": such a file exists already");
        case EMFILE:
        case ENFILE: return say(": открыто слишком много файлов", ": too many files are open");
        default: return say(" (ошибка системы ", " (system error ") + std::to_string(err) + ")";
    }
}

std::string subject_of(const jet::Error& e) { return quote(e.subject()); }

// Why a file that is no Jet 4 database was refused, when it can be told.
std::string not_a_database_reason(const jet::Error& e, Say say) {
    switch (e.kind()) {
        case jet::ErrorKind::Jet3:
            return say(": это база данных Access 97, а открываются базы Access 2000–2003",
                       ": it is an Access 97 database; Access 2000–2003 databases are opened");
        case jet::ErrorKind::Ace:
            return say(": это база данных Access 2007 или новее (.accdb), а открываются базы Access 2000–2003",
                       ": it is an Access 2007 or later database (.accdb); Access 2000–2003 databases are opened");
        case jet::ErrorKind::Encrypted:
            return say(": база данных зашифрована; расшифруйте ее в Access", ": the database is encrypted; decrypt it in Access");
        default: break;
    }
    std::error_code ec;
    const fs::path file = sys::path_from_utf8(e.file());
    const fs::file_status status = fs::status(file, ec);
    if (fs::is_directory(status)) return say(": это папка, а не файл", ": it is a folder, not a file");
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return say(": это не обычный файл (канал или устройство)", ": it is not a regular file (a pipe or a device)");
    }
    if (fs::is_regular_file(status) && fs::file_size(file, ec) == 0 && !ec) return say(": файл пуст", ": the file is empty");
    return say(": файл не является базой данных Access", ": the file is not an Access database");
}

// The sentence on a file beside the database that is not its journal: what lies there, what to do.
std::string stray_journal(const std::string& path, Say say) {
    const std::string journal = quote(shown_file(path) + "-journal");
    return say("рядом с ней лежит файл " + journal +
                   ", который не является ее журналом или поврежден. Если база открывается и читается без ошибок, "
                   "переместите этот файл в другую папку.",
               "the file " + journal +
                   " beside it is not its journal or is damaged. If the database opens and reads without errors, move that "
                   "file to another folder.");
}

// The sentence on a move cut off that could not be settled, after "not saved: ".
std::string pending_move(const jet::Error& e, Say say) {
    const std::string subject = quote(shown_file(e.subject()));
    const std::string record = quote(shown_file(e.file()) + "-move");
    switch (e.reason()) {
        case jet::Reason::MoveRecordUnreadable:
            return say("рядом с ней лежит запись о прерванном переносе записей " + subject + ", которую не удается прочитать" +
                           os_reason(e.os_error(), say) +
                           ", — дайте право читать этот файл всем, кто работает с базой, и повторите действие; читать базу можно.",
                       "the record " + subject + " of a move cut off lies beside it and cannot be read" + os_reason(e.os_error(), say) +
                           "; let everyone who works with the database read that file and try again; the database can be read.");
        case jet::Reason::MoveRecordDamaged:
            return say("запись о прерванном переносе записей " + subject +
                           " рядом с ней повреждена, и неизвестно, не остались ли перенесенные записи в обеих базах, — сверьте "
                           "обе базы, удалите лишние записи, а затем файл " + subject + "; читать базу можно.",
                       "the record " + subject +
                           " of a move cut off beside it is damaged, and the moved rows may be in both databases; compare them, "
                           "delete the extra rows, then the file " + subject + "; the database can be read.");
        case jet::Reason::MoveRecordNotAFile:
            return say("на месте записи о переносе записей рядом с ней лежит " + subject +
                           ", и это не файл, а папка или ссылка, — уберите ее и повторите действие; читать базу можно.",
                       "where the record of a move belongs beside it lies " + subject +
                           ", a folder or a link rather than a file; remove it and try again; the database can be read.");
        case jet::Reason::MoveRecordForeign:
            return say("рядом с ней лежит запись о прерванном переносе " + subject +
                           ", которая относится к другой базе (вероятно, скопирована вместе с этой), — если в этой базе нет "
                           "лишних записей, удалите файл " + subject + "; читать базу можно.",
                       "the record " + subject +
                           " of a move cut off beside it belongs to another database (copied with this one, likely); if this "
                           "database holds no extra rows, delete the file " + subject + "; the database can be read.");
        case jet::Reason::MoveOtherMissing:
            return say("перенос записей между ней и базой " + subject + " был прерван, а база " + subject +
                           " не найдена там, где была, — верните ее на место и повторите действие, а если ее больше нет, "
                           "удалите файл " + record + "; читать базу можно.",
                       "a move of rows between it and the database " + subject + " was cut off, and " + subject +
                           " is not where it was; put it back and try again, or, if it is gone, delete the file " + record +
                           "; the database can be read.");
        case jet::Reason::MoveOtherReplaced:
            return say("перенос записей в базу " + subject +
                           " был прерван, а на ее месте теперь другой файл, в котором перенесенных записей нет, — верните "
                           "прежнюю базу " + subject + " на место и повторите действие; читать базу можно.",
                       "a move of rows into the database " + subject +
                           " was cut off, and another file without the moved rows lies in its place; put the former " + subject +
                           " back and try again; the database can be read.");
        case jet::Reason::MoveOtherRefused:
            return say("сначала нужно завершить прерванный перенос записей между ней и базой " + subject + ", а изменить базу " +
                           subject + " сейчас нельзя, — повторите действие, когда она будет доступна для записи; читать базу можно.",
                       "a move of rows cut off between it and the database " + subject + " must be finished first, and " + subject +
                           " cannot be changed now; try again when it can be written; the database can be read.");
        default:
            return say("рядом с ней лежит запись о незавершенном переносе записей " + record +
                           " — повторите перенос, чтобы завершить его; читать базу можно.",
                       "the record " + record + " of an unfinished move of rows lies beside it; run the move again to finish it; "
                                                "the database can be read.");
    }
}

}  // namespace

std::string quote(std::string_view s) { return "«" + std::string(s) + "»"; }

std::string shown_file(const std::string& path) {
    const std::string name = path.substr(jet::disk::name_start(path));
    return name.empty() ? path : name;
}

int refusal_number(const jet::Error& e) {
    switch (e.reason()) {
        case jet::Reason::Duplicate: return number::kDuplicateKey;
        case jet::Reason::TooLong:
        case jet::Reason::RowTooLarge: return number::kFieldTooSmall;
        case jet::Reason::RelatedRowRequired: return number::kRelatedRowRequired;
        case jet::Reason::RelatedRowsExist: return number::kRelatedRowsExist;
        default: return number::kConversion;
    }
}

std::string refusal(const jet::Error& e, Language language) {
    const Say say{language};
    const std::string subject = subject_of(e);
    switch (e.reason()) {
        case jet::Reason::TooLong:
            return say("значение длиннее, чем допускает поле ", "the value is longer than the column ") + subject +
                   say("", " takes");
        case jet::Reason::WrongType:
            return say("значение не подходит к типу поля ", "the value does not suit the type of the column ") + subject;
        case jet::Reason::OutOfRange: return say("число не помещается в поле ", "the number does not fit the column ") + subject;
        case jet::Reason::Duplicate:
            return say("такое значение уже есть в индексе " + subject + ", а повторы в нем запрещены",
                       "the index " + subject + " holds that value already and takes no repeats");
        case jet::Reason::Required:
            return say("поле " + subject + " не может быть пустым: оно входит в индекс",
                       "the column " + subject + " cannot be empty: an index requires it");
        case jet::Reason::RowTooLarge:
            return say("данные записи не помещаются в строку таблицы", "the row's data do not fit a row of the table");
        case jet::Reason::NumbersUsedUp: return say("в таблице исчерпаны номера записей", "the table's row numbers are used up");
        case jet::Reason::RelatedRowRequired:
            return say("запись должна ссылаться на существующую запись таблицы " + subject + ", а такой записи нет",
                       "the row must name a row of the table " + subject + ", and there is none");
        case jet::Reason::RelatedRowsExist:
            return say("в таблице " + subject + " есть связанные с ней записи", "rows of the table " + subject + " name it");
        default: return say("значение не может быть сохранено", "the value cannot be stored");
    }
}

Message describe(const jet::Error& e, Language language, const std::string& shown) {
    const Say say{language};
    const std::string file = quote(shown.empty() ? shown_file(e.file()) : shown);
    switch (e.kind()) {
        case jet::ErrorKind::NotFound:
            return {number::kFileNotFound, say("Не удается найти файл " + file + ".", "Cannot find the file " + file + ".")};
        case jet::ErrorKind::NotJet:
        case jet::ErrorKind::Jet3:
        case jet::ErrorKind::Ace:
        case jet::ErrorKind::Encrypted:
            return {number::kNotJet4, say("Нераспознаваемый формат базы данных ", "Unrecognised database format of ") + file +
                                          not_a_database_reason(e, say) + "."};
        case jet::ErrorKind::Password:
            return {number::kBadPassword,
                    say("Не удается открыть базу данных " + file +
                            ": она защищена паролем. Снимите пароль в Access и откройте ее снова.",
                        "Cannot open the database " + file + ": it is protected by a password. Remove the password in Access "
                                                             "and open it again.")};
        case jet::ErrorKind::Damaged:
            return {number::kDamaged, say("База данных " + file +
                                              " повреждена. Восстановите ее в Access (сжатие и восстановление) или возьмите "
                                              "резервную копию.",
                                          "The database " + file + " is damaged. Repair it in Access (compact and repair) or take "
                                                                   "a backup copy.")};
        case jet::ErrorKind::Io:
            return {number::kIo, say("Ошибка чтения или записи файла ", "Error reading or writing the file ") + file +
                                     os_reason(e.os_error(), say) + "."};
        case jet::ErrorKind::ReadOnly:
            if (e.reason() == jet::Reason::FolderReadOnly) {
                return {number::kReadOnly, say("Не удается сохранить изменения в базе данных " + file + ": нет права записи в ее папку " +
                                                   quote(e.subject()) + ".",
                                               "Cannot save changes to the database " + file + ": its folder " + quote(e.subject()) +
                                                   " may not be written.")};
            }
            return {number::kReadOnly, say("Не удается сохранить изменения: база данных " + file + " доступна только для чтения.",
                                           "Cannot save changes: the database " + file + " is read-only.")};
        case jet::ErrorKind::NoSuchTable:
            return {number::kNoSuchTable, say("Не удается найти таблицу в базе данных " + file + ".",
                                              "Cannot find the table in the database " + file + ".")};
        case jet::ErrorKind::Unsupported:
            if (e.reason() == jet::Reason::FileTooLarge) {
                return {number::kUnsupported, say("База данных " + file + " достигла наибольшего размера, который допускает ее формат.",
                                                  "The database " + file + " has reached the largest size its format allows.")};
            }
            return {number::kUnsupported,
                    say("Таблицу в базе данных " + file +
                            " нельзя изменить: ее индексы построены в порядке сортировки, который программа не может соблюсти "
                            "точно. Читать ее можно.",
                        "A table of the database " + file +
                            " cannot be changed: its indexes are built in a sort order the program cannot keep exactly. It can "
                            "be read.")};
        case jet::ErrorKind::Constraint:
            if (e.reason() == jet::Reason::RelatedRowRequired) {
                return {number::kRelatedRowRequired,
                        say("Невозможно добавить или изменить запись в базе данных " + file +
                                ", поскольку необходима связанная запись в таблице " + subject_of(e) + ".",
                            "Cannot add or change a row of the database " + file + ": a related row is required in the table " +
                                subject_of(e) + ".")};
            }
            if (e.reason() == jet::Reason::RelatedRowsExist) {
                return {number::kRelatedRowsExist,
                        say("Невозможно удалить или изменить запись в базе данных " + file + ", поскольку таблица " + subject_of(e) +
                                " содержит связанные записи.",
                            "Cannot delete or change a row of the database " + file + ": the table " + subject_of(e) +
                                " holds related rows.")};
            }
            return {refusal_number(e), say("Изменения в базе данных " + file + " не внесены: ",
                                           "Changes to the database " + file + " were not made: ") +
                                           refusal(e, say.language) + "."};
        case jet::ErrorKind::RowDeleted:
            return {number::kRowDeleted, say("Запись удалена: другая программа удалила ее из базы данных " + file + ".",
                                             "The row is deleted: another program deleted it from the database " + file + ".")};
        case jet::ErrorKind::Busy:
            if (e.reason() == jet::Reason::OpenInAccess) {
                const std::string ldb = quote(shown_file(e.subject()));
                return {number::kLocked,
                        say("База данных " + file + " открыта в Access: рядом с ней лежит его файл блокировки " + ldb +
                                ". Изменения не сохранены; читать базу можно. Если Access с этой базой ни у кого не открыт, файл " +
                                ldb + " можно удалить.",
                            "The database " + file + " is open in Access: its lock file " + ldb +
                                " lies beside it. Changes were not saved; the database can be read. If nobody has it open in "
                                "Access, the file " + ldb + " may be deleted.")};
            }
            return {number::kLocked, say("База данных " + file + " сейчас занята другой программой. Повторите действие немного позже.",
                                         "The database " + file + " is in use by another program. Try again a little later.")};
        case jet::ErrorKind::StrayJournal:
            return {number::kStrayJournal, say("Изменения в базе данных " + file + " не сохранены: ",
                                               "Changes to the database " + file + " were not saved: ") +
                                               stray_journal(e.file(), say) + say(" Сама база не тронута.", " The database is untouched.")};
        case jet::ErrorKind::Linked:
            return {number::kReadOnly,
                    say("Изменения в базе данных " + file +
                            " не сохранены: у этого файла несколько имен (жестких ссылок). Сделайте копию файла под одним именем "
                            "и работайте с ней.",
                        "Changes to the database " + file +
                            " were not saved: the file has several names (hard links). Make a copy of it under one name and "
                            "work with that.")};
        case jet::ErrorKind::Replaced:
            return {number::kFileNotFound,
                    say("Изменения не сохранены: файл базы данных " + file +
                            " удален или заменен другим файлом, пока программа с ним работала. Откройте базу заново.",
                        "Changes were not saved: the database file " + file +
                            " was removed or replaced by another file while the program worked with it. Open the database again.")};
        case jet::ErrorKind::PendingMove:
            return {number::kPendingMove, say("Изменения в базе данных " + file + " не сохранены: ",
                                              "Changes to the database " + file + " were not saved: ") +
                                              pending_move(e, say)};
        case jet::ErrorKind::Internal:
            return {number::kInternal,
                    say("Программа не смогла выполнить изменение базы данных " + file +
                            " из-за собственной ошибки. База данных осталась без изменений.",
                        "The program could not carry out a change to the database " + file +
                            " because of a fault of its own. The database is unchanged.")};
    }
    return {number::kIo, say("Ошибка базы данных " + file + ".", "Error in the database " + file + ".")};
}

Message cannot_compact(const std::string& shown, const std::string& why, Language language) {
    const Say say{language};
    return {number::kUnsupported, say("Базу данных " + quote(shown) + " нельзя сжать этой программой, только в Access (",
                                      "The database " + quote(shown) + " cannot be compacted here, only in Access (") +
                                      why + ")."};
}

std::string stray_journal_warning(const std::string& path, Language language) {
    const Say say{language};
    return say("База данных " + quote(shown_file(path)) + " открыта только для чтения: ",
               "The database " + quote(shown_file(path)) + " is open for reading only: ") +
           stray_journal(path, say);
}

}  // namespace errors
