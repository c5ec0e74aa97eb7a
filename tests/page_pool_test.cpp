// The pool of page buffers: blocks handed out once at a time and taken back,
// slabs given back to the system once all their blocks are free (a few kept),
// and threads taking and giving at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "storage/page_pool.h"

namespace {

using namespace jet;

TEST(PagePool, BlocksAreDistinctUsedAgainAndSlabsGoBack) {
    const page_pool::Counts before = page_pool::counts();
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 3000; ++i) {  // about a dozen slabs
        auto* b = static_cast<unsigned char*>(page_pool::take());
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(b) % 16, 0u);
        std::memset(b, i & 0xFF, page_pool::kBlock);
        blocks.push_back(b);
    }
    EXPECT_EQ(page_pool::counts().blocks_in_use, before.blocks_in_use + 3000);
    const std::size_t slabs = page_pool::counts().slabs;
    EXPECT_GE(slabs, before.slabs + 11);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        // No block overlaps another: each still holds what was written to it.
        for (std::size_t k = 0; k < page_pool::kBlock; k += 512) ASSERT_EQ(blocks[i][k], i & 0xFF) << i;
    }
    // Let go in another order than taken; taken again, the free blocks serve first.
    for (std::size_t i = 0; i < blocks.size(); i += 2) page_pool::give_back(blocks[i]);
    for (std::size_t i = 0; i < blocks.size(); i += 2) blocks[i] = static_cast<unsigned char*>(page_pool::take());
    EXPECT_EQ(page_pool::counts().slabs, slabs);
    for (unsigned char* b : blocks) page_pool::give_back(b);
    const page_pool::Counts after = page_pool::counts();
    EXPECT_EQ(after.blocks_in_use, before.blocks_in_use);
    EXPECT_LE(after.slabs, before.slabs + 8) << "slabs wholly free go back, but for a few";
    EXPECT_LT(after.slabs, slabs);
}

TEST(PagePool, ThreadsTakeAndGiveAtOnce) {
    const page_pool::Counts before = page_pool::counts();
    auto work = [](unsigned char mark) {
        std::vector<unsigned char*> held;
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < 300; ++i) {
                auto* b = static_cast<unsigned char*>(page_pool::take());
                std::memset(b, mark, page_pool::kBlock);
                held.push_back(b);
            }
            for (unsigned char* b : held) {
                EXPECT_EQ(b[0], mark);
                EXPECT_EQ(b[page_pool::kBlock - 1], mark);
                page_pool::give_back(b);
            }
            held.clear();
        }
    };
    std::thread a(work, 0xA5), b(work, 0x5A);
    a.join();
    b.join();
    EXPECT_EQ(page_pool::counts().blocks_in_use, before.blocks_in_use);
}

}  // namespace
