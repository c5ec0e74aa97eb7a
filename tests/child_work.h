// A second process for a test, the same way on every system: this test
// program started again to do one piece of work registered by name
// (CHILD_WORK), with string arguments, instead of its tests. The test and
// the child meet at signs, empty files in a folder both know: the child
// gives one when it has reached a point, the test gives one to let it go on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "system/process.h"

namespace testing_support {

using ChildWorkFn = int (*)(const std::vector<std::string>& args);

struct ChildWorkRegistration {
    ChildWorkRegistration(const char* name, ChildWorkFn work);
};

// Defines the work `name`, run in a child with the arguments `args`; its
// result is the child's exit status.
#define CHILD_WORK(name)                                                                                               \
    static int child_work_##name(const std::vector<std::string>& args);                                               \
    static const ::testing_support::ChildWorkRegistration child_work_registration_##name(#name, &child_work_##name); \
    static int child_work_##name([[maybe_unused]] const std::vector<std::string>& args)

// sys::start and sys::run_captured for the tests: under Wine a process now
// and then fails to start for a moment ("internal error") while others
// start and end around it, so on Windows a failed start is tried twice more
// before its error is raised.
sys::Child start_program(const std::vector<std::string>& argv, const sys::Launch& launch = {});
sys::Captured run_program(const std::vector<std::string>& argv, const sys::Launch& launch = {});

// Starts the work with its arguments in this test program started again.
sys::Child start_child(const std::string& work, const std::vector<std::string>& args);

// Called by main before the tests: when this process was started as a
// child, runs its work and gives its exit status, which main returns;
// otherwise -1.
int run_child_work_if_asked(int argc, char** argv);

// A sign left as an empty file; its folder must exist.
void give_sign(const std::filesystem::path& sign);
// Waits for a sign: true once it is there, false when `child` ended first
// or a minute passed.
bool await_sign(const std::filesystem::path& sign, sys::Child* child = nullptr);

}  // namespace testing_support
