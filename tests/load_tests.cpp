// Loading and unloading the platform DLL at run time: every block it took at load is
// returned at unload, and loading again brings the services back.
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
        MemStats after = stats();
        EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
        EXPECT_EQ(before.liveBytes[memKindSingle], after.liveBytes[memKindSingle]);
        EXPECT_EQ(before.liveBlocks[memKindArray], after.liveBlocks[memKindArray]);
        EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
    }
}

} // namespace
