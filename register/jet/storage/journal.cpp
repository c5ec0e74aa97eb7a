#include "storage/journal.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "storage/disk.h"
#include "jet/error.h"
#include "storage/page_file.h"
#include "jet/platform.h"

namespace jet::journal {

namespace {

static_assert(std::endian::native == std::endian::little, "journals are read and written as little-endian words");

constexpr char kMagic[8] = {'Z', 'R', 'J', 'O', 'U', 'R', 'N', '2'};
constexpr std::size_t kHeader = 64;
constexpr std::size_t kState = 8;
constexpr std::size_t kEntries = 12;
constexpr std::size_t kPagesBefore = 16;
constexpr std::size_t kDevice = 24;
constexpr std::size_t kInode = 32;
constexpr std::size_t kChecksum = 40;
constexpr std::size_t kSector = 512;
constexpr std::size_t kSectors = kPageSize / kSector;
constexpr std::size_t kEntry = 4 + kPageSize + 4 * kSectors;

enum State : std::uint8_t { kBeingWritten = 0, kComplete = 1, kFinished = 2 };

// A 64-bit hash of a block, chained through seed: not for secrets, only to
// tell a journal as written from one damaged or cut.
std::uint64_t hash(const std::uint8_t* p, std::size_t n, std::uint64_t seed) {
    std::uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15ull);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h ^= w * 0xC2B2AE3D27D4EB4Full;
        h = std::rotl(h, 31) * 0x9E3779B97F4A7C15ull;
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < n; ++k) tail |= std::uint64_t{p[i + k]} << (8 * k);
    h ^= tail * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

void put(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t sector_hash(const std::uint8_t* sector) { return static_cast<std::uint32_t>(hash(sector, kSector, 0)); }

// sector_hash of each sector of a page, the sectors' hashes worked side by
// side: each one's steps wait on the one before, the sectors' do not.
void sector_hashes(const std::uint8_t* page, std::uint8_t* out) {
    static_assert(kSector % 8 == 0);
    std::uint64_t h[kSectors];
    for (std::uint64_t& x : h) x = 0 ^ (kSector * 0x9E3779B97F4A7C15ull);
    for (std::size_t i = 0; i < kSector; i += 8) {
        for (std::size_t s = 0; s < kSectors; ++s) {
            std::uint64_t w;
            std::memcpy(&w, page + s * kSector + i, 8);
            h[s] ^= w * 0xC2B2AE3D27D4EB4Full;
            h[s] = std::rotl(h[s], 31) * 0x9E3779B97F4A7C15ull;
        }
    }
    for (std::size_t s = 0; s < kSectors; ++s) {
        std::uint64_t x = h[s];  // no tail: a sector is whole words
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        x ^= x >> 33;
        put(out + 4 * s, static_cast<std::uint32_t>(x), 4);
    }
}

std::uint64_t get(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// The checksum starts from the header's fields (all but the magic, the state
// and the checksum itself); each entry is chained on.
std::uint64_t header_hash(const std::uint8_t* h) {
    std::uint64_t sum = hash(h + kEntries, kChecksum - kEntries, 0x4A4F55524E414C32ull);
    return hash(h + kChecksum + 8, kHeader - kChecksum - 8, sum);
}

UniqueFd open_journal(Platform& sys, const std::string& path) {
    return UniqueFd(sys.open(path, Access::Read), sys);
}

bool read_entry(Platform& sys, int fd, std::uint64_t i, std::uint8_t* entry) {
    std::size_t got = 0;
    return sys.read(fd, entry, kEntry, kHeader + i * kEntry, got) && got == kEntry;
}

// Whether the page is, sector by sector, as before the group or as the group wrote it.
bool before_or_after(const std::uint8_t* entry, const std::uint8_t* page) {
    const std::uint8_t* before = entry + 4;
    const std::uint8_t* after_hashes = entry + 4 + kPageSize;
    for (std::size_t s = 0; s < kSectors; ++s) {
        const std::uint8_t* now = page + s * kSector;
        if (std::memcmp(now, before + s * kSector, kSector) == 0) continue;
        if (sector_hash(now) == get(after_hashes + 4 * s, 4)) continue;
        return false;
    }
    return true;
}

}  // namespace

Examined examine(Platform& sys, const std::string& path, int db_fd, std::uint64_t db_size) {
    FileFacts ls;
    if (!sys.facts_of(path, false, ls)) {
        if (errno == ENOENT) return {};
        return {Found::Stranger, "cannot examine " + path + ": " + std::strerror(errno)};
    }
    if (ls.kind == FileFacts::Kind::Link) return {Found::Stranger, path + " is a symbolic link, not a journal"};
    if (ls.kind == FileFacts::Kind::Folder) return {Found::Stranger, path + " is a folder, not a journal"};
    if (!ls.regular()) return {Found::Stranger, path + " is a FIFO, socket or device, not a journal"};
    UniqueFd fd = open_journal(sys, path);
    FileFacts st;
    if (fd.get() < 0 || !sys.facts(fd.get(), st) || !st.regular()) {
        return {Found::Stranger, "cannot read " + path + (fd.get() < 0 ? ": " + std::string(std::strerror(errno)) : "")};
    }
    const std::uint64_t size = st.size;
    std::uint8_t h[kHeader] = {};
    std::size_t got = 0;
    if (!sys.read(fd.get(), h, kHeader, 0, got)) return {Found::Stranger, "cannot read " + path};
    if (std::memcmp(h, kMagic, std::min<std::size_t>(got, 8)) != 0) return {Found::Stranger, path + " is not a journal of this program"};
    // Cut while it was being written (the database was not touched yet), or finished.
    if (got <= kState || h[kState] == kBeingWritten || h[kState] == kFinished) return {Found::Void, {}};
    if (h[kState] != kComplete) return {Found::Damaged, path + " is damaged (an unknown state)"};
    if (got < kHeader) return {Found::Damaged, path + " is cut short inside its header"};
    const std::uint64_t entries = get(h + kEntries, 4);
    const std::uint64_t before = get(h + kPagesBefore, 4);
    if (size != kHeader + entries * kEntry) {
        return {Found::Damaged, path + " is " + std::to_string(size) + " bytes long, but its header counts " + std::to_string(entries) +
                                    " pages (" + std::to_string(kHeader + entries * kEntry) + " bytes)"};
    }
    if (entries > before) return {Found::Damaged, path + " holds more pages than its database had"};
    // Only now is it read whole: a journal longer than this database could
    // need is not read at all.
    FileFacts db;
    (void)sys.facts(db_fd, db);
    const std::string written_for = " (it was written for the file with device " + std::to_string(get(h + kDevice, 8)) + " and inode " +
                                    std::to_string(get(h + kInode, 8)) + "; this one has device " + std::to_string(db.device) +
                                    " and inode " + std::to_string(db.inode) + ")";
    if (db_size / kPageSize < before) {
        return {Found::Foreign, path + " belongs to a longer database than this one" + written_for};
    }
    // The whole journal against its checksum, a page at a time.
    std::vector<std::uint8_t> entry(kEntry);
    std::vector<std::uint32_t> numbers;
    numbers.reserve(static_cast<std::size_t>(entries));
    std::uint64_t sum = header_hash(h);
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (!read_entry(sys, fd.get(), i, entry.data())) return {Found::Damaged, "cannot read " + path + " whole"};
        sum = hash(entry.data(), kEntry, sum);
        numbers.push_back(static_cast<std::uint32_t>(get(entry.data(), 4)));
    }
    if (sum != get(h + kChecksum, 8)) return {Found::Damaged, path + " fails its checksum"};
    std::vector<std::uint32_t> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end() || (!sorted.empty() && sorted.back() >= before)) {
        return {Found::Damaged, path + " names a page twice or past its database's end"};
    }
    // A sound journal: is it this database's, as the database now is?
    PageData page{};
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (!read_entry(sys, fd.get(), i, entry.data())) return {Found::Damaged, "cannot read " + path + " whole"};
        const std::uint32_t n = numbers[static_cast<std::size_t>(i)];
        if (!sys.read(db_fd, page.data(), kPageSize, std::uint64_t{n} * kPageSize, got) || got != kPageSize) {
            return {Found::Foreign, path + " names page " + std::to_string(n) + ", which cannot be read" + written_for};
        }
        if (!before_or_after(entry.data(), page.data())) {
            return {Found::Foreign, path + " belongs to another database, or to this one before other changes: its page " +
                                        std::to_string(n) + " is neither as before nor as after the change the journal undoes" +
                                        written_for};
        }
    }
    return {Found::Own, {}};
}

void write(Platform& sys, const std::string& path, int db_fd, const std::string& db_path, const FileFacts& db, std::uint32_t pages_before,
           const std::vector<Page>& pages) {
    stage(sys, path, db_fd, db_path, db, pages_before, pages);
    complete(sys, path, db_path);
}

void complete(Platform& sys, const std::string& path, const std::string& db_path) {
    const std::uint8_t state = kComplete;
    UniqueFd fd(sys.open(path, Access::Write), sys);
    if (fd.get() < 0 || !sys.write(fd.get(), path, &state, 1, kState) || !sys.sync(fd.get(), path) || !sys.sync_folder_of(path)) {
        const int err = errno;
        sys.discard(path);
        io_error("cannot write the journal of", db_path, err);
    }
}

void stage(Platform& sys, const std::string& path, int db_fd, const std::string& db_path, const FileFacts& db, std::uint32_t pages_before,
           const std::vector<Page>& pages) {
    std::uint8_t head[kHeader] = {};
    std::memcpy(head, kMagic, 8);
    head[kState] = kBeingWritten;
    put(head + kEntries, pages.size(), 4);
    put(head + kPagesBefore, pages_before, 4);
    put(head + kDevice, db.device, 8);
    put(head + kInode, db.inode, 8);
    // Never through a link, never over a file that lies there.
    int fd = sys.create_new(path, db.permissions & 0666);
    if (fd < 0) {
        if (errno == EEXIST || errno == ELOOP) {
            throw Error(ErrorKind::StrayJournal, "something appeared where the journal of " + db_path + " goes (" + path + ")");
        }
        io_error("cannot write the journal of", db_path, errno);
    }
    UniqueFd owned(fd, sys);
    // A journal that cannot be finished goes: marked "being written", it would
    // say only that the database was not touched.
    auto fail = [&](const char* what, int err) {
        sys.discard(path);
        io_error(what, db_path, err);
    };
    // Whoever may change the database must be able to put it back after a
    // crash: the journal gets its mode (past the umask) and, where allowed, its owner.
    sys.take_owner_of(fd, db);
    // The entries, the old contents read from the file with neighbouring pages
    // in one read. A journal of a few megabytes is written whole in one call.
    // A larger one (a group that changes much of a register) is written a
    // stretch at a time: the header first, still marked "being written", so
    // that a journal cut anywhere is known for what it is, then the entries,
    // then the checksum over all of it. Either way nothing counts before the
    // state "complete" is synced.
    constexpr std::size_t kRunPages = 64;
    constexpr std::size_t kWhole = 4u << 20;
    const bool whole = pages.size() * kEntry <= kWhole;
    std::vector<std::uint8_t> run(kRunPages * kPageSize);
    std::vector<std::uint8_t> entries(whole ? kHeader + pages.size() * kEntry : kRunPages * kEntry);
    std::uint64_t sum = header_hash(head);
    if (!whole && !sys.write(fd, path, head, kHeader, 0)) fail("cannot write the journal of", errno);
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t end = i + 1;
        while (end < pages.size() && end - i < kRunPages && pages[end].number == pages[end - 1].number + 1) ++end;
        const std::size_t n = end - i;
        std::size_t got = 0;
        errno = 0;
        if (!sys.read(db_fd, run.data(), n * kPageSize, std::uint64_t{pages[i].number} * kPageSize, got) ||
            got != n * kPageSize) {
            fail("cannot read the old contents of", errno ? errno : EIO);
        }
        std::uint8_t* first = whole ? entries.data() + kHeader + i * kEntry : entries.data();
        for (std::size_t k = 0; k < n; ++k) {
            std::uint8_t* e = first + k * kEntry;
            put(e, pages[i + k].number, 4);
            std::memcpy(e + 4, run.data() + k * kPageSize, kPageSize);
            sector_hashes(pages[i + k].after, e + 4 + kPageSize);
            sum = hash(e, kEntry, sum);
        }
        if (!whole && !sys.write(fd, path, first, n * kEntry, kHeader + i * kEntry)) {
            fail("cannot write the journal of", errno);
        }
        i = end;
    }
    if (whole) {
        put(head + kChecksum, sum, 8);
        std::memcpy(entries.data(), head, kHeader);
        if (!sys.write(fd, path, entries.data(), entries.size(), 0)) fail("cannot write the journal of", errno);
    }
    std::uint8_t checksum[8];
    put(checksum, sum, 8);
    if ((!whole && !sys.write(fd, path, checksum, 8, kChecksum)) || !sys.sync(fd, path)) fail("cannot write the journal of", errno);
}

void roll_back(Platform& sys, const std::string& path, int db_fd, const std::string& db_path) {
    UniqueFd fd = open_journal(sys, path);
    if (fd.get() < 0) io_error("cannot read the journal of", db_path, errno);
    std::uint8_t h[kHeader];
    std::size_t got = 0;
    if (!sys.read(fd.get(), h, kHeader, 0, got) || got != kHeader) io_error("cannot read the journal of", db_path, EIO);
    const std::uint64_t entries = get(h + kEntries, 4);
    std::vector<std::uint8_t> entry(kEntry);
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (!read_entry(sys, fd.get(), i, entry.data())) io_error("cannot read the journal of", db_path, EIO);
        const std::uint64_t n = get(entry.data(), 4);
        if (!sys.write(db_fd, db_path, entry.data() + 4, kPageSize, n * kPageSize)) {
            io_error("cannot undo an interrupted change to", db_path, errno);
        }
    }
    if (!sys.truncate(db_fd, db_path, get(h + kPagesBefore, 4) * kPageSize) || !sys.sync(db_fd, db_path)) {
        io_error("cannot undo an interrupted change to", db_path, errno);
    }
    remove(sys, path, db_path);
}

namespace {

void set_state(Platform& sys, const std::string& path, const std::string& db_path, std::uint8_t state) {
    UniqueFd fd(sys.open(path, Access::Write), sys);
    if (fd.get() < 0 || !sys.write(fd.get(), path, &state, 1, kState) || !sys.sync(fd.get(), path)) {
        io_error("cannot end the journal of", db_path, errno);
    }
}

}  // namespace

void finish(Platform& sys, const std::string& path, const std::string& db_path) {
    set_state(sys, path, db_path, kFinished);
    (void)sys.remove(path);
}

void reopen(Platform& sys, const std::string& path, const std::string& db_path) { set_state(sys, path, db_path, kComplete); }

void remove(Platform& sys, const std::string& path, const std::string& db_path) {
    if (!sys.remove(path)) io_error("cannot remove the journal of", db_path, errno);
    // If this is lost, the journal comes back and is met again: a finished
    // or unfinished one is removed again, an own one puts the same pages back.
    (void)sys.sync_folder_of(path);
}

}  // namespace jet::journal
