// Stands in for the server's own run of a SELECT until it is built: the
// store's code compiles and links against its face, and a SELECT on a
// server register is refused as a call the server cannot carry out.
#include "server/query.h"
#include "server/server_error.h"

namespace server {

QueryResult QueryResult::run(Connection&, const sql::Statement& s) {
    throw Error(ErrorKind::Server, s.table, "SELECT on a server register is not available yet");
}

std::vector<std::vector<jet::Value>> QueryResult::rows(std::size_t first, std::size_t count) const {
    std::vector<std::vector<jet::Value>> out;
    for (std::size_t i = first; i < rows_.size() && i - first < count; ++i) out.push_back(rows_[i]);
    return out;
}

}  // namespace server
