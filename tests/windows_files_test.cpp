// The files the Windows build wrote under Wine (scripts/test-windows.sh keeps
// each one its suites or regtool.exe would have shown mdb-export, with the
// table to compare): every one passes the integrity check and reads as
// mdb-export reads it, here on Linux where mdb-export runs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "jet/check.h"
#include "jet/database.h"
#include "mdb_export_compare.h"
#include "support.h"

namespace {

using namespace testing_support;

TEST(WindowsWrittenFiles, AreSoundAndAgreeWithMdbExport) {
    const char* folder = std::getenv("REGISTER_WINDOWS_FILES");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "REGISTER_WINDOWS_FILES names no folder";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".table") continue;
        const fs::path db = entry.path().parent_path() / entry.path().stem();
        const std::vector<std::string> about = lines(read_file(entry.path()));
        ASSERT_FALSE(about.empty()) << entry.path();
        SCOPED_TRACE(db.filename().string() + " (" + (about.size() > 1 ? about[1] : std::string()) + ")");
        {
            jet::Database d(db.string());
            for (const std::string& p : jet::check_database(d)) ADD_FAILURE() << p;
        }
        EXPECT_TRUE(agrees_with_mdb_export(db, about[0]));
        ++files;
    }
    EXPECT_GT(files, 0) << "no file kept in " << folder;
    std::printf("%d files written on Windows checked\n", files);
}

}  // namespace
