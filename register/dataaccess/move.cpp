#include "dataaccess/move.h"

#include "dataaccess/engine_error.h"
#include "errors/move_error.h"
#include "jet/error.h"
#include "server/move.h"
#include "server/server_error.h"

namespace dataaccess {

std::size_t move_register(const QString& source, const QString& destination, const reg::MoveOptions& options) {
    const std::string from = source.toStdString(), to = destination.toStdString();
    try {
        return server::move_register(from, to, options);
    } catch (const errors::MoveError& e) {
        throw data_error(errors::describe(e, errors::Language::Russian));
    } catch (const jet::Error& e) {
        throw data_error(errors::describe_in_move(e, from, to, errors::Language::Russian));
    } catch (const server::Error& e) {
        throw data_error({errors::server_number(e.kind()), e.describe(errors::Language::Russian)});
    }
}

}  // namespace dataaccess
