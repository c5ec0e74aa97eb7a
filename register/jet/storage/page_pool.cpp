#include "storage/page_pool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define JET_HEAP_PAGES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define JET_HEAP_PAGES 1
#endif
#endif

namespace jet::page_pool {

namespace {

// A slab: its head, then kBlocks blocks, each a 16-byte prefix naming its
// slab followed by the block itself.
constexpr std::size_t kSlab = 1u << 20;
constexpr std::size_t kHead = 64;
constexpr std::size_t kStride = 16 + kBlock;
constexpr std::size_t kBlocks = (kSlab - kHead) / kStride;
constexpr std::size_t kKept = 8;  // wholly free slabs kept for later before any goes back
static_assert(kBlock % 16 == 0 && kHead % 16 == 0 && kBlocks >= 200);

struct Slab {
    void* free = nullptr;   // blocks let go, linked through their first word
    std::size_t fresh = 0;  // blocks never handed out yet, from the start
    std::size_t live = 0;
    bool open = false;      // listed among the slabs with a block to give
    bool idle = false;      // wholly free, kept for later
};

unsigned char* block_at(Slab* s, std::size_t i) { return reinterpret_cast<unsigned char*>(s) + kHead + i * kStride + 16; }
Slab* slab_of(void* block) {
    Slab* s;
    std::memcpy(&s, static_cast<unsigned char*>(block) - 16, sizeof s);
    return s;
}

Slab* new_slab() {
    void* p = nullptr;
#if defined(__linux__)
    // Every page of the slab made ready at once, not at its first touch.
    p = ::mmap(nullptr, kSlab, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#else
    p = ::operator new(kSlab, std::align_val_t{64});
#endif
    return ::new (p) Slab{};
}

void free_slab(Slab* s) {
#if defined(__linux__)
    ::munmap(s, kSlab);
#else
    ::operator delete(static_cast<void*>(s), std::align_val_t{64});
#endif
}

class Pool {
public:
    void* take() {
        std::lock_guard lock(m_);
        if (open_.empty()) {
            Slab* s = new_slab();
            try {
                slabs_.push_back(s);
                open_.reserve(slabs_.size());  // give_back() then never needs room
                open_.push_back(s);
            } catch (...) {
                std::erase(slabs_, s);
                free_slab(s);
                throw;
            }
            s->open = true;
        }
        Slab* s = open_.back();
        unsigned char* b;
        if (s->free) {
            b = static_cast<unsigned char*>(s->free);
            std::memcpy(&s->free, b, sizeof s->free);
        } else {
            b = block_at(s, s->fresh++);
            std::memcpy(b - 16, &s, sizeof s);
        }
        if (s->idle) {
            s->idle = false;
            --idle_;
        }
        ++s->live;
        ++in_use_;
        if (!s->free && s->fresh == kBlocks) {
            open_.pop_back();
            s->open = false;
        }
        return b;
    }

    void give_back(void* block) noexcept {
        std::lock_guard lock(m_);
        Slab* s = slab_of(block);
        std::memcpy(block, &s->free, sizeof s->free);
        s->free = block;
        --s->live;
        --in_use_;
        if (!s->open) {
            open_.push_back(s);  // room reserved: open_ never outgrows slabs_
            s->open = true;
        }
        if (s->live > 0) return;
        if (idle_ < kKept) {
            s->idle = true;
            ++idle_;
            return;
        }
        std::erase(open_, s);
        std::erase(slabs_, s);
        free_slab(s);
    }

    Counts counts() {
        std::lock_guard lock(m_);
        return {slabs_.size(), in_use_};
    }

private:
    std::mutex m_;
    std::vector<Slab*> slabs_;
    std::vector<Slab*> open_;
    std::size_t in_use_ = 0;
    std::size_t idle_ = 0;  // slabs wholly free and kept
};

Pool& pool() {
    // Never destroyed: a page may be let go by a static's destructor at exit.
    alignas(Pool) static unsigned char room[sizeof(Pool)];
    static Pool* const p = ::new (room) Pool();
    return *p;
}

}  // namespace

void* take() { return pool().take(); }
void give_back(void* block) noexcept { pool().give_back(block); }
Counts counts() { return pool().counts(); }

}  // namespace jet::page_pool

namespace jet {

namespace {

// Hands std::allocate_shared the pool's blocks for a page with its count.
template <class T>
struct PoolAllocator {
    using value_type = T;
    static constexpr bool kPooled = sizeof(T) <= page_pool::kBlock && alignof(T) <= 16;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (kPooled && n == 1) return static_cast<T*>(page_pool::take());
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (kPooled && n == 1) page_pool::give_back(p);
        else std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const noexcept { return true; }
};

}  // namespace

std::shared_ptr<PageData> new_page() {
#if defined(JET_HEAP_PAGES)
    return std::make_shared<PageData>();
#else
    return std::allocate_shared<PageData>(PoolAllocator<PageData>());
#endif
}

std::shared_ptr<PageData> new_page(const PageData& copy) {
#if defined(JET_HEAP_PAGES)
    return std::make_shared<PageData>(copy);
#else
    return std::allocate_shared<PageData>(PoolAllocator<PageData>(), copy);
#endif
}

}  // namespace jet
