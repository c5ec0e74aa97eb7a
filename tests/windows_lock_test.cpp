// Windows' locks are mandatory, so the engine's lock must keep out of every
// byte a Jet file holds: Access and every other reader go on reading while a
// group is written. Another handle may lock (and so read) the whole file
// then, but not the byte the data lock stands on.
#include <gtest/gtest.h>

#include <windows.h>

#include "jet/database.h"
#include "support.h"

namespace {

using namespace testing_support;

constexpr std::uint64_t kDataLockByte = (std::uint64_t{1} << 62) - 1;

// Whether another handle of the file gets a lock of the range, let go at once.
bool lockable(const fs::path& db, std::uint64_t start, std::uint64_t length, bool exclusive) {
    const HANDLE h = ::CreateFileW(db.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(start);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    const bool got = ::LockFileEx(h, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &at) != 0;
    if (got) ::UnlockFileEx(h, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &at);
    ::CloseHandle(h);
    return got;
}

TEST(WindowsLocks, AWriterLocksOneBytePastTheDataAndNoneOfTheFile) {
    TempDir dir;
    const fs::path db = make_register(dir.path(), 20);
    const std::uint64_t size = fs::file_size(db);
    {
        jet::Database d(db.string());
        jet::WriteGroup group(d);  // the data lock, exclusive
        EXPECT_TRUE(lockable(db, 0, size, true)) << "the engine's lock covers bytes of the file";
        EXPECT_TRUE(lockable(db, 0, std::uint64_t{1} << 31, true)) << "the engine's lock lies where a Jet file may grow";
        EXPECT_FALSE(lockable(db, kDataLockByte, 1, false)) << "the data lock is not on its byte";
    }
    {
        jet::Database d(db.string());
        const jet::DatabaseLock reading(d, false);  // the data lock, shared
        EXPECT_TRUE(lockable(db, kDataLockByte, 1, false)) << "a reader keeps other readers out";
        EXPECT_FALSE(lockable(db, kDataLockByte, 1, true)) << "a reader does not keep writers out";
    }
    EXPECT_TRUE(lockable(db, kDataLockByte, 1, true)) << "the lock outlived its database";
}

}  // namespace
