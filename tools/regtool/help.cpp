#include "help.h"

#include <array>

#include "server_commands.h"

namespace regtool {
namespace {

struct Page {
    std::string_view name;
    std::string_view synopsis;  // the arguments after the command's name
    std::string_view summary;   // one line for the overview
    std::string_view details;   // the rest of the command's page
};

constexpr std::array kPages{
    Page{"tables", "DB", "list the user tables, one a line",
         "Prints the name of every user table of DB, one a line, in the order of the\n"
         "database's catalog. System tables (MSys...) are left out.\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): its tables in the order upsize made them.\n"},
    Page{"schema", "DB TABLE", "columns and indexes of a table",
         "Prints, separated by tabs:\n"
         "  table   NAME  rows N\n"
         "  column  ORDINAL  NAME  TYPE  SIZE  autonumber|-     one line a column\n"
         "  index   NAME  primary|foreign|index  FLAGS  COLUMNS  one line an index\n"
         "SIZE is in characters for Text, in bytes otherwise. FLAGS is unique or\n"
         "non-unique, then ignore-nulls and required when set. COLUMNS lists the\n"
         "index's columns, each with asc or desc.\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): its types are shown as the file types upsize keeps them as, its\n"
         "foreign keys as foreign indexes on both sides (the side a key refers to\n"
         "under the key's name).\n"},
    Page{"export", "DB TABLE --jsonl|--csv", "every row of a table as JSON lines or CSV",
         "Prints every row of TABLE in storage order.\n"
         "  --jsonl  one JSON object a line, keyed by column name in table order.\n"
         "           Null is null, Yes/No is true/false, numbers are numbers\n"
         "           (Currency and Decimal exactly), dates are ISO 8601 text\n"
         "           (2024-05-01T13:45:00), GUIDs {...} text, binary values hex text.\n"
         "  --csv    RFC 4180: a header line of column names, then one line a row;\n"
         "           Null is an empty field, an empty text a quoted empty field.\n"
         "The output of --jsonl is what `insert` reads.\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): its rows come in the order of their number (the primary key),\n"
         "each value written as the file it was upsized from has it.\n"},
    Page{"check", "DB", "integrity check of the whole file",
         "Reads every page the file's maps, catalog, tables, long values and index\n"
         "trees name and checks that they agree. Prints OK and exits 0, or prints\n"
         "one problem a line and exits 1 (where the locale settings name Russian,\n"
         "after a line in Russian that introduces them).\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): then it checks what can go wrong there, each problem said in the\n"
         "run's language: a column of a type no file has, an AutoNumber whose next\n"
         "number a row holds already, an index the server does not use (its\n"
         "building failed), a foreign key or check made NOT VALID.\n"},
    Page{"query", "DB STATEMENT", "a SELECT statement's rows as JSON lines",
         "Runs STATEMENT, a SELECT of the kind the register's browser sends:\n"
         "  SELECT * | col, ... FROM table [WHERE condition]\n"
         "with =, <>, <, <=, >, >=, LIKE (Jet's wildcards % _ [..] [!..]),\n"
         "IS [NOT] NULL, AND, OR, NOT and parentheses. Rows are printed as by\n"
         "export --jsonl. A statement the engine refuses is reported with its Jet\n"
         "error number (3075 syntax, 3078 table, 3265 column, 3464 type mismatch).\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): the same rows and errors as on the file it was upsized from, in\n"
         "the order of their number.\n"
         "Example:\n"
         "  regtool query reg.mdb \"SELECT * FROM ЗУРТ WHERE имя LIKE '%анн%'\"\n"},
    Page{"create", "DB", "a new, empty database",
         "Writes a new Access 2000-2003 (Jet 4) database with its system tables and\n"
         "no user table. DB must not exist yet.\n"},
    Page{"create-register", "DB", "the empty register table ЗУРТ",
         "Adds the empty register table ЗУРТ, with its columns, primary key and\n"
         "indexes, to DB; DB is created first when it does not exist. A database\n"
         "that already holds ЗУРТ is refused.\n"},
    Page{"insert", "DB TABLE", "rows from standard input, JSON lines",
         "Reads JSON objects, one a line, from standard input and stores each as a\n"
         "row of TABLE, in groups of 50,000 rows, each on disk before the next\n"
         "begins. Keys are column names (letter case does not count); a column\n"
         "left out is Null, and an autonumber column left out gets its next value.\n"
         "Values take the forms export --jsonl writes, and also numbers in text for\n"
         "Currency and Decimal, 0 or 1 for Yes/No, a date without a time, GUIDs\n"
         "without braces and \"base64:...\" for binary. Blank lines are skipped.\n"
         "A line that cannot be stored stops the run with its line number; the rows\n"
         "before it are kept.\n"
         "Example:\n"
         "  regtool export old.mdb ЗУРТ --jsonl | regtool insert new.mdb ЗУРТ\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize): there the whole input is one transaction, so a line that cannot\n"
         "be stored leaves nothing of the run.\n"},
    Page{"delete", "DB TABLE N...", "delete rows by the number in their first column",
         "Deletes, in one group, every row of TABLE whose first column holds one of\n"
         "the whole numbers N. Numbers no row holds are named on standard error and\n"
         "the exit status is 1; the rows that were found are deleted all the same.\n"
         "DB may be a server register (a .pgreg link or a postgresql:// URI, as for\n"
         "upsize).\n"},
    Page{"move", "SRC DST [--group N]", "move every row of ЗУРТ from SRC into DST",
         "Moves every row of ЗУРТ in SRC into ЗУРТ in DST, as the importer does.\n"
         "Columns are matched by position; the first column (the number) is left\n"
         "to DST's autonumber. Rows go in groups of N (default 10,000): a group is\n"
         "on disk in DST before it is deleted from SRC, so a run cut short loses\n"
         "nothing. Meanwhile a record of the group lies beside both files\n"
         "(FILE-move); whatever next writes either file finishes that group first,\n"
         "or is refused while it cannot (the record unreadable, damaged, or the\n"
         "other file not where it was). Programs waiting for either file go\n"
         "between two groups.\n"
         "Refused before anything moves: the same file twice, a file that cannot\n"
         "be written, a DST column at a position SRC lacks, and a SRC column past\n"
         "DST's last that holds a value in any row.\n"
         "Either may be a server register (a .pgreg link or a postgresql:// URI, as\n"
         "for upsize). Each group is then one transaction on each server, noted in\n"
         "the server's table register_moves.groups as it goes; a group cut off on\n"
         "its way is finished by the next move out of or into that register, and\n"
         "by any regtool command on it, before anything else.\n"},
    Page{"compact", "SRC DST | SRC --replace", "write a register anew, without its free space",
         "Writes SRC anew into DST (which must not exist), as Access's Compact does:\n"
         "only the rows that live, in their order and with their numbers, every\n"
         "index built again, none of the free space deletes left. The copy is then\n"
         "checked against SRC, row by row, by this program and by mdb-count of\n"
         "mdbtools where it is installed; a copy that differs is removed.\n"
         "The copy is made under a hidden temporary name beside DST and takes DST's\n"
         "name only once checked and synced, so a compact cut short leaves no DST;\n"
         "the next compact in that folder removes what a dead one left.\n"
         "With --replace the copy takes SRC's place once checked, with SRC's owner,\n"
         "group and mode (refused when they cannot be kept), and the original is\n"
         "kept as SRC.bak (never over an existing one); SRC stays locked meanwhile,\n"
         "and a move cut off beside it is finished first.\n"
         "Refused, with nothing written: files holding queries, forms, reports,\n"
         "modules, links or relationships, which only Access carries over. Column\n"
         "captions and other properties Access keeps for its own windows are not\n"
         "carried over. Progress goes to standard error.\n"},
    Page{"upsize", "SRC TARGET [--append]", "copy a register onto a PostgreSQL server", kUpsizeDetails},
    Page{"downsize", "TARGET DST", "copy a server register into a new file", kDownsizeDetails},
    Page{"demo", "DIR", "write a demo register with photos",
         "Writes DIR/demo.mdb, a register of about fifty invented persons, and their\n"
         "drawn photos (BMP, JPG and PNG) beside it, some in DIR/foto. One photo\n"
         "the register names is missing on purpose. DIR is created when absent; an\n"
         "existing demo.mdb is never replaced.\n"},
};

const Page* find(std::string_view name) {
    for (const Page& p : kPages) {
        if (p.name == name) return &p;
    }
    return nullptr;
}

}  // namespace

std::string overall_help() {
    std::string s =
        "usage: regtool COMMAND ARGS...\n"
        "       regtool help COMMAND | regtool COMMAND --help\n"
        "       regtool --version\n"
        "\n"
        "The register's database engine from the command line: reads, checks and\n"
        "writes Access 2000-2003 (Jet 4) .mdb files.\n"
        "\n"
        "Commands:\n";
    for (const Page& p : kPages) {
        std::string line = "  " + std::string(p.name) + " " + std::string(p.synopsis);
        if (line.size() < 34) line.resize(34, ' ');
        else line += "  ";
        s += line + std::string(p.summary) + "\n";
    }
    s += "\n"
         "DB is the path of a .mdb file. Results go to standard output and nothing\n"
         "else does; errors go to standard error as one line, with exit status 1\n"
         "(2 for a wrong command line, with the usage line after it). Writes take\n"
         "the file's write lock, so other programs may have the register open\n"
         "meanwhile.\n";
    return s;
}

std::string command_help(std::string_view command) {
    const Page* p = find(command);
    if (!p) return {};
    return "usage: regtool " + std::string(p->name) + " " + std::string(p->synopsis) + "\n\n" + std::string(p->details);
}

std::string command_synopsis(std::string_view command) {
    const Page* p = find(command);
    if (!p) return "usage: regtool COMMAND ARGS... (regtool --help lists the commands)";
    return "usage: regtool " + std::string(p->name) + " " + std::string(p->synopsis) + " (regtool help " + std::string(p->name) +
           " tells more)";
}

std::string version_text() { return "regtool " REGISTER_VERSION "\n"; }

}  // namespace regtool
