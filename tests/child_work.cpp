#include "child_work.h"

#include "system/console.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <string_view>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace testing_support {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kChildFlag = "--register-test-child=";

std::map<std::string, ChildWorkFn>& works() {
    static std::map<std::string, ChildWorkFn> all;
    return all;
}

}  // namespace

namespace {

template <class F>
auto tried_again(F start) {
#ifdef _WIN32
    for (int attempt = 1;; ++attempt) {
        try {
            return start();
        } catch (const std::system_error&) {
            if (attempt == 3) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
#else
    return start();
#endif
}

}  // namespace

sys::Child start_program(const std::vector<std::string>& argv, const sys::Launch& launch) {
    return tried_again([&] { return sys::start(argv, launch); });
}

sys::Captured run_program(const std::vector<std::string>& argv, const sys::Launch& launch) {
    return tried_again([&] { return sys::run_captured(argv, launch); });
}

ChildWorkRegistration::ChildWorkRegistration(const char* name, ChildWorkFn work) { works()[name] = work; }

sys::Child start_child(const std::string& work, const std::vector<std::string>& args) {
    if (works().count(work) == 0) throw std::logic_error("no child work named " + work);
    std::vector<std::string> argv{sys::program_path().string(), std::string(kChildFlag) + work};
    argv.insert(argv.end(), args.begin(), args.end());
    return start_program(argv);
}

int run_child_work_if_asked(int argc, char** argv) {
    if (argc < 2 || !std::string_view(argv[1]).starts_with(kChildFlag)) return -1;
    // The arguments in UTF-8 (on Windows from the command line in UTF-16).
    const sys::Console console(argc, argv);
    const std::vector<std::string>& all = console.arguments();
    if (all.empty()) return 125;
    const std::string name = all[0].substr(kChildFlag.size());
    const auto it = works().find(name);
    if (it == works().end()) {
        std::fprintf(stderr, "no child work named %s\n", name.c_str());
        return 125;
    }
    try {
        return it->second(std::vector<std::string>(all.begin() + 1, all.end()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "child %s: %s\n", name.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "child %s: an unknown exception\n", name.c_str());
    }
    return 1;
}

void give_sign(const fs::path& sign) {
    // Written under another name and renamed, so that the sign is there whole or not at all.
    const fs::path part = sign.string() + ".part";
    std::ofstream(part).close();
    fs::rename(part, sign);
}

bool await_sign(const fs::path& sign, sys::Child* child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (fs::exists(sign, ec)) return true;
        if (child != nullptr && child->finished()) return fs::exists(sign, ec);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

}  // namespace testing_support
