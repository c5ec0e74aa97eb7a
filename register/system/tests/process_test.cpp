// The process layer, with this program as the one it runs: arguments come
// back as they were given (quoted into one command line and split again on
// Windows), output and error apart, environment changes, input from a file,
// exit statuses, programs that cannot be started, kills.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "system/console.h"
#include "system/process.h"
#include "system/utf8_path.h"

namespace {

namespace fs = std::filesystem;

std::string self() { return sys::utf8_of(sys::program_path()); }

void put(std::FILE* to, const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), to); }

// What this program does when a test runs it: arguments after the first.
int child(const std::vector<std::string>& args) {
    const std::string& what = args[0];
    if (what == "--echo") {
        for (std::size_t i = 1; i < args.size(); ++i) put(stdout, args[i] + '\0');
    } else if (what == "--env") {
        const char* value = std::getenv(args[1].c_str());
        put(stdout, value != nullptr ? value : "(unset)");
    } else if (what == "--copy-input") {
        const std::stop_token never;
        while (const std::optional<std::string> chunk = sys::next_input_chunk(never)) {
            if (chunk->empty()) break;
            put(stdout, *chunk);
        }
    } else if (what == "--noisy") {
        for (int i = 0; i < 256; ++i) {
            put(stdout, std::string(4096, 'o'));
            std::fflush(stdout);
            put(stderr, std::string(4096, 'e'));
        }
        return 3;
    } else if (what == "--where") {
        put(stdout, self());
    } else if (what == "--exit") {
        return std::atoi(args[1].c_str());
    } else if (what == "--wait") {
        std::this_thread::sleep_for(std::chrono::seconds(60));
    }
    return 0;
}

TEST(Process, ArgumentsComeBackAsGiven) {
    const std::vector<std::string> args{"plain",       "",           "two words",       " ",         "tab\there",  "say \"hi\"",
                                        "\"",          "\\",         "back\\slash",     "trailing\\", "ends\\\\",   "\\\"both\\\\\"",
                                        "a\\\\\"b c", "C:\\Program Files\\", "line\nbreak", "Реестр «ЗУРТ».mdb", "ЗУРТ"};
    std::vector<std::string> argv{self(), "--echo"};
    argv.insert(argv.end(), args.begin(), args.end());
    const sys::Captured r = sys::run_captured(argv);
    std::string expected;
    for (const std::string& a : args) expected += a + '\0';
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sys::run_captured({self(), "--where"}).out, self());
}

// A megabyte on each at once: reading one to its end before the other would
// leave the program stalled on a full pipe.
TEST(Process, OutputAndErrorComeApartWithTheExitStatus) {
    const sys::Captured r = sys::run_captured({self(), "--noisy"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, std::string(256 * 4096, 'o'));
    EXPECT_EQ(r.err, std::string(256 * 4096, 'e'));
}

TEST(Process, EnvironmentChangesAndInputFromAFile) {
    sys::Launch launch;
    launch.environment = {"REGISTER_PROBE=first", "REGISTER_PROBE=second one"};
    EXPECT_EQ(sys::run_captured({self(), "--env", "REGISTER_PROBE"}, launch).out, "second one");
    EXPECT_EQ(sys::run_captured({self(), "--env", "REGISTER_PROBE"}).out, "(unset)");

    // Bytes as they are: no line ends changed, no end at a Ctrl+Z.
    std::string bytes = "line 1\r\nline 2\n\x1a after\n";
    for (int i = 0; bytes.size() < 300000; ++i) bytes += "{\"n\": " + std::to_string(i) + ", \"имя\": \"Иванов\"}\n";
    const fs::path file = fs::temp_directory_path() / ("system-process-test-" + std::to_string(sys::process_id()) + ".bin");
    std::ofstream(file, std::ios::binary) << bytes;
    launch.input = file;
    EXPECT_EQ(sys::run_captured({self(), "--copy-input"}, launch).out, bytes);
    fs::remove(file);
}

TEST(Process, AProgramThatCannotBeStartedRaises) {
    EXPECT_THROW(sys::run_captured({"no-such-program-of-the-register"}), std::system_error);
    EXPECT_THROW(sys::start({sys::utf8_of(fs::temp_directory_path() / "no-such-program-of-the-register")}), std::system_error);
    sys::Launch launch;
    launch.input = fs::temp_directory_path() / "no-such-file-of-the-register";
    EXPECT_THROW(sys::run_captured({self(), "--copy-input"}, launch), std::system_error);
}

TEST(Process, StartedProgramsAreWaitedForOrKilled) {
    EXPECT_EQ(sys::run({self(), "--exit", "5"}), 5);
    sys::Child waiting = sys::start({self(), "--wait"});
    waiting.kill();
    EXPECT_EQ(waiting.wait(), -1);
    EXPECT_EQ(waiting.wait(), -1);
}

}  // namespace

int main(int argc, char** argv) {
    const sys::Console console(argc, argv);
    if (!console.arguments().empty() && console.arguments()[0].starts_with("--") && !console.arguments()[0].starts_with("--gtest")) {
        return child(console.arguments());
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
