// The commands regtool-server carries out: `regtool upsize` and `regtool
// downsize`, a register copied from a file onto a PostgreSQL server and back,
// and tables, schema, export, insert, delete, query and check on a server register,
// which print and take what they do for a file. Each takes the command line (the
// command and its arguments) and returns the exit status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "server/connection.h"

namespace regtool {

inline constexpr std::string_view kUpsizeDetails =
    "Copies every user table of SRC onto the server TARGET names (a link file,\n"
    "FILE.pgreg, holding a libpq connection string or postgresql:// URI, or such\n"
    "a URI itself; never a password: those come from ~/.pgpass or a service\n"
    "file). Names, types, primary keys, indexes (unique ones comparing text\n"
    "letter case aside) and the relationships SRC enforces are kept; an\n"
    "AutoNumber continues from SRC's next number. Everything happens in one\n"
    "transaction, and every row is compared on both sides before it is\n"
    "committed. A table the server holds already is refused unless --append,\n"
    "which adds the rows to it with new numbers from the server. Text holding\n"
    "U+0000 is refused with its table, column and row. Linked tables are named\n"
    "and left out. Progress goes to standard error.\n";
inline constexpr std::string_view kDownsizeDetails =
    "Writes every table of the server register TARGET names (as for upsize)\n"
    "into DST, a new file, with its columns (a Binary with its length), primary\n"
    "key, indexes (required ones marked so), rows and next AutoNumber, and\n"
    "compares every row on both sides. Relationships, and a Replication ID's\n"
    "drawing of new values, are not carried back. A file left unfinished by a\n"
    "failure is removed.\n";

int upsize_command(const std::vector<std::string>& args);
int downsize_command(const std::vector<std::string>& args);

int server_tables_command(const std::vector<std::string>& args);
int server_schema_command(const std::vector<std::string>& args);
int server_export_command(const std::vector<std::string>& args);
int server_insert_command(const std::vector<std::string>& args);
int server_delete_command(const std::vector<std::string>& args);
int server_check_command(const std::vector<std::string>& args);
int server_move_command(const std::vector<std::string>& args);
// Settles the record of a cut-off move beside a file whose other register is
// on a server (regtool hands this over; not a command of its own).
int server_settle_command(const std::vector<std::string>& args);
int server_query_command(const std::vector<std::string>& args);

// The register a link file or URI names. Raises server::Error.
server::Connection connect_to_register(const std::string& name);

}  // namespace regtool
