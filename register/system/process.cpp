// What a started program's handle does the same on every system.
#include "system/process.h"

#include <utility>

namespace sys {

Child::~Child() {
    if (!valid()) return;
    if (!waited_) {
        kill();
        wait();
    }
    close();
}

Child::Child(Child&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), status_(other.status_), waited_(other.waited_), killed_(other.killed_) {}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        Child gone(std::move(*this));
        handle_ = std::exchange(other.handle_, kNone);
        status_ = other.status_;
        waited_ = other.waited_;
        killed_ = other.killed_;
    }
    return *this;
}

int run(const std::vector<std::string>& argv, const Launch& launch) { return start(argv, launch).wait(); }

}  // namespace sys
