// Shared helpers of the test suites: the shared test files, running programs,
// temporary folders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jet/disk.h"
#include "jet/value.h"

namespace testing_support {

namespace fs = std::filesystem;

// The folder of shared test files (REGISTER_FIXTURES overrides the built-in path).
fs::path fixtures_dir();
bool have_fixtures();
// Whether a missing input (a shared test file, a program a test runs) fails
// the test instead of skipping it: REGISTER_REQUIRE_FIXTURES=1, as CI sets,
// where everything is present and a skip could only hide a fault.
bool inputs_required();
// Every Jet 4 fixture database (register/ and realworld/), sorted.
std::vector<fs::path> jet4_fixtures();

struct RunResult {
    int status = -1;  // exit status, or -1 when the program died by a signal
    std::string out;
    std::string err;
};

// Runs a program with these arguments (no shell) and collects its output.
RunResult run(const std::vector<std::string>& argv);
RunResult run_regtool(const std::vector<std::string>& args);
bool have_program(const std::string& name);

// A fresh folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

using Row = std::vector<jet::Value>;

// A new register file at db: table ЗУРТ holding the given rows (values in
// column order; the autonumber left Null is filled in).
fs::path write_register(const fs::path& db, const std::vector<Row>& rows);
// The same with rows make(first) .. make(first + count - 1).
fs::path write_register(const fs::path& db, int count, const std::function<Row(int)>& make, int first = 0);
// The rows of ЗУРТ in storage order.
std::vector<Row> register_rows(const fs::path& db);

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, const std::string& bytes);

// A fault plan of the engine's in force for as long as it lives.
class PlanInForce {
public:
    explicit PlanInForce(jet::faults::Plan& plan) { jet::faults::set_plan(&plan); }
    ~PlanInForce() { jet::faults::set_plan(nullptr); }
    PlanInForce(const PlanInForce&) = delete;
    PlanInForce& operator=(const PlanInForce&) = delete;
};

}  // namespace testing_support

// Leaves a test whose input is missing, with the reason streamed after it:
// skipped, or failed when inputs are required (see inputs_required()).
#define REGISTER_SKIP()                                                                                                   \
    return ::testing::internal::AssertHelper(::testing_support::inputs_required() ? ::testing::TestPartResult::kFatalFailure \
                                                                                  : ::testing::TestPartResult::kSkip,      \
                                             __FILE__, __LINE__, "a test input is missing") = ::testing::Message()
