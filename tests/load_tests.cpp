// Loading and unloading the platform DLL at run time: every block it took at load is
// returned at unload, loading again brings the services back, and a load that runs out of
// memory at any of its allocations still completes.
#include "contracts/memory.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

typedef void* (*Accessor)();

// The accessors' exported (mangled) names; x86 adds a leading underscore only to C names.
const char* const registryAccessor = "_ZN14NamedInterface1iEv";
const char* const mainAccessor = "_ZN13MainInterface1iEv";

Accessor accessor(HMODULE library, const char* name) {
    return reinterpret_cast<Accessor>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

MemStats stats() {
    MemStats current;
    MemGetStats(&current);
    return current;
}

unsigned long long allocations(const MemStats& stats) {
    return stats.allocations[memKindSingle] + stats.allocations[memKindArray];
}

// The live counts stand where they stood before the DLL was loaded.
void expectEveryBlockBack(const MemStats& before) {
    MemStats after = stats();
    for (int kind : {memKindSingle, memKindArray}) {
        EXPECT_EQ(before.liveBlocks[kind], after.liveBlocks[kind]) << "kind " << kind;
        EXPECT_EQ(before.liveBytes[kind], after.liveBytes[kind]) << "kind " << kind;
    }
    EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
}

TEST(LoadAndUnload, ReturnsEveryBlockAndComesBackFresh) {
    ASSERT_EQ(nullptr, GetModuleHandleA("platform.dll")) << "this test loads it itself";
    MemStats before = stats();

    for (int round = 0; round < 2; ++round) {
        HMODULE library = LoadLibraryA("platform.dll");
        ASSERT_NE(nullptr, library);
        Accessor registry = accessor(library, registryAccessor);
        Accessor main = accessor(library, mainAccessor);
        ASSERT_NE(nullptr, registry);
        ASSERT_NE(nullptr, main);
        EXPECT_NE(nullptr, registry());
        EXPECT_NE(nullptr, main());
        EXPECT_GT(stats().liveBlocks[memKindSingle], before.liveBlocks[memKindSingle]);

        ASSERT_TRUE(FreeLibrary(library));
        EXPECT_EQ(nullptr, GetModuleHandleA("platform.dll"));
        expectEveryBlockBack(before);
    }
}

// Fails the n-th of the allocations a clean load makes, for every n: a failure that escaped a
// static initialiser would end this process, and a half-made service must still be freed.
TEST(LoadAndUnload, SurvivesAnyOneAllocationFailing) {
    MemStats before = stats();
    HMODULE library = LoadLibraryA("platform.dll");
    ASSERT_NE(nullptr, library);
    const unsigned long long made = allocations(stats()) - allocations(before);
    ASSERT_TRUE(FreeLibrary(library));
    ASSERT_GT(made, 0u);

    for (unsigned n = 1; n <= made; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << made << " failed");
        const unsigned long long start = allocations(stats());
        MemFailAllocationAfter(n);
        library = LoadLibraryA("platform.dll");
        EXPECT_EQ(0u, MemFailAllocationAfter(0)) << "the failure came while loading";
        EXPECT_LT(allocations(stats()) - start, made);
        ASSERT_NE(nullptr, library);
        ASSERT_TRUE(FreeLibrary(library));
        expectEveryBlockBack(before);
    }
}

} // namespace
