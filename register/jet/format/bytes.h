// Bounds-checked little-endian access to byte ranges read from a database file.
// Every accessor checks the range first; a read past the end raises a
// "damaged database" error instead of touching memory it does not own.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "jet/error.h"
#include "jet/row_id.h"

namespace jet {

using Bytes = std::span<const std::uint8_t>;

inline void need(Bytes b, std::size_t off, std::size_t len) {
    if (off > b.size() || len > b.size() - off) {
        damaged("read of " + std::to_string(len) + " bytes at offset " + std::to_string(off) +
                " past the end of a " + std::to_string(b.size()) + "-byte structure");
    }
}

inline Bytes sub(Bytes b, std::size_t off, std::size_t len) {
    need(b, off, len);
    return b.subspan(off, len);
}

inline std::uint64_t read_le(Bytes b, std::size_t off, std::size_t len) {
    need(b, off, len);
    std::uint64_t v = 0;
    for (std::size_t i = len; i-- > 0;) v = (v << 8) | b[off + i];
    return v;
}

inline std::uint8_t u8(Bytes b, std::size_t off) { return static_cast<std::uint8_t>(read_le(b, off, 1)); }
inline std::uint16_t u16(Bytes b, std::size_t off) { return static_cast<std::uint16_t>(read_le(b, off, 2)); }
inline std::uint32_t u24(Bytes b, std::size_t off) { return static_cast<std::uint32_t>(read_le(b, off, 3)); }
inline std::uint32_t u32(Bytes b, std::size_t off) { return static_cast<std::uint32_t>(read_le(b, off, 4)); }
inline std::uint64_t u64(Bytes b, std::size_t off) { return read_le(b, off, 8); }
inline std::int16_t i16(Bytes b, std::size_t off) { return static_cast<std::int16_t>(u16(b, off)); }
inline std::int32_t i32(Bytes b, std::size_t off) { return static_cast<std::int32_t>(u32(b, off)); }
inline std::int64_t i64(Bytes b, std::size_t off) { return static_cast<std::int64_t>(u64(b, off)); }
inline float f32(Bytes b, std::size_t off) { return std::bit_cast<float>(u32(b, off)); }
inline double f64(Bytes b, std::size_t off) { return std::bit_cast<double>(u64(b, off)); }

}  // namespace jet
