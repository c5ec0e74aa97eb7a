#include "move_record.h"

#include <cerrno>
#include <cstring>

#include <bit>

#include "jet/disk.h"
#include "jet/error.h"

namespace reg {

namespace {

constexpr char kMagic[8] = {'Z', 'R', 'M', 'O', 'V', 'E', '0', '1'};

struct Writer {
    std::vector<std::uint8_t> out;
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
};

std::uint64_t mix(std::uint64_t h, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

// The hash of the bytes a Writer would have collected, taken as they come.
struct Hasher {
    std::uint64_t h = 0xCBF29CE484222325ull;
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) h = (h ^ static_cast<std::uint8_t>(v >> (8 * i))) * 0x100000001B3ull;
    }
    void bytes(const void* p, std::size_t n) { h = mix(h, static_cast<const std::uint8_t*>(p), n); }
};

// Each value as its kind and its bytes, so that no two different rows write the same.
template <typename Sink>
void serialise(Sink& w, const jet::Value& v) {
    w.put(v.index(), 1);
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, bool>) w.put(x ? 1 : 0, 1);
            else if constexpr (std::is_same_v<T, std::int64_t>) w.put(static_cast<std::uint64_t>(x), 8);
            else if constexpr (std::is_same_v<T, float>) w.put(std::bit_cast<std::uint32_t>(x), 4);
            else if constexpr (std::is_same_v<T, double>) w.put(std::bit_cast<std::uint64_t>(x), 8);
            else if constexpr (std::is_same_v<T, jet::Currency>) w.put(static_cast<std::uint64_t>(x.units), 8);
            else if constexpr (std::is_same_v<T, jet::DateTime>) w.put(std::bit_cast<std::uint64_t>(x.days), 8);
            else if constexpr (std::is_same_v<T, jet::Decimal>) {
                w.put(x.negative, 1);
                w.put(x.scale, 1);
                for (std::uint32_t m : x.magnitude) w.put(m, 4);
            } else if constexpr (std::is_same_v<T, jet::Guid>) w.bytes(x.bytes.data(), x.bytes.size());
            else if constexpr (std::is_same_v<T, std::string>) {
                w.put(x.size(), 4);
                w.bytes(x.data(), x.size());
            } else if constexpr (std::is_same_v<T, jet::Binary>) {
                w.put(x.bytes.size(), 4);
                w.bytes(x.bytes.data(), x.bytes.size());
            }
        },
        v);
}

std::uint64_t get(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}


}  // namespace

std::uint64_t row_hash(const std::vector<jet::Value>& row, std::size_t columns) {
    Hasher w;
    for (std::size_t c = 1; c < columns && c < row.size(); ++c) serialise(w, row[c]);
    return w.h;
}

std::string move_record_path(const std::string& source_real_path) { return source_real_path + "-move"; }

void write_move_record(const std::string& path, const MoveRecord& record) {
    Writer w;
    w.bytes(kMagic, 8);
    w.put(record.destination.size(), 4);
    w.bytes(record.destination.data(), record.destination.size());
    w.put(record.rows.size(), 4);
    for (const MovedRow& r : record.rows) {
        w.put(r.from.page, 4);
        w.put(r.from.row, 2);
        w.put(static_cast<std::uint64_t>(r.number), 8);
        w.put(r.source_hash, 8);
        w.put(r.stored_hash, 8);
    }
    w.put(mix(0xCBF29CE484222325ull, w.out.data(), w.out.size()), 8);
    const int fd = jet::disk::create_new(path, 0644);
    if (fd < 0) jet::io_error("cannot write the record of the move beside", path, errno);
    jet::UniqueFd owned(fd);
    if (!jet::disk::write(fd, path, w.out.data(), w.out.size(), 0) || !jet::disk::sync(fd, path) || !jet::disk::sync_folder_of(path)) {
        const int err = errno;
        jet::disk::discard(path);
        jet::io_error("cannot write the record of the move beside", path, err);
    }
}

std::optional<MoveRecord> read_move_record(const std::string& path) {
    // A record that does not read whole was cut while it was written: the
    // destination had not taken its group then.
    MoveRecord cut;
    cut.complete = false;
    const int fd = jet::disk::open_to_read(path);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        return cut;
    }
    jet::UniqueFd owned(fd);
    std::uint64_t size = 0;
    if (!jet::disk::size_of(fd, size) || size > (64 << 20)) return cut;
    std::vector<std::uint8_t> b(static_cast<std::size_t>(size));
    std::size_t got = 0;
    if (!jet::disk::read_all(fd, b.data(), b.size(), 0, got) || got != b.size() || b.size() < 24) return cut;
    if (std::memcmp(b.data(), kMagic, 8) != 0) return cut;
    if (get(b.data() + b.size() - 8, 8) != mix(0xCBF29CE484222325ull, b.data(), b.size() - 8)) return cut;
    MoveRecord r;
    std::size_t at = 8;
    const std::uint64_t name = get(b.data() + at, 4);
    at += 4;
    if (name > b.size() - at) return cut;
    r.destination.assign(reinterpret_cast<const char*>(b.data() + at), name);
    at += name;
    if (b.size() - at < 12) return cut;
    const std::uint64_t rows = get(b.data() + at, 4);
    at += 4;
    if (rows > (b.size() - at - 8) / 30) return cut;
    for (std::uint64_t i = 0; i < rows; ++i, at += 30) {
        MovedRow m;
        m.from = {static_cast<std::uint32_t>(get(b.data() + at, 4)), static_cast<std::uint16_t>(get(b.data() + at + 4, 2))};
        m.number = static_cast<std::int64_t>(get(b.data() + at + 6, 8));
        m.source_hash = get(b.data() + at + 14, 8);
        m.stored_hash = get(b.data() + at + 22, 8);
        r.rows.push_back(m);
    }
    return r;
}

void remove_move_record(const std::string& path) {
    if (!jet::disk::remove(path)) jet::io_error("cannot remove the record of the move beside", path, errno);
    if (!jet::disk::sync_folder_of(path)) jet::io_error("cannot sync the folder of", path, errno);
}

}  // namespace reg
