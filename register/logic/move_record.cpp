#include "logic/move_record.h"

#include <cstring>

#include <bit>
#include <optional>
#include <span>

#include "jet/error.h"

namespace reg {

namespace {

constexpr char kMagic[8] = {'Z', 'R', 'M', 'O', 'V', 'E', '0', '2'};
constexpr char kEarlierMagic[8] = {'Z', 'R', 'M', 'O', 'V', 'E', '0', '1'};
// One byte, written on its own: no write can leave half of it.
constexpr std::uint8_t kWriting = 'W';
constexpr std::uint8_t kComplete = 'C';
constexpr std::size_t kStateAt = 8;
constexpr std::size_t kHead = 32;  // magic, state and 7 zero bytes, body length, checksum
constexpr std::uint64_t kLargest = 64u << 20;  // far more than a group of rows needs
constexpr std::size_t kRowBytes = 24;

constexpr std::uint64_t kFnvStart = 0xCBF29CE484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ull;

// FNV-1a: each step is a bijection of the state, so a change of any one byte
// always changes the hash.
struct Hasher {
    std::uint64_t h = kFnvStart;
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) h = (h ^ static_cast<std::uint8_t>(v >> (8 * i))) * kFnvPrime;
    }
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * kFnvPrime;
    }
};

struct Writer {
    std::vector<std::uint8_t> out;
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void text(const std::string& s) {
        put(s.size(), 4);
        bytes(s.data(), s.size());
    }
};

// Reads what a Writer wrote, never past the end: a read that would is noted
// and yields zeros.
struct Reader {
    const std::uint8_t* p;
    std::size_t size;
    std::size_t at = 0;
    bool short_ = false;
    std::uint64_t get(std::size_t n) {
        if (size - at < n) {
            short_ = true;
            at = size;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = n; i-- > 0;) v = (v << 8) | p[at + i];
        at += n;
        return v;
    }
    std::string text() {
        const std::uint64_t n = get(4);
        if (size - at < n) {
            short_ = true;
            at = size;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(p + at), static_cast<std::size_t>(n));
        at += static_cast<std::size_t>(n);
        return s;
    }
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

std::uint64_t checksum(std::uint64_t body_length, const std::uint8_t* body, std::size_t n) {
    Hasher h;
    h.put(body_length, 8);
    h.bytes(body, n);
    return h.h;
}

ReadRecord earlier_version(const std::string& path, const std::vector<std::uint8_t>& b) {
    // Written in one go and checked by its checksum, with no mark of being
    // complete: a record that does not read whole was cut while it was written.
    ReadRecord cut{RecordFound::Cut, {}, 0};
    if (b.size() < 24) return cut;
    Hasher h;
    h.bytes(b.data(), b.size() - 8);
    Reader tail{b.data() + b.size() - 8, 8};
    if (tail.get(8) != h.h) return cut;
    Reader r{b.data(), b.size() - 8, 8};
    ReadRecord out{RecordFound::Complete, {}, 0};
    MoveRecord& m = out.record;
    m.earlier_version = true;
    m.source.path = path.substr(0, path.size() - 5);  // beside its source, "-move" after the source's real path
    m.destination.path = r.text();
    m.table = "ЗУРТ";
    const std::uint64_t rows = r.get(4);
    if (r.short_ || rows > (r.size - r.at) / 30) return cut;
    for (std::uint64_t i = 0; i < rows; ++i) {
        r.get(6);  // where the row lay in the source
        MovedRow row;
        row.number = static_cast<std::int64_t>(r.get(8));
        row.source_hash = r.get(8);
        row.stored_hash = r.get(8);
        m.rows.push_back(row);
    }
    return out;
}

}  // namespace

std::uint64_t row_hash(const std::vector<jet::Value>& row, std::size_t from, std::size_t to) {
    Hasher w;
    for (std::size_t c = from; c < to && c < row.size(); ++c) serialise(w, row[c]);
    return w.h;
}

std::uint64_t source_row_hash(const MoveRecord& record, const std::vector<jet::Value>& row) {
    return record.earlier_version ? row_hash(row, 1, record.columns) : row_hash(row, 0, row.size());
}

jet::DurableFile write_move_record(const std::string& path, const std::string& beside, const MoveRecord& record) {
    Writer body;
    body.put(record.id, 8);
    for (const RecordedFile* f : {&record.source, &record.destination}) {
        body.text(f->path);
        body.put(f->device, 8);
        body.put(f->inode, 8);
    }
    body.text(record.table);
    body.put(record.columns, 4);
    body.put(record.rows.size(), 4);
    for (const MovedRow& r : record.rows) {
        body.put(r.source_hash, 8);
        body.put(static_cast<std::uint64_t>(r.number), 8);
        body.put(r.stored_hash, 8);
    }
    Writer all;
    all.bytes(kMagic, 8);
    all.put(kWriting, 1);
    all.put(0, 7);
    all.put(body.out.size(), 8);
    all.put(checksum(body.out.size(), body.out.data(), body.out.size()), 8);
    all.bytes(body.out.data(), body.out.size());

    std::optional<jet::DurableFile> made = jet::DurableFile::make_beside(path, beside);
    if (!made) {
        throw jet::Error(jet::ErrorKind::PendingMove, "something lies where the record of the move goes: " + path,
                         jet::Reason::MoveRecordNotAFile, path);
    }
    try {
        made->write(all.out, 0);
        made->sync_with_folder();
    } catch (const jet::Error&) {
        made->discard();
        throw;
    }
    return std::move(*made);
}

void mark_move_record_complete(jet::DurableFile& copy) {
    copy.write(std::span(&kComplete, 1), kStateAt);
    copy.sync();
}

ReadRecord read_move_record(const std::string& path) {
    using Found = jet::DurableFile::Contents::Found;
    const jet::DurableFile::Contents read = jet::DurableFile::read_whole(path, kLargest);
    const ReadRecord damaged{RecordFound::Damaged, {}, 0};
    switch (read.found) {
        case Found::Nothing: return {};
        case Found::NotAFile: return {RecordFound::NotAFile, {}, 0};
        case Found::Refused: return {RecordFound::Unreadable, {}, read.os_error};
        case Found::TooLarge: return damaged;
        case Found::Whole: break;
    }
    const std::vector<std::uint8_t>& b = read.bytes;
    if (b.empty()) return {RecordFound::Cut, {}, 0};
    if (b.size() >= 8 && std::memcmp(b.data(), kEarlierMagic, 8) == 0) return earlier_version(path, b);
    if (b.size() < kHead) return damaged;
    bool blank = true;
    for (std::size_t i = 0; i < 16; ++i) blank = blank && b[i] == 0;
    if (blank) return {RecordFound::Cut, {}, 0};
    if (std::memcmp(b.data(), kMagic, 8) != 0) return damaged;
    const std::uint8_t state = b[kStateAt];
    if (state != kWriting && state != kComplete) return damaged;
    if (state == kWriting) return {RecordFound::Cut, {}, 0};
    Reader head{b.data(), b.size(), 16};
    const std::uint64_t length = head.get(8);
    const std::uint64_t sum = head.get(8);
    if (length != b.size() - kHead || sum != checksum(length, b.data() + kHead, b.size() - kHead)) return damaged;

    Reader r{b.data() + kHead, b.size() - kHead};
    ReadRecord out{RecordFound::Complete, {}, 0};
    MoveRecord& m = out.record;
    m.id = r.get(8);
    for (RecordedFile* f : {&m.source, &m.destination}) {
        f->path = r.text();
        f->device = r.get(8);
        f->inode = r.get(8);
    }
    m.table = r.text();
    m.columns = static_cast<std::uint32_t>(r.get(4));
    const std::uint64_t rows = r.get(4);
    if (r.short_ || rows != (r.size - r.at) / kRowBytes || (r.size - r.at) % kRowBytes != 0) return damaged;
    m.rows.reserve(static_cast<std::size_t>(rows));
    for (std::uint64_t i = 0; i < rows; ++i) {
        MovedRow row;
        row.source_hash = r.get(8);
        row.number = static_cast<std::int64_t>(r.get(8));
        row.stored_hash = r.get(8);
        m.rows.push_back(row);
    }
    return out;
}

void remove_move_record(const std::string& path) { jet::DurableFile::remove(path); }

}  // namespace reg
