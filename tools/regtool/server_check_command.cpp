// `regtool check` on a server register: what the file's check would find
// wrong there, as far as a server can hold it (server/check.h), said in the
// run's language.
#include "out.h"
#include "server/check.h"
#include "server/server_error.h"
#include "server_commands.h"
#include "server_output.h"

namespace regtool {

namespace {

std::string sentence(const server::Problem& p, bool russian) {
    using Kind = server::Problem::Kind;
    const std::string table = russian ? "таблица «" + p.table + "»: " : "table " + p.table + ": ";
    switch (p.kind) {
        case Kind::NoFileType:
            return table + (russian ? "у столбца «" + p.name + "» тип " + p.type + ", которого в файле нет"
                                    : "column " + p.name + " is of type " + p.type + ", which a file has no type for");
        case Kind::NumberTaken: {
            const std::string next = std::to_string(p.next), highest = std::to_string(p.highest);
            return table + (russian ? "счётчик «" + p.name + "» даст следующим номер " + next + ", а у строки уже есть номер " + highest +
                                          ": добавляемые строки будут отвергаться, пока он его не минует"
                                    : "AutoNumber " + p.name + " gives " + next + " next, but a row holds " + highest +
                                          " already: rows added will be refused until it passes that");
        }
        case Kind::IndexNotValid:
            return table + (russian ? "индекс «" + p.name + "» недействителен (его построение не завершилось), сервер им не пользуется"
                                    : "index " + p.name + " is not valid (its building did not finish); the server does not use it");
        case Kind::ConstraintNotValidated:
            return table + (russian ? "ограничение «" + p.name + "» не проверено на строках, что были до него (NOT VALID)"
                                    : "constraint " + p.name + " has not been checked against the rows from before it (NOT VALID)");
    }
    return table + p.name;
}

}  // namespace

int server_check_command(const std::vector<std::string>& args) {
    ServerOutput out("check");
    if (args.size() != 2) return out.usage("check takes one argument: DB", "check принимает один аргумент: DB");
    std::vector<server::Problem> problems;
    try {
        server::Connection c = connect_to_register(args[1]);
        problems = server::check_register(c);
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    Out o;
    if (problems.empty()) o.buf() += "OK\n";
    for (const server::Problem& p : problems) o.buf() += sentence(p, out.russian()) + "\n";
    return problems.empty() ? 0 : 1;
}

}  // namespace regtool
