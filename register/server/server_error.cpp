#include "server_error.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace server {
namespace {

struct Sentence {
    ErrorKind kind;
    std::string_view ru;
    std::string_view en;
};

// "{}" stands for the subject.
constexpr std::array kSentences{
    Sentence{ErrorKind::BadLink, "Файл ссылки на сервер {} не читается или не содержит строки подключения",
             "The server link {} cannot be read or holds no connection string"},
    Sentence{ErrorKind::PasswordInLink,
             "Ссылка на сервер {} содержит пароль; пароль хранится в ~/.pgpass или в файле служб, не в ссылке",
             "The server link {} holds a password; passwords belong in ~/.pgpass or a service file, never in the link"},
    Sentence{ErrorKind::Unreachable, "Сервер базы данных {} недоступен", "The database server {} cannot be reached"},
    Sentence{ErrorKind::AuthenticationRefused,
             "Сервер {} не принял проверку подлинности: пароля нет в ~/.pgpass или файле служб, или он неверен",
             "The server {} refused the authentication: no password in ~/.pgpass or a service file, or a wrong one"},
    Sentence{ErrorKind::ConnectionRefused,
             "Сервер {} отказал в подключении (нет такой базы данных или роли, или нет права подключаться)",
             "The server {} refused the connection (no such database or role, or no right to connect)"},
    Sentence{ErrorKind::PermissionDenied, "Нет прав на {}", "Permission denied on {}"},
    Sentence{ErrorKind::ConnectionLost, "Связь с сервером потеряна ({}); незавершённые изменения не сохранены",
             "The connection to the server was lost ({}); unfinished changes were not kept"},
    Sentence{ErrorKind::TableMissing, "На сервере нет таблицы {}", "The server has no table {}"},
    Sentence{ErrorKind::ColumnMissing, "На сервере нет столбца {}", "The server has no column {}"},
    Sentence{ErrorKind::TableExists, "На сервере уже есть таблица {} (добавить строки к ней: --append)",
             "The server already holds a table {} (to add the rows to it: --append)"},
    Sentence{ErrorKind::NulInText, "Текст содержит символ U+0000, который сервер не хранит: {}; на сервере ничего не изменено",
             "Text holds U+0000, which the server cannot store: {}; nothing was left on the server"},
    Sentence{ErrorKind::NameTooLong, "Имя длиннее 63 байт, которые допускает сервер: {}",
             "A name longer than the server's 63 bytes: {}"},
    Sentence{ErrorKind::ValueRefused, "Сервер не принял значение: {}", "The server refused a value: {}"},
    Sentence{ErrorKind::UnsupportedType, "Тип столбца не имеет соответствия в файле Access: {}",
             "A column type with no counterpart in an Access file: {}"},
    Sentence{ErrorKind::Mismatch, "Строки после переноса не совпадают: {}", "The rows differ after the copy: {}"},
    Sentence{ErrorKind::Server, "Ошибка сервера: {}", "Server error: {}"},
};

bool names_russian(const char* value) { return value && std::string_view(value).starts_with("ru"); }

}  // namespace

std::string message(ErrorKind kind, const std::string& subject, bool russian) {
    for (const Sentence& s : kSentences) {
        if (s.kind != kind) continue;
        std::string text(russian ? s.ru : s.en);
        if (const auto at = text.find("{}"); at != std::string::npos) text.replace(at, 2, subject);
        return text;
    }
    return subject;
}

bool russian_locale() {
    // LANGUAGE is a list ("ru:en"); the first of the others that is set decides.
    if (const char* language = std::getenv("LANGUAGE"); language && *language) return names_russian(language);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(name); v && *v) return names_russian(v);
    }
    return false;
}

Error::Error(ErrorKind kind, std::string subject, std::string detail, std::string sqlstate)
    : std::runtime_error(message(kind, subject, false)),
      kind_(kind),
      subject_(std::move(subject)),
      detail_(std::move(detail)),
      sqlstate_(std::move(sqlstate)) {
    while (!detail_.empty() && (detail_.back() == '\n' || detail_.back() == ' ')) detail_.pop_back();
}

std::string Error::describe(bool russian) const {
    std::string text = message(kind_, subject_, russian);
    if (!detail_.empty()) text += (russian ? " (сервер: " : " (server: ") + detail_ + ")";
    return text;
}

ErrorKind kind_of_sqlstate(const std::string& s) {
    if (s.size() != 5) return ErrorKind::Server;
    const std::string_view cls = std::string_view(s).substr(0, 2);
    if (cls == "28") return ErrorKind::AuthenticationRefused;
    if (s == "42501") return ErrorKind::PermissionDenied;
    if (s == "42P01") return ErrorKind::TableMissing;
    if (s == "42703") return ErrorKind::ColumnMissing;
    if (s == "42P07") return ErrorKind::TableExists;
    if (s == "42622") return ErrorKind::NameTooLong;
    if (cls == "08" || s == "57P01" || s == "57P02" || s == "57P03") return ErrorKind::ConnectionLost;
    if (s == "3D000") return ErrorKind::ConnectionRefused;
    if (cls == "22" || cls == "23") return ErrorKind::ValueRefused;
    return ErrorKind::Server;
}

}  // namespace server
