// The database file as an array of 4096-byte pages. Reads go through pread and
// a small cache of whole pages; a page past the end of the file is an error.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "bytes.h"

namespace jet {

inline constexpr std::size_t kPageSize = 4096;

using PageData = std::array<std::uint8_t, kPageSize>;
using PagePtr = std::shared_ptr<const PageData>;

inline Bytes bytes_of(const PageData& p) { return Bytes(p.data(), p.size()); }

// Page types (the first byte of each page).
enum class PageType : std::uint8_t {
    Header = 0x00,
    Data = 0x01,
    TableDef = 0x02,
    IndexNode = 0x03,
    IndexLeaf = 0x04,
    UsageMap = 0x05,
};

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    int get() const { return fd_; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_ = -1;
};

class PageFile {
public:
    // Opens the file for reading. Raises NotFound or Io.
    explicit PageFile(const std::string& path);

    const std::string& path() const { return path_; }
    std::uint64_t file_size() const { return size_; }
    std::uint32_t page_count() const { return static_cast<std::uint32_t>(size_ / kPageSize); }

    // The raw bytes of page n; raises Damaged when n lies past the end.
    PagePtr page(std::uint32_t n);
    // As page(), but also checks the page type.
    PagePtr page_of_type(std::uint32_t n, PageType type, const char* what);

    // Reads up to len bytes from the start of the file (for the header check of short files).
    std::string read_prefix(std::size_t len) const;

    void drop_cache() { cache_.clear(); }

private:
    std::string path_;
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    std::unordered_map<std::uint32_t, PagePtr> cache_;
};

}  // namespace jet
