#include "errors/server.h"

#include <array>
#include <string_view>

#include "errors/numbers.h"

namespace errors {
namespace {

struct Sentence {
    ServerFault kind;
    std::string_view ru;
    std::string_view en;
};

// "{}" stands for the subject.
constexpr std::array kSentences{
    Sentence{ServerFault::BadLink, "Файл ссылки на сервер {} не читается или не содержит строки подключения",
             "The server link {} cannot be read or holds no connection string"},
    Sentence{ServerFault::PasswordInLink,
             "Ссылка на сервер {} содержит пароль; пароль хранится в ~/.pgpass или в файле служб, не в ссылке",
             "The server link {} holds a password; passwords belong in ~/.pgpass or a service file, never in the link"},
    Sentence{ServerFault::Unreachable, "Сервер базы данных {} недоступен", "The database server {} cannot be reached"},
    Sentence{ServerFault::AuthenticationRefused,
             "Сервер {} не принял проверку подлинности: пароля нет в ~/.pgpass или файле служб, или он неверен",
             "The server {} refused the authentication: no password in ~/.pgpass or a service file, or a wrong one"},
    Sentence{ServerFault::ConnectionRefused,
             "Сервер {} отказал в подключении (нет такой базы данных или роли, или нет права подключаться)",
             "The server {} refused the connection (no such database or role, or no right to connect)"},
    Sentence{ServerFault::PermissionDenied, "Нет прав на {}", "Permission denied on {}"},
    Sentence{ServerFault::ConnectionLost, "Связь с сервером потеряна ({}); незавершённые изменения не сохранены",
             "The connection to the server was lost ({}); unfinished changes were not kept"},
    Sentence{ServerFault::TableMissing, "На сервере нет таблицы {}", "The server has no table {}"},
    Sentence{ServerFault::ColumnMissing, "На сервере нет столбца {}", "The server has no column {}"},
    Sentence{ServerFault::TableExists, "На сервере уже есть таблица {} (добавить строки к ней: --append)",
             "The server already holds a table {} (to add the rows to it: --append)"},
    Sentence{ServerFault::NulInText, "Текст содержит символ U+0000, который сервер не хранит: {}; на сервере ничего не изменено",
             "Text holds U+0000, which the server cannot store: {}; nothing was left on the server"},
    Sentence{ServerFault::NameTooLong, "Имя длиннее 63 байт, которые допускает сервер: {}",
             "A name longer than the server's 63 bytes: {}"},
    Sentence{ServerFault::ValueRefused, "Сервер не принял значение: {}", "The server refused a value: {}"},
    Sentence{ServerFault::UnsupportedType, "Тип столбца не имеет соответствия в файле Access: {}",
             "A column type with no counterpart in an Access file: {}"},
    Sentence{ServerFault::NoPrimaryKey, "У таблицы {} на сервере нет первичного ключа: её строки можно только читать",
             "The server's table {} has no primary key: its rows can only be read"},
    Sentence{ServerFault::NotAFile, "Регистр {} находится на сервере, а не в файле", "The register {} is on a server, not in a file"},
    Sentence{ServerFault::Mismatch, "Строки после переноса не совпадают: {}", "The rows differ after the copy: {}"},
    Sentence{ServerFault::ValueDoesNotFit, "Значение на сервере не подходит к типу столбца (таблицу изменили в обход регистра): {}",
             "A value on the server does not fit its column's type (the table was changed behind the register's back): {}"},
    Sentence{ServerFault::RowChanged,
             "Запись таблицы {} изменил другой пользователь после того, как она была прочитана; изменение не сохранено",
             "Another user changed the row of the table {} after it was read; the change was not saved"},
    Sentence{ServerFault::TlsFailed,
             "Сервер {} не установил защищённое соединение (TLS), которого требует ссылка: сервер его не поддерживает, или его "
             "сертификат не прошёл проверку",
             "The server {} did not set up the secure connection (TLS) the link asks for: it offers none, or its certificate failed the check"},
    Sentence{ServerFault::Server, "Ошибка сервера: {}", "Server error: {}"},
};

}  // namespace

std::string server_sentence(ServerFault kind, const std::string& subject, Language language) {
    for (const Sentence& s : kSentences) {
        if (s.kind != kind) continue;
        std::string text(language == Language::Russian ? s.ru : s.en);
        if (const auto at = text.find("{}"); at != std::string::npos) text.replace(at, 2, subject);
        return text;
    }
    return subject;
}

int server_number(ServerFault kind) {
    switch (kind) {
        case ServerFault::BadLink:
        case ServerFault::PasswordInLink:
        case ServerFault::Unreachable:
        case ServerFault::AuthenticationRefused:
        case ServerFault::ConnectionRefused:
        case ServerFault::TlsFailed: return number::kServerConnectionFailed;
        case ServerFault::RowChanged: return number::kWriteConflict;
        case ServerFault::PermissionDenied: return number::kNoPermission;
        case ServerFault::TableMissing: return number::kNoSuchTable;
        case ServerFault::ColumnMissing: return number::kItemNotFound;
        case ServerFault::TableExists: return number::kTableExists;
        case ServerFault::NameTooLong: return number::kBadName;
        case ServerFault::UnsupportedType:
        case ServerFault::NotAFile: return number::kUnsupported;
        case ServerFault::NoPrimaryKey: return number::kReadOnly;
        case ServerFault::ConnectionLost:
        case ServerFault::NulInText:
        case ServerFault::ValueRefused:
        case ServerFault::Mismatch:
        case ServerFault::ValueDoesNotFit:
        case ServerFault::Server: return number::kServerCallFailed;
    }
    return number::kServerCallFailed;
}

}  // namespace errors
