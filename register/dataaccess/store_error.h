// What a store raises (the engine's, the server's and the statements'
// failures) in the words the windows show: DataError with the catalogue's
// number and Russian sentence.
#pragma once

#include <QString>

#include "dataaccess/engine_error.h"
#include "jet/error.h"
#include "server/server_error.h"
#include "sql/error.h"

namespace dataaccess {

DataError server_error(const server::Error& e);
DataError query_error(const sql::Error& e);

// Runs f; a failure becomes DataError, one of the file's naming the
// register at path.
template <typename F>
auto guarded(const QString& path, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const jet::Error& e) {
        throw engine_error(e, path);
    } catch (const server::Error& e) {
        throw server_error(e);
    } catch (const sql::Error& e) {
        throw query_error(e);
    }
}

}  // namespace dataaccess
