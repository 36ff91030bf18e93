// Loading and unloading the platform DLL at run time: every block it took is returned, and a
// load that runs out of memory at any allocation still completes.
#include "contracts/memory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>

namespace {

std::array<unsigned long long, 6> heap() {
    MemStats stats;
    MemGetStats(&stats);
    return {stats.liveBlocks[0],      stats.liveBlocks[1],
            stats.liveBytes[0],       stats.liveBytes[1],
            stats.mismatchedReleases, stats.allocations[0] + stats.allocations[1]};
}

// Load 0 is clean and counts the allocations a load makes; load n fails the n-th of them.
TEST(LoadAndUnload, ReturnsEveryBlockAndSurvivesAnyOneAllocationFailing) {
    ASSERT_EQ(nullptr, GetModuleHandleA("platform.dll")) << "this test loads it itself";
    auto before = heap();
    unsigned long long made = 0;
    for (unsigned n = 0; n == 0 || n <= made; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << made << " failed");
        MemFailAllocationAfter(n);
        HMODULE library = LoadLibraryA("platform.dll");
        EXPECT_EQ(0u, MemFailAllocationAfter(0)) << "the failure came while loading";
        const unsigned long long allocated = heap()[5] - before[5];
        made = n == 0 ? allocated : made;
        EXPECT_TRUE(n == 0 ? made > 0 : allocated < made);
        ASSERT_NE(nullptr, library);
        ASSERT_TRUE(FreeLibrary(library));
        before[5] = heap()[5];
        EXPECT_EQ(before, heap());
    }
}

} // namespace
