// Fuzzes opening a database and reading every row of every table.
//
// With REGISTER_FUZZ_BASE naming a database file, each input is a list of
// patches to that file (4-byte offset, 1-byte value), so the fuzzer works on a
// real file's structures from its first run. Without it, the input is the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jet/database.h"

namespace {

const std::vector<std::uint8_t>& base_file() {
    static const std::vector<std::uint8_t> base = [] {
        std::vector<std::uint8_t> b;
        if (const char* path = std::getenv("REGISTER_FUZZ_BASE"); path && *path) {
            std::ifstream in(path, std::ios::binary);
            b.assign(std::istreambuf_iterator<char>(in), {});
        }
        return b;
    }();
    return base;
}

// One in-memory file, rewritten for every input.
int memory_file() {
    static const int fd = memfd_create("fuzz.mdb", 0);
    return fd;
}

void read_everything(const std::string& path) {
    jet::Database db(path);
    for (const std::string& name : db.user_tables()) {
        jet::Table t = db.table(name);
        t.scan([](jet::RowId, const std::vector<jet::Value>&) { return true; });
        for (jet::RowId id : t.row_ids()) (void)t.read(id);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file = base_file();
    if (file.empty()) {
        file.assign(data, data + size);
    } else {
        for (std::size_t i = 0; i + 5 <= size; i += 5) {
            std::uint32_t off = static_cast<std::uint32_t>(data[i]) | static_cast<std::uint32_t>(data[i + 1]) << 8 |
                                static_cast<std::uint32_t>(data[i + 2]) << 16 | static_cast<std::uint32_t>(data[i + 3]) << 24;
            file[off % file.size()] = data[i + 4];
        }
    }
    int fd = memory_file();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, file.data(), file.size(), 0) != static_cast<ssize_t>(file.size())) {
        std::abort();
    }
    try {
        read_everything("/proc/self/fd/" + std::to_string(fd));
    } catch (const jet::Error&) {
        // A clear refusal is a correct outcome for a damaged file.
    }
    return 0;
}
