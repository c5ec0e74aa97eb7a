#include "server/link.h"
#include "store/jet_store.h"
#include "store/server_store.h"

namespace store {

bool names_server(const std::string& name) { return server::names_server(name); }

std::unique_ptr<Store> open_store(const std::string& name, std::optional<std::chrono::milliseconds> lock_wait) {
    if (names_server(name)) return std::make_unique<ServerStore>(name);
    return std::make_unique<JetStore>(name, lock_wait);
}

}  // namespace store
