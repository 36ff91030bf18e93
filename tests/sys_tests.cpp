// The loader and the utility service in the loaded DLL.
#include "NamedInterface.h"
#include "SharedLibraryInterface.h"
#include "SysUtilInterface.h"
#include "libraries/bind_table.h"
#include "support/child_process.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <tuple>

namespace {
SharedLibraryInterface& loader() {
    return *SharedLibraryInterface::i();
}

const std::string g_longName = std::string(300, 'n') + ".dll";

// Binding succeeds only with the required id (0 asks for none) and a setup that agrees; a
// failed bind leaves the library unloaded.
TEST(SharedLibrary, BindsByTheConventionOrLeavesTheLibraryUnloaded) {
    EXPECT_EQ(SharedLibraryInterface::i(), NamedInterface::i()->getInterface("SharedLibrary"));
    const std::tuple<const char*, unsigned, bool, int> rows[] = {
        {"bind_ok.dll", boundLibraryId, true, 1},
        {"bind_ok.dll", 0, true, 1},
        {"bind_no_id.dll", 0, true, 1},
        {"bind_no_id.dll", boundLibraryId, false, 0},
        {"bind_refused.dll", boundLibraryId, false, 1},
        {"bind_no_setup.dll", boundLibraryId, false, 0},
        {"no_such_library.dll", 0, false, 0},
        {g_longName.c_str(), 0, false, 0},
        {"", 0, false, 0},
        {nullptr, 0, false, 0},
    };
    for (const auto& [file, requiredId, bound, setupCalls] : rows) {
        const char* name = file ? file : "null";
        int calls = 0;
        HMODULE library = loader().loadAndBindLibrary(file, &calls, requiredId);
        EXPECT_EQ(bound, library != nullptr) << name << " with id " << requiredId;
        EXPECT_EQ(setupCalls, calls) << name << " with id " << requiredId;
        EXPECT_EQ(library, GetModuleHandleA(name)) << name;
        if (!library)
            continue;
        EXPECT_TRUE(loader().getFunction(library, "setupFunctionTable", 0) &&
                    !loader().getFunction(library, "noSuchExport", 0) &&
                    !loader().getFunction(library, "", 0) &&
                    !loader().getFunction(library, nullptr, 0));
        EXPECT_TRUE(loader().unloadLibrary(library) && !GetModuleHandleA(name));
    }
    EXPECT_FALSE(loader().unloadLibrary(nullptr));
    EXPECT_EQ(nullptr, loader().getFunction(nullptr, "getLibraryID", 0));
}

std::string runLoader(const char* root) {
    SetEnvironmentVariableA("QVX_Root", root);
    ChildResult child = runChild("\"" + programDirectory() + "loader_child.exe\" qvx_probe.dll");
    SetEnvironmentVariableA("QVX_Root", nullptr);
    return child.output;
}

// After the system's search the loader tries bin under QVX_Root in any spelling of
// its separators, cleaned before its length counts. libraryExists looks in the system directory
// and the current one only. The probe library lies only in a temporary tree's bin directory.
TEST(LibrarySearch, LoadsFromTheBinDirectoryUnderQvxRoot) {
    char temp[MAX_PATH] = {}, previous[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    GetLongPathNameA(temp, temp, sizeof temp);
    const std::string tree = temp + ("loader_search_" + std::to_string(GetCurrentProcessId()));
    const std::string root = tree + "\\App", bin = root + "\\bin";
    for (const std::string& directory : {tree, root, bin})
        CreateDirectoryA(directory.c_str(), nullptr);
    CopyFileA((programDirectory() + "bind_ok.dll").c_str(), (bin + "\\qvx_probe.dll").c_str(),
              FALSE);
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(tree.c_str());
    const std::pair<std::string, const char*> rows[] = {
        {root, "\\App\\bin\\"},
        {"\\App", "\\App\\bin\\"},
        {tree + std::string(300, '/') + "App\\/", "\\App\\bin\\"},
        {root + "\\" + std::string(300, 'r'), nullptr}};
    for (const auto& row : rows)
        EXPECT_EQ((row.second ? tree + row.second + "qvx_probe.dll" : "null") + "\r\n",
                  runLoader(row.first.c_str()))
            << row.first;
    for (const char* name : {"qvx_probe", "no_such_library", g_longName.c_str(), "",
                             static_cast<const char*>(nullptr)})
        EXPECT_FALSE(loader().libraryExists(name)) << (name ? name : "null");
    SetCurrentDirectoryA(bin.c_str());
    for (const char* name : {"qvx_probe", "qvx_probe.dll", "kernel32", "kernel32.dll"})
        EXPECT_TRUE(loader().libraryExists(name)) << name;
    SetCurrentDirectoryA(previous);
    DeleteFileA((bin + "\\qvx_probe.dll").c_str());
    for (const std::string& directory : {bin, root, tree})
        RemoveDirectoryA(directory.c_str());
}

// The DLL's file query, scripted (_stat64 behind the runtime's inline wrapper on x86_64):
// "present" was modified 10^9 seconds after 1970 and read and changed at other times, which
// Windows tells apart (Wine does not); any other path fails, with a record not to be read.
#ifdef _WIN64
typedef struct _stat64 StatRecord;
#else
typedef struct _stat StatRecord;
#endif
int __cdecl scriptedStat(const char* path, StatRecord* status) {
    *status = StatRecord();
    status->st_mtime = 1000000000;
    status->st_atime = status->st_ctime = 7;
    return std::strcmp(path, "present") == 0 ? 0 : -1;
}

// The file time is the modification time, else 0; the executable's path is cut and terminated.
TEST(SysUtil, FileTimeAndExecutablePath) {
    EXPECT_EQ(SysUtilInterface::i(), NamedInterface::i()->getInterface("SysUtil"));
    ImportPatch patch(GetModuleHandleA("platform.dll"), "msvcrt.dll",
                      sizeof(void*) == 8 ? "_stat64" : "_stat",
                      reinterpret_cast<void*>(scriptedStat));
    EXPECT_TRUE(patch.active() && SysUtilInterface::i()->getFileTime("present") == 1000000000L);
    for (const char* missing : {"missing", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(0L, SysUtilInterface::i()->getFileTime(missing)) << (missing ? missing : "null");
    char expected[MAX_PATH] = {}, path[MAX_PATH] = {}, cut[6] = "xxxxx", untouched[] = "abc";
    ASSERT_GT(GetModuleFileNameA(nullptr, expected, sizeof expected), 5u);
    EXPECT_TRUE(SysUtilInterface::i()->getExecutablePath(path, sizeof path));
    EXPECT_STREQ(expected, path);
    EXPECT_TRUE(SysUtilInterface::i()->getExecutablePath(cut, sizeof cut));
    EXPECT_EQ(std::string(expected, 5), std::string(cut, strnlen(cut, sizeof cut)));
    EXPECT_TRUE(!SysUtilInterface::i()->getExecutablePath(untouched, 0) &&
                std::strcmp("abc", untouched) == 0);
    EXPECT_FALSE(SysUtilInterface::i()->getExecutablePath(nullptr, MAX_PATH));
}

// Host and path, also of 10,000 characters; a failed split leaves both strings as they were.
TEST(SysUtil, SplitUrlGivesTheHostAndThePath) {
    const std::string longPath = "/" + std::string(9970, 'p'), longHost = std::string(9980, 'h');
    const std::string rows[][3] = {
        {"http://downloads.example-games.com:8080/patches/v1.2/readme.txt",
         "downloads.example-games.com", "/patches/v1.2/readme.txt"},
        {"http://example.com" + longPath, "example.com", longPath},
        {"http://" + longHost + "/x", longHost, "/x"},
        {"", "old host", "old path"},
        {"http//no.colon/path", "old host", "old path"},
        {"null", "old host", "old path"}};
    for (const auto& row : rows) {
        std::string host = "old host", path = "old path";
        const char* url = row[0] == "null" ? nullptr : row[0].c_str();
        EXPECT_EQ(row[1] != "old host", SysUtilInterface::i()->splitUrl(url, host, path))
            << row[0].size();
        EXPECT_TRUE(row[1] == host && row[2] == path) << row[0].size() << " " << host.size();
    }
}

} // namespace
