#include "compact_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "jet/compact.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "say.h"
#include "system/process.h"
#include "system/utf8_path.h"

namespace regtool {

namespace {

// The rows mdb-count (of mdbtools, a reader this program did not write) finds
// in a table, or nothing when it is not installed (installed false) or fails.
// It runs with its text in UTF-8 whatever the locale settings say: a locale
// named there but not made on the machine (ru_RU.UTF-8 on a server, say)
// would leave it in ASCII, unable to take a table's Cyrillic name.
std::optional<long long> rows_by_mdbtools(const std::string& db, const std::string& table, bool& installed) {
    sys::Launch launch;
    launch.environment = {"LC_ALL=C.UTF-8"};
    sys::Captured counted;
    try {
        counted = sys::run_captured({"mdb-count", db, table}, launch);
    } catch (const std::system_error&) {
        installed = false;
        return std::nullopt;
    }
    installed = true;
    if (counted.status != 0) return std::nullopt;
    char* end = nullptr;
    const long long n = std::strtoll(counted.out.c_str(), &end, 10);
    if (end == counted.out.c_str()) return std::nullopt;
    return n;
}

// The copy counted by mdbtools, table by table, against the original.
std::vector<std::string> counted_by_mdbtools(jet::Database& original, jet::Database&, const std::string& copy_path) {
    std::vector<std::string> problems;
    bool counted = false, installed = true;
    for (const std::string& table : original.user_tables()) {
        std::optional<long long> theirs = rows_by_mdbtools(copy_path, table, installed);
        if (!installed) break;
        if (!theirs) {
            std::fprintf(stderr, "regtool: %s\n",
                         say("mdb-count (mdbtools) не смог сосчитать записи таблицы " + table + " в копии: ее проверила только эта программа",
                             "mdb-count (mdbtools) could not count the rows of " + table + " in the copy: this program alone checked it")
                             .c_str());
            continue;
        }
        counted = true;
        long long ours = 0;
        original.table(table).scan([&](jet::RowId, const std::vector<jet::Value>&) {
            ++ours;
            return true;
        });
        if (*theirs != ours) {
            problems.push_back(say("mdb-count находит в копии " + std::to_string(*theirs) + " записей таблицы " + table + ", а в оригинале их " +
                                       std::to_string(ours),
                                   "mdb-count finds " + std::to_string(*theirs) + " rows of " + table + " in the copy for " + std::to_string(ours)));
        }
    }
    if (!installed && !counted) {
        std::fprintf(stderr, "regtool: %s\n",
                     say("mdb-count (mdbtools) не установлен: копию проверила только эта программа",
                         "mdb-count (mdbtools) is not installed: the copy was checked by this program alone")
                         .c_str());
    }
    return problems;
}

// The progress line, rewritten in place; ended before any message, so that
// each message has a line of its own.
bool progress_line_open = false;

void show(const jet::CompactProgress& p) {
    std::fprintf(stderr, say("\rсжатие: %s, %zu из %zu записей", "\rcompact: %s, %zu of %zu rows").c_str(), p.table.c_str(), p.rows_done,
                 p.rows_total);
    progress_line_open = p.rows_done != p.rows_total;
    if (!progress_line_open) std::fprintf(stderr, "\n");
}

void end_progress_line() {
    if (progress_line_open) std::fprintf(stderr, "\n");
    progress_line_open = false;
}

// A move cut off beside the original is settled before the copy is begun
// (compact would settle it first too), so that a failure to settle it is
// told apart from one of the copy: it names the original.
void settle_before_copying(jet::Database& from) {
    std::error_code ec;
    const auto there = std::filesystem::symlink_status(sys::path_from_utf8(jet::pending_move_path(from.real_path())), ec);
    if (ec || there.type() == std::filesystem::file_type::not_found) return;
    jet::WriteGroup settled(from);
}

// Whether a failure of compacting into a new file is about that file: the
// original is only read once a move beside it is settled, so a refusal to
// write (a file already there, a folder that may not be written, a full
// disk, the format's size limit) or the engine's own fault concerns the copy.
// The engine's reasons for not compacting, a damaged original and a lock
// held on it concern the original. (A read of the original the disk itself
// refuses is an Io failure too, and names the copy.)
bool about_the_copy(const jet::Error& e) {
    switch (e.kind()) {
        case jet::ErrorKind::Io:
        case jet::ErrorKind::ReadOnly:
        case jet::ErrorKind::Internal:
        case jet::ErrorKind::Replaced: return true;
        case jet::ErrorKind::Unsupported: return e.reason() == jet::Reason::FileTooLarge;
        default: return false;
    }
}

}  // namespace

int compact_command(const std::string& source, const std::string& target, bool replace) {
    jet::Database from(source);
    const std::string backup = from.real_path() + ".bak";
    if (!replace) settle_before_copying(from);
    std::vector<std::string> problems;
    try {
        problems = replace ? jet::compact_in_place(from, backup, counted_by_mdbtools, show)
                           : jet::compact(from, target, counted_by_mdbtools, show);
    } catch (jet::Error& e) {
        end_progress_line();
        if (e.kind() == jet::ErrorKind::Unsupported && e.reason() == jet::Reason::Unspecified) {
            // What the engine does not carry over: said as a refusal to compact, with the engine's account.
            print_error(errors::cannot_compact(source, e.what(), run_language()));
            return 1;
        }
        // Named here for the file the failure is about; the rest name the original.
        if (!replace && about_the_copy(e)) e.about_file(target);
        if (replace && e.kind() == jet::ErrorKind::Io && e.os_error() == EEXIST) e.about_file(backup);
        throw;
    } catch (...) {
        end_progress_line();
        throw;
    }
    if (!problems.empty()) {
        for (const std::string& p : problems) {
            std::fprintf(stderr, "regtool: %s%s\n", say("копия не совпадает с оригиналом: ", "the copy is not faithful: ").c_str(), p.c_str());
        }
        if (replace) {
            std::fprintf(stderr, "regtool: %s\n",
                         say("ничего не заменено; «" + source + "» осталась как была", "nothing was replaced; " + source + " is as it was")
                             .c_str());
        } else {
            std::fprintf(stderr, "regtool: %s\n",
                         say("копия удалена; в «" + target + "» ничего не записано", "the copy was removed; nothing was written to " + target)
                             .c_str());
        }
        return 1;
    }
    if (replace) {
        std::fprintf(stderr, "regtool: %s\n",
                     say("«" + source + "» сжата; оригинал сохранен как «" + backup + "»",
                         source + " compacted; the original is kept as " + backup)
                         .c_str());
    }
    return 0;
}

}  // namespace regtool
