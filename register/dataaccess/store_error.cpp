#include "dataaccess/store_error.h"

namespace dataaccess {

DataError server_error(const server::Error& e) {
    return DataError(errors::server_number(e.kind()), QString::fromStdString(e.describe(errors::Language::Russian)));
}

DataError query_error(const sql::Error& e) { return DataError(e.number(), QString::fromStdString(e.text(errors::Language::Russian))); }

}  // namespace dataaccess
