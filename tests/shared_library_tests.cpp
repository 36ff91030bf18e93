// The loader in the loaded DLL: binding the project's test libraries by convention, and the
// defined answers to bad input.
#include "NamedInterface.h"
#include "SharedLibraryInterface.h"
#include "libraries/bind_table.h"

#include <gtest/gtest.h>

namespace {

SharedLibraryInterface& loader() {
    return *SharedLibraryInterface::i();
}

TEST(SharedLibrary, IsRegisteredUnderItsName) {
    ASSERT_NE(nullptr, SharedLibraryInterface::i());
    EXPECT_EQ(SharedLibraryInterface::i(), NamedInterface::i()->getInterface("SharedLibrary"));
}

TEST(SharedLibrary, BindsWithTheRequiredIdAndHandsTheTableThrough) {
    ASSERT_EQ(nullptr, GetModuleHandleA("bind_ok.dll"));
    BindTable table = {};
    HMODULE library = loader().loadAndBindLibrary("bind_ok.dll", &table, boundLibraryId);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(1, table.setupCalls);
    EXPECT_EQ(library, GetModuleHandleA("bind_ok.dll"));
    EXPECT_NE(nullptr, loader().getFunction(library, "getLibraryID", 0));
    EXPECT_EQ(nullptr, loader().getFunction(library, "noSuchExport", 0));
    EXPECT_EQ(nullptr, loader().getFunction(library, nullptr, 0));
    EXPECT_TRUE(loader().unloadLibrary(library));
    EXPECT_EQ(nullptr, GetModuleHandleA("bind_ok.dll"));

    HMODULE withoutId = loader().loadAndBindLibrary("bind_no_id.dll", &table, 0);
    EXPECT_NE(nullptr, withoutId) << "id 0 asks for no id";
    EXPECT_EQ(2, table.setupCalls);
    EXPECT_TRUE(loader().unloadLibrary(withoutId));
}

TEST(SharedLibrary, AFailedBindLeavesTheLibraryUnloaded) {
    const struct {
        const char* name;
        unsigned requiredId;
        int setupCalls;
    } cases[] = {
        {"bind_no_id.dll", boundLibraryId, 0},
        {"bind_other_id.dll", boundLibraryId, 0},
        {"bind_refused.dll", boundLibraryId, 1},
        {"bind_refused.dll", 0, 1},
        {"bind_no_setup.dll", boundLibraryId, 0},
        {"bind_no_setup.dll", 0, 0},
        {"no_such_library.dll", 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(nullptr, GetModuleHandleA(c.name)) << c.name;
        BindTable table = {};
        EXPECT_EQ(nullptr, loader().loadAndBindLibrary(c.name, &table, c.requiredId)) << c.name;
        EXPECT_EQ(c.setupCalls, table.setupCalls) << c.name << " with id " << c.requiredId;
        EXPECT_EQ(nullptr, GetModuleHandleA(c.name)) << c.name;
    }
}

TEST(SharedLibrary, BadInputGetsFalseOrNull) {
    BindTable table = {};
    EXPECT_FALSE(loader().unloadLibrary(nullptr));
    EXPECT_EQ(nullptr, loader().loadLibrary(nullptr));
    EXPECT_EQ(nullptr, loader().loadLibrary(""));
    EXPECT_EQ(nullptr, loader().loadAndBindLibrary(nullptr, &table, 0));
    EXPECT_FALSE(loader().libraryExists(nullptr));
    EXPECT_FALSE(loader().libraryExists(""));
    EXPECT_EQ(0, table.setupCalls);
}

TEST(SharedLibrary, LibraryExistsFindsSystemLibrariesWithOrWithoutExtension) {
    EXPECT_TRUE(loader().libraryExists("kernel32"));
    EXPECT_TRUE(loader().libraryExists("kernel32.dll"));
    EXPECT_FALSE(loader().libraryExists("no_such_library"));
}

} // namespace
