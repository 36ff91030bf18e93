// The utility service in the loaded DLL: file times, URL splitting, the executable's path.
#include "NamedInterface.h"
#include "SysUtilInterface.h"
#include "contracts/memory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

SysUtilInterface& util() {
    return *SysUtilInterface::i();
}

TEST(SysUtil, FileTimeIsTheModificationTimeInUnixSecondsOrZero) {
    EXPECT_EQ(SysUtilInterface::i(), NamedInterface::i()->getInterface("SysUtil"));
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string path = temp + ("sys_util_time_" + std::to_string(GetCurrentProcessId()));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    // 10^9 seconds after 1970, as 100-nanosecond ticks since 1601.
    ULARGE_INTEGER ticks;
    ticks.QuadPart = 116444736000000000ULL + 1000000000ULL * 10000000ULL;
    const FILETIME modified = {ticks.LowPart, ticks.HighPart};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &modified));
    CloseHandle(file);
    EXPECT_EQ(1000000000L, util().getFileTime(path.c_str()));
    DeleteFileA(path.c_str());
    EXPECT_EQ(0L, util().getFileTime(path.c_str()));
    EXPECT_EQ(0L, util().getFileTime(nullptr));
}

// The strings are filled inside the DLL from the memory library's heap, so the test frees
// what the DLL allocated; a failed split leaves both strings.
TEST(SysUtil, SplitUrlGivesTheHostWithoutSchemeAndThePathFromItsSlash) {
    MemStats before;
    MemGetStats(&before);
    const char* const url = "http://downloads.example-games.com:8080/patches/v1.2/readme.txt";
    for (const char* input :
         {url, "", "not a url", "http//no.colon/path", static_cast<const char*>(nullptr)}) {
        std::string host = "old host", path = "old path";
        EXPECT_EQ(input == url, util().splitUrl(input, host, path));
        EXPECT_EQ(input == url ? "downloads.example-games.com" : "old host", host);
        EXPECT_EQ(input == url ? "/patches/v1.2/readme.txt" : "old path", path);
    }
    MemStats after;
    MemGetStats(&after);
    EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
}

TEST(SysUtil, ExecutablePathIsTheSystemsCutToFitAndTerminated) {
    char expected[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, expected, sizeof expected), 5u);
    char path[MAX_PATH] = {};
    EXPECT_TRUE(util().getExecutablePath(path, sizeof path));
    EXPECT_STREQ(expected, path);
    char cut[6];
    std::memset(cut, 'x', sizeof cut);
    EXPECT_TRUE(util().getExecutablePath(cut, sizeof cut));
    EXPECT_EQ(std::string(expected, 5), std::string(cut, strnlen(cut, sizeof cut)));
    char untouched[] = "abc";
    EXPECT_FALSE(util().getExecutablePath(untouched, 0));
    EXPECT_STREQ("abc", untouched);
    EXPECT_FALSE(util().getExecutablePath(nullptr, MAX_PATH));
}

} // namespace
