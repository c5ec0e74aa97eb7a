// Stands in for the server's own run of a SELECT where it is not built into
// register_server: the store compiles and links against its face, and a
// SELECT on a server register is refused as a call the server cannot carry
// out.
#include <stdexcept>

#include "server/query.h"
#include "server/server_error.h"

namespace server {

QueryResult QueryResult::run(Connection&, const sql::Statement& s) {
    throw Error(ErrorKind::Server, s.table, "SELECT on a server register is not available in this build");
}

// No result is ever made here, so there are no rows to read.
std::vector<std::vector<jet::Value>> QueryResult::rows(std::size_t, std::size_t) const {
    if (c_) throw std::out_of_range("no rows");
    return {};
}

}  // namespace server
