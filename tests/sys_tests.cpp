// The loaded DLL's services: loader, utilities, timer, entry point and shell open.
#include "AppInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SharedLibraryInterface.h"
#include "SysUtilInterface.h"
#include "Timer.h"
#include "libraries/bind_table.h"
#include "support/child_process.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <type_traits>
#include <vector>

namespace {
// Binding succeeds only with the required id (0 asks for none) and a setup that agrees; a
// failed bind leaves the library unloaded.
TEST(SharedLibrary, BindsByTheConventionOrLeavesTheLibraryUnloaded) {
    SharedLibraryInterface& loader = *SharedLibraryInterface::i();
    EXPECT_EQ(&loader, NamedInterface::i()->getInterface("SharedLibrary"));
    const std::tuple<const char*, unsigned, bool, int> rows[] = {
        {"bind_ok.dll", boundLibraryId, true, 1},
        {"bind_ok.dll", 0, true, 1},
        {"bind_no_id.dll", 0, true, 1},
        {"bind_no_id.dll", boundLibraryId, false, 0},
        {"bind_refused.dll", boundLibraryId, false, 1},
        {"bind_no_setup.dll", boundLibraryId, false, 0},
        {"no_such_library.dll", 0, false, 0},
        {"", 0, false, 0},
        {nullptr, 0, false, 0},
    };
    for (const auto& [file, requiredId, bound, setupCalls] : rows) {
        const char* name = file ? file : "null";
        int calls = 0;
        HMODULE library = loader.loadAndBindLibrary(file, &calls, requiredId);
        EXPECT_EQ(std::make_pair(bound, setupCalls), std::make_pair(library != nullptr, calls))
            << name << " with id " << requiredId;
        EXPECT_EQ(library, GetModuleHandleA(name)) << name;
        if (!library)
            continue;
        EXPECT_TRUE(loader.getFunction(library, "setupFunctionTable", 0) &&
                    !loader.getFunction(library, "noSuchExport", 0) &&
                    !loader.getFunction(library, "", 0) &&
                    !loader.getFunction(library, nullptr, 0));
        EXPECT_TRUE(loader.unloadLibrary(library) && !GetModuleHandleA(name));
    }
    EXPECT_FALSE(loader.unloadLibrary(nullptr) || loader.getFunction(nullptr, "getLibraryID", 0));
}

// After the system's search the loader tries bin under QVX_Root, cleaned of doubled separators
// before its length counts; libraryExists looks in the system and the current directory only.
TEST(LibrarySearch, LoadsFromTheBinDirectoryUnderQvxRoot) {
    SharedLibraryInterface& loader = *SharedLibraryInterface::i();
    char previous[MAX_PATH] = {};
    const std::string tree = programDirectory() + "loader_search", root = tree + "\\App",
                      bin = root + "\\bin";
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
    for (const auto& [qvxRoot, found] : rows) {
        SetEnvironmentVariableA("QVX_Root", qvxRoot.c_str());
        EXPECT_EQ((found ? tree + found + "qvx_probe.dll" : "null") + "\r\n",
                  runChild("\"" + programDirectory() + "loader_child.exe\" qvx_probe.dll").output)
            << qvxRoot;
    }
    SetEnvironmentVariableA("QVX_Root", nullptr);
    for (const char* name : {"qvx_probe", "no_such_library", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(loader.libraryExists(name)) << (name ? name : "null");
    SetCurrentDirectoryA(bin.c_str());
    for (const char* name : {"qvx_probe", "qvx_probe.dll", "kernel32", "kernel32.dll"})
        EXPECT_TRUE(loader.libraryExists(name)) << name;
    SetCurrentDirectoryA(previous);
    DeleteFileA((bin + "\\qvx_probe.dll").c_str());
    for (const std::string& directory : {bin, root, tree})
        RemoveDirectoryA(directory.c_str());
}

// The DLL's file query (_stat64 on x86_64): "present" was modified, read and changed at
// different times, which Windows tells apart (Wine does not); any other path fails.
using StatRecord = std::conditional_t<sizeof(void*) == 8, struct _stat64, struct _stat>;
int __cdecl scriptedStat(const char* path, StatRecord* status) {
    *status = StatRecord();
    status->st_mtime = 1000000000;
    status->st_atime = status->st_ctime = 7;
    return std::strcmp(path, "present") == 0 ? 0 : -1;
}

// The opt-in takes the current directory out of the search of the game's own loads by bare
// name; XP's call is given an empty directory (Wine ignores that one, hence recorded); a
// system without either keeps the search as it was.
TEST(LibrarySearch, OptInKeepsALibraryPlantedInTheCurrentDirectoryOut) {
    const std::string folder = programDirectory() + "planted", planted = folder + "\\planted.dll";
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((programDirectory() + "bind_ok.dll").c_str(), planted.c_str(), FALSE);
    const std::pair<const char*, std::string> rows[] = {
        {"", planted},
        {" nocwd", "removed\r\nnull"},
        {" nocwd-xp", "SetDllDirectoryA(\"\")\r\nremoved\r\n" + planted},
        {" nocwd-old", "kept\r\n" + planted}};
    for (const auto& [option, loaded] : rows)
        EXPECT_EQ(loaded + "\r\n",
                  runChild("\"" + programDirectory() + "loader_child.exe\" planted.dll" + option,
                           folder)
                      .output)
            << option;
}

// The file time is the modification time, else 0; the executable's path is cut and terminated.
TEST(SysUtil, FileTimeAndExecutablePath) {
    SysUtilInterface& util = *SysUtilInterface::i();
    EXPECT_EQ(&util, NamedInterface::i()->getInterface("SysUtil"));
    ImportPatch patch(GetModuleHandleA("platform.dll"), "msvcrt.dll",
                      sizeof(void*) == 8 ? "_stat64" : "_stat", scriptedStat);
    EXPECT_TRUE(patch.active() && util.getFileTime("present") == 1000000000L);
    for (const char* missing : {"missing", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(0L, util.getFileTime(missing)) << (missing ? missing : "null");
    char expected[MAX_PATH] = {}, path[MAX_PATH] = {}, cut[6] = "xxxxx", untouched[] = "abc";
    ASSERT_GT(GetModuleFileNameA(nullptr, expected, sizeof expected), 5u);
    EXPECT_TRUE(util.getExecutablePath(path, sizeof path) && std::string(expected) == path);
    EXPECT_TRUE(util.getExecutablePath(cut, sizeof cut));
    EXPECT_EQ(std::string(expected, 5), std::string(cut, strnlen(cut, sizeof cut)));
    EXPECT_FALSE(util.getExecutablePath(untouched, 0) || std::strcmp("abc", untouched) != 0 ||
                 util.getExecutablePath(nullptr, MAX_PATH));
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

const long long testFrequency = 10000000;
long long g_counter = 0, g_frequency = testFrequency;

// The DLL's counter queries, scripted, so every reading is exact.
template <long long* value> BOOL WINAPI scriptedReading(LARGE_INTEGER* reading) {
    reading->QuadPart = *value;
    return TRUE;
}

// Two segments, the unit set again between them, read while the second runs and once stopped:
// scaled by the timer's own frequency (none: only ticks), less the overhead and never below 0;
// products beyond 64 bits keep their size and quotients of 2^63 or more saturate. A copy reads the
// same; a restart reads 0 and runs, so the same ticks again read the same.
TEST(Timer, SegmentsAddUpAndReadInEveryUnitAcrossARestart) {
    const HMODULE platform = GetModuleHandleA("platform.dll");
    ImportPatch counter(platform, "kernel32.dll", "QueryPerformanceCounter",
                        scriptedReading<&g_counter>);
    ImportPatch frequency(platform, "kernel32.dll", "QueryPerformanceFrequency",
                          scriptedReading<&g_frequency>);
    ASSERT_TRUE(counter.active() && frequency.active());
    const long long huge = 1LL << 62;
    const std::tuple<Timer::timerResolution, long long, long long, long long, float, long long>
        rows[] = {
            {Timer::seconds, testFrequency, 0, 25000000, 2.5f, 2},
            {Timer::milliseconds, testFrequency, 0, 25000000, 2500.0f, 2500},
            {Timer::microseconds, testFrequency, 0, 25000000, 2500000.0f, 2500000},
            {Timer::ticks, testFrequency, 0, 25000000, 25000000.0f, 25000000},
            {Timer::microseconds, testFrequency, 10, 810, 80.0f, 80},
            {Timer::seconds, testFrequency, 500, 499, 0.0f, 0},
            {Timer::milliseconds, 0, 0, 500, 0.0f, 0},
            {Timer::ticks, 0, 0, 500, 500.0f, 500},
            {Timer::microseconds, 1000000, 0, huge, float(huge), huge},
            {Timer::microseconds, 500000, 0, huge, float(huge) * 2, LLONG_MAX}, // exactly 2^63
            {Timer::microseconds, 1, 0, huge, float(huge) * 1e6f, LLONG_MAX},
        };
    for (const auto& [resolution, frequency, overhead, ticks, real, whole] : rows) {
        g_frequency = frequency;
        Timer::setOverheadTicks(overhead);
        Timer timer(resolution);
        g_frequency = testFrequency / 2;
        g_counter = 1;
        timer.start();
        g_counter += ticks / 2;
        timer.stop();
        timer.setResolution(resolution);
        g_counter = 1000;
        timer.start();
        g_counter += ticks - ticks / 2;
        EXPECT_FLOAT_EQ(real, timer.getElapsedTimeReal()) << resolution << " " << ticks;
        timer.stop();
        EXPECT_EQ(whole, timer.getElapsedTime()) << resolution << " " << ticks;
        Timer copy(Timer::ticks);
        copy = timer;
        EXPECT_EQ(whole, copy.getElapsedTime()) << "the copy keeps unit, total and frequency";
        timer.restart();
        EXPECT_TRUE(timer.getElapsedTime() == 0 && timer.getResolution() == resolution);
        g_counter += ticks;
        EXPECT_EQ(whole, timer.getElapsedTime()) << resolution << " " << ticks << " restarted";
        timer.start();
        timer.stop();
        timer.stop();
        EXPECT_EQ(0, timer.getElapsedTime()) << "start again drops the segment, stop again nothing";
        timer.start();
        timer.reset();
        EXPECT_FALSE(timer.isTimerRunning());
    }
}

// Registered as "main" before PlatWinMain, which runs the game once with its instance stored.
TEST(PlatWinMain, RunsTheGameOnceWithItsInstanceAndReturnsZero) {
    EXPECT_EQ(MainInterface::i(), NamedInterface::i()->getInterface("main"));
    struct RecordingApp : AppInterface {
        const char* name() const override { return "recording"; }
        int run() override { return instances.push_back(MainInterface::i()->getInstance()), 7; }
        std::vector<void*> instances;
    } app;
    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(0, Plat::App::PlatWinMain(other, nullptr, nullptr, 0, &app));
    EXPECT_EQ(0, Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &app));
    EXPECT_EQ(std::vector<void*>({other, GetModuleHandleA(nullptr)}), app.instances);
}

// A failed open gives the system's text, cut to the buffer, whose next byte stays as it was: the
// shell's (0), else invalid parameter (no name) or too long (name and parameters over 512).
TEST(MainService, ShellOpenFailsWithTheSystemsTextCutToTheBuffer) {
    const std::string missing = "Z:\\no\\such\\file.txt",
                      longName = missing + std::string(10000, 'u');
    const char* const parameters = longName.c_str() + longName.size() - 512 + missing.size();
    const std::tuple<const char*, const char*, unsigned, DWORD> rows[] = {
        {missing.c_str(), parameters + 1, 8, 0},
        {missing.c_str(), parameters, 1, 0},
        {missing.c_str(), parameters - 1, 256, ERROR_FILENAME_EXCED_RANGE},
        {longName.c_str() + 10000 - 513 + missing.size(), nullptr, 256, ERROR_FILENAME_EXCED_RANGE},
        {"", nullptr, 256, ERROR_INVALID_PARAMETER},
        {nullptr, nullptr, 0, ERROR_INVALID_PARAMETER}};
    for (const auto& [file, parameters, size, error] : rows) {
        char text[257], system[512] = {};
        std::memset(text, 'x', sizeof text);
        EXPECT_FALSE(MainInterface::i()->shellOpen(file, nullptr, parameters, text, size));
        const DWORD code = GetLastError();
        EXPECT_TRUE(error ? code == error : code && code != ERROR_FILENAME_EXCED_RANGE) << code;
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, system, sizeof system,
                       nullptr);
        EXPECT_EQ(std::string(system).substr(0, size ? size - 1 : 0), size ? text : "");
        EXPECT_EQ('x', text[size]) << size;
    }
    EXPECT_FALSE(MainInterface::i()->shellOpen(missing.c_str(), nullptr, nullptr, nullptr, 64));
}

} // namespace
