// Where a row lies: the id a table gives each of its rows.
#pragma once

#include <compare>
#include <cstdint>

namespace jet {

// A row pointer as Jet stores it: the row number in the low byte, the page above it.
struct RowId {
    std::uint32_t page = 0;
    std::uint16_t row = 0;

    static RowId from_pointer(std::uint32_t ptr) { return {ptr >> 8, static_cast<std::uint16_t>(ptr & 0xFF)}; }
    std::uint32_t pointer() const { return (page << 8) | (row & 0xFFu); }
    friend bool operator==(const RowId&, const RowId&) = default;
    friend auto operator<=>(const RowId&, const RowId&) = default;
};

}  // namespace jet
