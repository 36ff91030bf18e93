// The loader in the loaded DLL: binding the project's test libraries by convention, probing,
// and where it looks. QVX_Root is read once per process, so each root case runs the loader
// in a child process with the case's environment and current directory and reads back the
// file it loaded. The probe library lies only in a temporary tree, never where the system's
// own search would find it.
#include "NamedInterface.h"
#include "SharedLibraryInterface.h"
#include "libraries/bind_table.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

SharedLibraryInterface& loader() {
    return *SharedLibraryInterface::i();
}

// Binding succeeds only with the required id (0 asks for none) and a setup that agrees; a
// failed bind leaves the library unloaded.
TEST(SharedLibrary, BindsByTheConventionOrLeavesTheLibraryUnloaded) {
    EXPECT_EQ(SharedLibraryInterface::i(), NamedInterface::i()->getInterface("SharedLibrary"));
    const struct {
        const char* name;
        unsigned requiredId;
        bool bound;
        int setupCalls;
    } rows[] = {
        {"bind_ok.dll", boundLibraryId, true, 1},
        {"bind_ok.dll", 0, true, 1},
        {"bind_no_id.dll", 0, true, 1},
        {"bind_no_id.dll", boundLibraryId, false, 0},
        {"bind_other_id.dll", boundLibraryId, false, 0},
        {"bind_refused.dll", boundLibraryId, false, 1},
        {"bind_refused.dll", 0, false, 1},
        {"bind_no_setup.dll", boundLibraryId, false, 0},
        {"bind_no_setup.dll", 0, false, 0},
        {"no_such_library.dll", 0, false, 0},
        {nullptr, 0, false, 0},
    };
    for (const auto& row : rows) {
        const char* name = row.name ? row.name : "null";
        ASSERT_EQ(nullptr, GetModuleHandleA(name)) << name;
        BindTable table = {};
        HMODULE library = loader().loadAndBindLibrary(row.name, &table, row.requiredId);
        EXPECT_EQ(row.bound, library != nullptr) << name << " with id " << row.requiredId;
        EXPECT_EQ(row.setupCalls, table.setupCalls) << name << " with id " << row.requiredId;
        EXPECT_EQ(library, GetModuleHandleA(name)) << name;
        if (!library)
            continue;
        EXPECT_NE(nullptr, loader().getFunction(library, "setupFunctionTable", 0));
        EXPECT_EQ(nullptr, loader().getFunction(library, "noSuchExport", 0));
        EXPECT_EQ(nullptr, loader().getFunction(library, nullptr, 0));
        EXPECT_TRUE(loader().unloadLibrary(library));
        EXPECT_EQ(nullptr, GetModuleHandleA(name));
    }
    EXPECT_FALSE(loader().unloadLibrary(nullptr));
    EXPECT_EQ(nullptr, loader().loadLibrary(nullptr));
    EXPECT_EQ(nullptr, loader().loadLibrary(""));
    EXPECT_EQ(nullptr, loader().getFunction(nullptr, "getLibraryID", 0));
}

const std::string probeName = "qvx_probe.dll";
// The tree's directories in creation order; the probe is copied into the bin directories.
const char* const treeDirectories[] = {"",      "App\\",        "App\\bin\\",       "bin\\",
                                       "srv\\", "srv\\share\\", "srv\\share\\bin\\"};
const char* const binDirectories[] = {"App\\bin\\", "bin\\", "srv\\share\\bin\\"};

class LibrarySearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        GetLongPathNameA(temp, temp, sizeof temp);
        s_tree = temp + ("loader_search_" + std::to_string(GetCurrentProcessId())) + "\\";
        for (const char* directory : treeDirectories)
            CreateDirectoryA((s_tree + directory).c_str(), nullptr);
        for (const char* directory : binDirectories)
            CopyFileA((programDirectory() + "bind_ok.dll").c_str(),
                      (s_tree + directory + probeName).c_str(), FALSE);
    }
    static void TearDownTestSuite() {
        for (const char* directory : binDirectories)
            DeleteFileA((s_tree + directory + probeName).c_str());
        for (size_t index = std::size(treeDirectories); index > 0; --index)
            RemoveDirectoryA((s_tree + treeDirectories[index - 1]).c_str());
    }

    // What loader_child printed, in the tree and with QVX_Root set to root unless it is null.
    static std::string runLoader(const char* root, const std::string& arguments) {
        char previous[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof previous, previous);
        SetCurrentDirectoryA(s_tree.c_str());
        SetEnvironmentVariableA("QVX_Root", root);
        ChildResult child = runChild("\"" + programDirectory() + "loader_child.exe\" " + arguments);
        SetEnvironmentVariableA("QVX_Root", nullptr);
        SetCurrentDirectoryA(previous);
        return child.output;
    }

    static std::string s_tree;
};

std::string LibrarySearch::s_tree;

// After the system's search, the loader tries bin under the root in any spelling of its
// separators; leading separators make the root relative to the current directory.
TEST_F(LibrarySearch, LoadsFromTheBinDirectoryUnderQvxRoot) {
    const std::string root = s_tree + "App";
    std::string forward = root, doubled;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    for (char c : root)
        doubled += c == '\\' ? "\\\\" : std::string(1, c);
    const struct {
        std::string root;
        const char* directory;
    } rows[] = {
        {root, "App\\bin\\"},
        {root + "\\", "App\\bin\\"},
        {forward, "App\\bin\\"},
        {doubled + "\\\\", "App\\bin\\"},
        {"", "bin\\"},
        {"\\App", "App\\bin\\"},
        {"\\\\srv\\share", "srv\\share\\bin\\"},
    };
    for (const auto& row : rows)
        EXPECT_EQ("missing\r\n" + s_tree + row.directory + probeName + "\r\n",
                  runLoader(row.root.c_str(), probeName))
            << row.root;
    EXPECT_EQ("missing\r\nnull\r\nnull\r\n", runLoader(nullptr, probeName + " \"" + root + "\""))
        << "without a root only the system searches, and a later root is not read";
}

// libraryExists looks in the system directory and the current one, never under the root.
TEST_F(LibrarySearch, LibraryExistsLooksInTheSystemAndCurrentDirectories) {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA((s_tree + "App\\bin").c_str()));
    for (const char* name : {"qvx_probe", "qvx_probe.dll", "kernel32", "kernel32.dll"})
        EXPECT_TRUE(loader().libraryExists(name)) << name;
    ASSERT_TRUE(SetCurrentDirectoryA(s_tree.c_str()));
    for (const char* name : {"qvx_probe", "no_such_library", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(loader().libraryExists(name)) << (name ? name : "null");
    SetCurrentDirectoryA(previous);
}

} // namespace
