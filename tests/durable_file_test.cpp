// A file written beside a database through the engine (the move's record):
// made only where nothing lies, with the database's mode; read back whole or
// told apart from what is not a file; each refused step raised with the
// system's reason, and a file that could not be finished taken away.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "jet/durable_file.h"
#include "jet/error.h"
#include "support.h"

namespace {

using namespace testing_support;
using jet::DurableFile;
using Found = DurableFile::Contents::Found;

std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DurableFile, MadeOnlyWhereNothingLiesWithTheModeOfTheFileBeside) {
    TempDir dir;
    const fs::path db = dir / "reg.mdb";
    write_file(db, "database");
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);  // past a usual umask
    const fs::path at = dir / "reg.mdb-move";
    {
        std::optional<DurableFile> made = DurableFile::make_beside(at.string(), db.string());
        ASSERT_TRUE(made);
        made->write(bytes_of("record"), 0);
        made->write(bytes_of("R"), 0);
        made->sync_with_folder();
    }
#ifndef _WIN32
    // Windows keeps no mode: the file takes its folder's rights.
    EXPECT_EQ(fs::status(at).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);
#endif
    const DurableFile::Contents whole = DurableFile::read_whole(at.string(), 6);
    EXPECT_EQ(whole.found, Found::Whole);
    EXPECT_EQ(whole.bytes, bytes_of("Record"));
    EXPECT_EQ(DurableFile::read_whole(at.string(), 5).found, Found::TooLarge);

    // A file, a link (even to nothing) or a folder at the path: nothing is made, nothing changes.
    std::vector<fs::path> taken_paths{at, dir / "folder"};
    fs::create_directory(dir / "folder");
    // Links are not made everywhere (Windows lets only some users make them;
    // MinGW's library makes none).
    std::error_code no_link;
    fs::create_symlink(dir / "nowhere", dir / "link", no_link);
    if (!no_link) taken_paths.push_back(dir / "link");
    for (const fs::path& taken : taken_paths) {
        EXPECT_FALSE(DurableFile::make_beside(taken.string(), db.string())) << taken;
    }
    EXPECT_EQ(read_file(at), "Record");
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    if (!no_link) {
        EXPECT_EQ(DurableFile::read_whole((dir / "link").string(), 100).found, Found::NotAFile);
    }
    EXPECT_EQ(DurableFile::read_whole((dir / "folder").string(), 100).found, Found::NotAFile);
    try {
        DurableFile::make_beside((dir / "other-move").string(), (dir / "no.mdb").string());
        ADD_FAILURE() << "made beside a file that is not there";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.kind(), jet::ErrorKind::Io);
        EXPECT_EQ(e.os_error(), ENOENT);
    }

    DurableFile::remove(at.string());
    EXPECT_EQ(DurableFile::read_whole(at.string(), 100).found, Found::Nothing);
    EXPECT_NO_THROW(DurableFile::remove(at.string())) << "a file already gone counts as removed";
}

TEST(DurableFile, EachRefusedStepIsRaisedWithTheSystemsReason) {
    // Made, written, synced, its folder synced: the steps the fault seam counts.
    for (std::uint64_t step = 1; step <= 4; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        TempDir dir;
        const fs::path db = dir / "reg.mdb";
        write_file(db, "database");
        const fs::path at = dir / "reg.mdb-move";
        jet::faults::Plan fail{jet::faults::Mode::Fail, step};
        try {
            PlanInForce in_force(fail);
            std::optional<DurableFile> made = DurableFile::make_beside(at.string(), db.string());
            ASSERT_TRUE(made) << "a refusal is not a path already taken";
            try {
                made->write(bytes_of("record"), 0);
                made->sync_with_folder();
            } catch (const jet::Error&) {
                made->discard();
                throw;
            }
            ADD_FAILURE() << "no step was refused";
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::Io);
            EXPECT_EQ(e.os_error(), EIO);
        }
        EXPECT_FALSE(fs::exists(at));
    }
    // Removed, its folder synced.
    for (std::uint64_t step = 1; step <= 2; ++step) {
        TempDir dir;
        const fs::path at = dir / "reg.mdb-move";
        write_file(at, "record");
        jet::faults::Plan fail{jet::faults::Mode::Fail, step};
        PlanInForce in_force(fail);
        try {
            DurableFile::remove(at.string());
            ADD_FAILURE() << "step " << step << " was not refused";
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.os_error(), EIO);
        }
    }
}

}  // namespace
