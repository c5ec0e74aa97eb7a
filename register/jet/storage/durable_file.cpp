#include "jet/durable_file.h"

#include <cerrno>
#include <utility>

#include "storage/disk.h"
#include "jet/error.h"

namespace jet {

std::optional<DurableFile> DurableFile::make_beside(const std::string& path, const std::string& like) {
    const int fd = disk::create_new_like(path, like);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST || err == ELOOP || err == EISDIR) return std::nullopt;
        io_error("cannot make", path, err);
    }
    return DurableFile(fd, path);
}

DurableFile::DurableFile(int descriptor, std::string path) : fd_(descriptor), path_(std::move(path)) {}

DurableFile::DurableFile(DurableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

DurableFile& DurableFile::operator=(DurableFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

DurableFile::~DurableFile() { close(); }

void DurableFile::close() { UniqueFd closing(std::exchange(fd_, -1)); }

void DurableFile::write(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    if (!disk::write(fd_, path_, bytes.data(), bytes.size(), at)) io_error("cannot write", path_, errno);
}

void DurableFile::sync() {
    if (!disk::sync(fd_, path_)) io_error("cannot sync", path_, errno);
}

void DurableFile::sync_with_folder() {
    sync();
    if (!disk::sync_folder_of(path_)) io_error("cannot sync the folder of", path_, errno);
}

void DurableFile::discard() {
    close();
    disk::discard(path_);
}

DurableFile::Contents DurableFile::read_whole(const std::string& path, std::uint64_t at_most) {
    using Found = Contents::Found;
    switch (disk::entry_at(path)) {
        case disk::Entry::None: return {};
        case disk::Entry::Regular: break;
        default: return {Found::NotAFile, {}, 0};
    }
    // Opened without following a link: what lies there may have changed since.
    const UniqueFd fd(disk::open_to_read(path));
    if (fd.get() < 0) {
        const int err = errno;
        if (err == ENOENT) return {};
        if (err == EINVAL || err == ELOOP) return {Found::NotAFile, {}, 0};
        return {Found::Refused, {}, err};
    }
    std::uint64_t size = 0;
    if (!disk::size_of(fd.get(), size)) return {Found::Refused, {}, errno};
    if (size > at_most) return {Found::TooLarge, {}, 0};
    Contents whole{Found::Whole, std::vector<std::uint8_t>(static_cast<std::size_t>(size)), 0};
    if (size == 0) return whole;
    errno = 0;
    if (!disk::read_exact(fd.get(), whole.bytes.data(), whole.bytes.size(), 0)) {
        return {Found::Refused, {}, errno != 0 ? errno : EIO};  // no reason given: cut short while it was read
    }
    return whole;
}

void DurableFile::remove(const std::string& path) {
    if (!disk::remove(path)) io_error("cannot remove", path, errno);
    if (!disk::sync_folder_of(path)) io_error("cannot sync the folder of", path, errno);
}

}  // namespace jet
