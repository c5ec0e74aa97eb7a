// The demo's random numbers: splitmix64, small, fast, and the same on every
// platform, compiler and library, so that a seed always gives the same demo.
#pragma once

#include <cstddef>
#include <cstdint>

namespace regtool {

class DemoRng {
public:
    explicit DemoRng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A whole number in [lo, hi]; lo when the range is empty.
    int range(int lo, int hi) {
        if (hi <= lo) return lo;
        return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    bool chance(int percent) { return range(0, 99) < percent; }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[next() % N];
    }

private:
    std::uint64_t state_;
};

}  // namespace regtool
