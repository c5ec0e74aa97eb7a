// A small file the layers above keep beside a database (the record of a
// move): made new with the database's mode and owner, written, made durable
// with its name, read back whole, removed. Every step goes through the
// platform in force, as the engine's own commits do, so the tests that cut
// a commit at each step cut these too. The system's refusals are raised as
// jet::Error (kind Io, os_error the system's reason).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace jet {

class DurableFile {
public:
    // A new file at path, never through a link and never over anything that
    // lies there (then nothing is returned), with the mode (past the umask)
    // and, where the system allows, the owner and group of the file at like:
    // whoever may change that file may read and remove this one.
    static std::optional<DurableFile> make_beside(const std::string& path, const std::string& like);

    DurableFile(DurableFile&& other) noexcept;
    DurableFile& operator=(DurableFile&& other) noexcept;
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;
    // Closes the file; what was not synced may yet be lost.
    ~DurableFile();

    const std::string& path() const { return path_; }

    void write(std::span<const std::uint8_t> bytes, std::uint64_t at);
    // What was written is on the disk.
    void sync();
    // The same, and so is the file's name in its folder (after make_beside).
    void sync_with_folder();
    // Closes and takes away a file this program made and could not finish;
    // its folder is not synced. The object holds no file after it.
    void discard();

    // What reading a file whole found.
    struct Contents {
        enum class Found {
            Nothing,   // nothing at the path
            Whole,     // bytes holds the file
            NotAFile,  // a folder, a link or a device lies there
            TooLarge,  // longer than the reader takes
            Refused,   // the system refuses to read it (os_error says why)
        };
        Found found = Found::Nothing;
        std::vector<std::uint8_t> bytes;
        int os_error = 0;
    };
    // The regular file at path (a link not followed), if no longer than at_most bytes.
    static Contents read_whole(const std::string& path, std::uint64_t at_most);

    // Removes the file at path (one already gone counts as removed) and syncs its folder.
    static void remove(const std::string& path);

private:
    DurableFile(int descriptor, std::string path);
    void close();

    int fd_ = -1;
    std::string path_;
};

}  // namespace jet
