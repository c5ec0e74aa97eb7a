// Small helpers the fuzzers share: a private folder for their files and the
// registers they start from, made once per process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzz {

// A folder of this process's own, removed when the process ends. It lies in
// /dev/shm when there is one, so that the files written for every input and
// the syncs of the write journal cost no disk time.
inline const std::filesystem::path& work_dir() {
    struct Dir {
        std::filesystem::path path;
        Dir() {
            std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
            std::string pattern = base + "/register-fuzz-XXXXXX";
            if (!mkdtemp(pattern.data())) std::abort();
            path = pattern;
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Dir dir;
    return dir.path;
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write_file(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) std::abort();
}

// Applies the input as 5-byte patches: a 4-byte little-endian offset (taken
// modulo the file's size) and the byte to put there.
inline void apply_patches(std::vector<std::uint8_t>& file, const std::uint8_t* data, std::size_t size) {
    if (file.empty()) return;
    for (std::size_t i = 0; i + 5 <= size; i += 5) {
        std::uint32_t off = static_cast<std::uint32_t>(data[i]) | static_cast<std::uint32_t>(data[i + 1]) << 8 |
                            static_cast<std::uint32_t>(data[i + 2]) << 16 | static_cast<std::uint32_t>(data[i + 3]) << 24;
        file[off % file.size()] = data[i + 4];
    }
}

}  // namespace fuzz
