// The loader in the loaded DLL: binding the project's test libraries by convention, probing,
// and where it looks. QVX_Root is read once per process, so each root case runs the loader in
// a child process and reads back the file it loaded. The probe library lies only in a
// temporary tree, never where the system's own search would find it.
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

// A temporary tree with the probe library in its bin directories, removed again at the end.
class LibrarySearch : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        GetLongPathNameA(temp, temp, sizeof temp);
        m_tree = temp + ("loader_search_" + std::to_string(GetCurrentProcessId())) + "\\";
        for (const char* directory : m_directories)
            CreateDirectoryA((m_tree + directory).c_str(), nullptr);
        for (const char* directory : {"App\\bin\\", "bin\\", "srv\\share\\bin\\"})
            CopyFileA((programDirectory() + "bind_ok.dll").c_str(),
                      (m_tree + directory + "qvx_probe.dll").c_str(), FALSE);
        GetCurrentDirectoryA(sizeof m_previous, m_previous);
        SetCurrentDirectoryA(m_tree.c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryA(m_previous);
        for (size_t index = std::size(m_directories); index > 1; --index) {
            DeleteFileA((m_tree + m_directories[index - 1] + "qvx_probe.dll").c_str());
            RemoveDirectoryA((m_tree + m_directories[index - 1]).c_str());
        }
        RemoveDirectoryA(m_tree.c_str());
    }

    // What loader_child printed, run in the tree with QVX_Root set to root unless it is null.
    static std::string runLoader(const char* root, const std::string& arguments) {
        SetEnvironmentVariableA("QVX_Root", root);
        ChildResult child = runChild("\"" + programDirectory() + "loader_child.exe\" " + arguments);
        SetEnvironmentVariableA("QVX_Root", nullptr);
        return child.output;
    }

    const char* const m_directories[7] = {"",      "App\\",        "App\\bin\\",       "bin\\",
                                          "srv\\", "srv\\share\\", "srv\\share\\bin\\"};
    std::string m_tree;
    char m_previous[MAX_PATH] = {};
};

// After the system's search the loader tries bin under QVX_Root, read once per process, in any
// spelling of its separators; leading separators make the root relative to the current
// directory. libraryExists looks in the system directory and the current one only.
TEST_F(LibrarySearch, LoadsFromTheBinDirectoryUnderQvxRoot) {
    const std::string root = m_tree + "App";
    std::string forward = root, doubled;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    for (char c : root)
        doubled += c == '\\' ? "\\\\" : std::string(1, c);
    const std::pair<std::string, const char*> rows[] = {{root, "App\\bin\\"},
                                                        {root + "\\", "App\\bin\\"},
                                                        {forward, "App\\bin\\"},
                                                        {doubled + "\\\\", "App\\bin\\"},
                                                        {"", "bin\\"},
                                                        {"\\App", "App\\bin\\"},
                                                        {"\\\\srv\\share", "srv\\share\\bin\\"}};
    for (const auto& row : rows)
        EXPECT_EQ(m_tree + row.second + "qvx_probe.dll\r\n",
                  runLoader(row.first.c_str(), "qvx_probe.dll"))
            << row.first;
    EXPECT_EQ("null\r\nnull\r\n", runLoader(nullptr, "qvx_probe.dll \"" + root + "\""))
        << "without a root only the system searches, and a later root is not read";

    for (const char* name : {"qvx_probe", "no_such_library", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(loader().libraryExists(name)) << (name ? name : "null");
    ASSERT_TRUE(SetCurrentDirectoryA((m_tree + "App\\bin").c_str()));
    for (const char* name : {"qvx_probe", "qvx_probe.dll", "kernel32", "kernel32.dll"})
        EXPECT_TRUE(loader().libraryExists(name)) << name;
}

} // namespace
