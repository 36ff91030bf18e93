// The crash report's pieces driven directly, with the system's answers scripted where the
// machine cannot produce them.
#include "PlatApp.h"
#include "contracts/diagnostics.h"
#include "crash/crash_annotations.h"
#include "crash/exception_filter.h"
#include "crash/exception_report.h"
#include "crash/pending_reports.h"
#include "crash/runtime_abort.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

// Scripts what the report's call of function answers, for the life of the result.
template <typename Answer>
ImportPatch script(const char* library, const char* function, Answer* answer) {
    return ImportPatch(GetModuleHandleA(nullptr), library, function, answer);
}

// What write puts into the log of a report whose log is a temporary file.
template <typename Write> std::string reportText(Write write) {
    char path[MAX_PATH];
    GetTempFileNameA(".", "rep", 0, path);
    std::unique_ptr<ExceptionReport> report(new ExceptionReport());
    report->reportFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    write(report.get());
    std::string text(GetFileSize(report->reportFile, nullptr), '\0');
    SetFilePointer(report->reportFile, 0, nullptr, FILE_BEGIN);
    DWORD got = 0;
    ReadFile(report->reportFile, &text[0], static_cast<DWORD>(text.size()), &got, nullptr);
    CloseHandle(report->reportFile);
    return text;
}

// The clock, version record and memory status the system gives, and the version query's answer.
template <typename Record> Record g_record;
BOOL g_versionAnswer;
template <typename Record> BOOL WINAPI scripted(Record* record) {
    *record = g_record<Record>;
    return g_versionAnswer;
}

// User names of 254, 255 and 256 characters in turn; a buffer too small is refused.
unsigned g_userNames = 0;
BOOL WINAPI scriptedUser(char* name, DWORD* size) {
    const std::string user(254 + g_userNames++ % 3, 'u');
    return user.size() < *size && lstrcpynA(name, user.c_str(), int(*size));
}

// The system section without the processors' line; a user name that does not fit reads
// "Unknown", a failed version query leaves the system's name out. Seconds are even, here as in
// the report's file name, whose base is cut to 246 characters, leaving room for its suffixes.
TEST(ReportSystem, NamesTheTimeAndSystemAndRoundsMemoryUpToWholeMebibytes) {
    SYSTEMTIME local = {2026, 12, 4, 3, 23, 59, 27, 0};
    FILETIME localTime;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &g_record<FILETIME>);
    auto clock = script("kernel32.dll", "GetSystemTimeAsFileTime", scripted<FILETIME>);
    auto version = script("kernel32.dll", "GetVersionExA", scripted<OSVERSIONINFOA>);
    auto status = script("kernel32.dll", "GlobalMemoryStatus", scripted<MEMORYSTATUS>);
    auto user = script("advapi32.dll", "GetUserNameA", scriptedUser);
    char base[MAX_PATH];
    for (const std::size_t length : {245u, 246u, 247u}) {
        const std::string directory = "C:\\" + std::string(length - 22, 'd') + "\\";
        makeReportBase((directory + "Game.exe").c_str(), base);
        EXPECT_EQ((directory + "12-3-2026_23_59_26").substr(0, 246), base);
    }
    const SIZE_T mib = 1048576;
    const struct {
        DWORD platform, major, minor;
        BOOL answer;
        SIZE_T memory;
        const char* lines;
    } cases[] = {
        {1, 4, 0, TRUE, mib, "Microsoft Windows 95.\r\n1"},
        {1, 3, 95, TRUE, mib + 1, "Microsoft Windows 95.\r\n2"},
        {1, 4, 10, TRUE, SIZE_T(4294967295u), "Microsoft Windows 98.\r\n4096"},
        {1, 5, 0, TRUE, mib, "Microsoft Windows 98.\r\n1"},
        {2, 5, 0, TRUE, mib, "Microsoft Windows 2000.\r\n1"},
        {2, 5, 1, TRUE, mib, "Microsoft Windows XP?.\r\n1"},
        {2, 4, 0, TRUE, mib, "Microsoft Windows XP?.\r\n1"},
        {3, 5, 0, TRUE, mib, ".\r\n1"},
        {2, 5, 0, FALSE, mib, "1"},
    };
    for (const auto& c : cases) {
        g_record<OSVERSIONINFOA> = {sizeof(OSVERSIONINFOA), c.major, c.minor, 0, c.platform, {}};
        g_versionAnswer = c.answer;
        g_record<MEMORYSTATUS>.dwTotalPhys = c.memory;
        const std::string name =
            g_userNames % 3 < 2 ? std::string(254 + g_userNames % 3, 'u') : "Unknown";
        std::string text = reportText([](ExceptionReport* report) {
            prepareReportFacts();
            writeSystemInfo(report);
        });
        std::size_t start = text.rfind("\r\n", text.find(" processor(s), type ")) + 2;
        text.erase(start, text.find("\r\n", start) + 2 - start);
        EXPECT_EQ("Error occurred at 12/3/2026 23:59:26.\r\n, run by " + name + ".\r\n" + c.lines +
                      " MBytes physical memory.\r\n",
                  text);
    }
}

// The stack dump of words 0, 1, 2, ... of the given size, count words below the stack
// base, with each line's address replaced by "@".
template <typename Word> std::string stackDump(unsigned count) {
    std::unique_ptr<Word[]> words(new Word[count + 1]);
    for (unsigned i = 0; i < count; ++i)
        words[i] = sizeof(Word) == 8 ? 0x100000000ull + i : i;
    ULONG_PTR start = reinterpret_cast<ULONG_PTR>(words.get());
    std::string text = reportText([&](ExceptionReport* report) {
        (sizeof(Word) == 8 ? writeStackDump64 : writeStackDump32)(report, start,
                                                                  start + count * sizeof(Word));
    });
    char address[24];
    for (ULONG_PTR line = start;; line += 8 * sizeof(Word)) {
        std::snprintf(address, sizeof address, "%0*llx: ", int(2 * sizeof(Word)),
                      line & (sizeof(Word) == 8 ? ~0ull : 0xffffffffull));
        std::size_t at = text.find(address);
        if (at == std::string::npos)
            return text;
        text.replace(at, std::strlen(address), "@");
    }
}

TEST(ReportStackDump, EightWordsALineUpTo8192BytesOrTheBase) {
    EXPECT_EQ("Stack dump:\r\n@00000000 00000001 00000002 00000003 00000004 00000005 00000006 "
              "00000007\r\n@00000008 00000009 0000000a 0000000b 0000000c 0000000d 0000000e "
              "0000000f\r\n@00000010 00000011 00000012 00000013\r\n\r\n\r\n",
              stackDump<DWORD>(20));
    for (const unsigned count : {2047u, 2048u, 2049u}) // 8192 bytes at most
        EXPECT_NE(std::string::npos, stackDump<DWORD>(count).find(
                                         count < 2048 ? " 000007fe\r\n\r\n" : " 000007ff\r\n\r\n"));
    EXPECT_EQ("Stack dump:\r\n\r\n\r\n", stackDump<DWORD>(0));
    EXPECT_EQ("Stack dump:\r\n@0000000100000000 0000000100000001 0000000100000002 "
              "0000000100000003 0000000100000004 0000000100000005 0000000100000006 "
              "0000000100000007\r\n@0000000100000008\r\n\r\n\r\n",
              stackDump<DWORD64>(9));
}

// A walk of g_frames addresses followed by a 0 and more, which faults after storing
// g_walkFaultAt of them, and whose naming faults at g_faultAt.
int g_frames, g_walkFaultAt, g_faultAt, g_named, g_capacity, g_skip;
bool scriptedWalk(LONG_PTR* addresses, int capacity, int skip, EXCEPTION_POINTERS*) {
    g_capacity = capacity;
    g_skip = skip;
    for (int i = 0; i < capacity; ++i) {
        if (i == g_walkFaultAt)
            *static_cast<volatile int*>(nullptr) = 0;
        addresses[i] = i == g_frames ? 0 : 0x1000 + i;
    }
    return true;
}
bool scriptedName(LONG_PTR address, char* buffer, unsigned size) {
    if (g_named++ == g_faultAt)
        *static_cast<volatile int*>(nullptr) = 0;
    std::snprintf(buffer, size, "frame %d", static_cast<int>(address - 0x1000));
    return true;
}

// A fault inside a section costs the rest of that section only: the frames found before a
// fault in the walk, or named before a fault in the naming, stand.
TEST(ReportCallStack, OneLinePerFrameUpToTheFirstZeroOr64) {
    auto walk = script("diagnostics.dll", "dbDoStackTrace", scriptedWalk);
    auto names = script("diagnostics.dll", "dbConvertAddress", scriptedName);
    ASSERT_TRUE(walk.active() && names.active());
    const char* const fault = "Exception encountered during stack trace.\r\n";
    const struct {
        int frames, walkFaultAt, faultAt, lines;
        const char* end;
    } cases[] = {{0, -1, -1, 0, ""},   {3, -1, -1, 3, ""},   {63, -1, -1, 63, ""},
                 {64, -1, -1, 64, ""}, {65, -1, -1, 64, ""}, {5, -1, 2, 2, fault},
                 {64, 3, -1, 3, fault}};
    for (const auto& c : cases) {
        g_frames = c.frames;
        g_walkFaultAt = c.walkFaultAt;
        g_faultAt = c.faultAt;
        g_named = 0;
        std::string expected = "Call Stack:\r\n";
        for (int i = 0; i < c.lines; ++i)
            expected += "frame " + std::to_string(i) + "\r\n";
        EXCEPTION_POINTERS info = {};
        EXPECT_EQ(expected + c.end + "\r\n",
                  reportText([&](ExceptionReport* report) { writeCallStack(report, &info); }))
            << c.frames << " frames";
    }
    EXPECT_EQ(std::make_pair(64, 0), std::make_pair(g_capacity, g_skip)) << "capacity, skip";
}

HANDLE WINAPI refuseFile(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

TEST(ReportModules, ALineHoldsPathBaseFileSizeStampAndFileDate) {
    const std::string wide = sizeof(void*) == 8 ? "00000000" : "";
    EXPECT_EQ("C:\\a\\b.dll" + std::string(25, ' ') + ", loaded at 0x" + wide +
                  "10000000 -  4096 bytes - 3f000000\r\nC:\\Program Files\\Some Game\\bin\\x.dll, "
                  "loaded at 0x" +
                  wide + "20000000 - 123456 bytes - abcdef01 - file date is 1/2/2003 04:05:06\r\n",
              reportText([](ExceptionReport* report) {
                  writeModuleLine(report, "C:\\a\\b.dll", 0x10000000, 4096, 0x3f000000, "");
                  writeModuleLine(report, "C:\\Program Files\\Some Game\\bin\\x.dll", 0x20000000,
                                  123456, 0xabcdef01, " - file date is 1/2/2003 04:05:06");
              }));
    // A module whose file cannot be opened: size 0 and no file date.
    HMODULE module = GetModuleHandleA("diagnostics.dll");
    char path[MAX_PATH], start[MAX_PATH + 64];
    GetModuleFileNameA(module, path, MAX_PATH);
    std::snprintf(start, sizeof start, "%-35s, loaded at 0x%0*llx -     0 bytes - ", path,
                  int(2 * sizeof(void*)), 0ull + reinterpret_cast<ULONG_PTR>(module));
    auto refusal = script("kernel32.dll", "CreateFileA", refuseFile);
    std::string line =
        reportText([&](ExceptionReport* report) { writeModuleInfo(report, module); });
    EXPECT_EQ(std::string(start) + line.substr(line.size() - 10), line);
    std::unique_ptr<int> heap(new int(1));
    moduleNameOfAddress(heap.get(), path);
    EXPECT_STREQ("Unknown", path) << "heap memory lies in no module";
}

std::string g_debugOutput;
void WINAPI recordDebugOutput(const char* text) {
    g_debugOutput += text;
}

// The callbacks are read from a fixed array after the fault: it takes 64, then refuses,
// and takes none outside the library's lifetime.
TEST(CrashCallbacks, SixtyFourFitThenTheListRefuses) {
    createCrashCallbackList();
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(Plat::App::AddCrashCallback([] {}, nullptr)) << i;
    EXPECT_FALSE(Plat::App::AddCrashCallback([] {}, nullptr));
    destroyCrashCallbackList();
    EXPECT_FALSE(Plat::App::AddCrashCallback([] {}, nullptr));
}

std::string annotationText() {
    static char text[annotationTextSize];
    return std::string(text, copyCrashAnnotations(text, sizeof text, "=", ";"));
}

// Each limit at its value, one below and one past: what does not fit is refused whole, with a
// trace, and leaves the pairs as they were; a null value removes a pair.
TEST(CrashAnnotations, TakeWhatFitsAndRefuseTheRestWhole) {
    const std::string k(65, 'k'), v(257, 'v');
    const struct {
        std::string key;
        const char* value;
        bool taken;
    } rows[] = {{k.substr(2), "63", true},
                {k.substr(1), "64", true},
                {k, "65", false},
                {"v", v.c_str() + 2, true},
                {"v", v.c_str() + 1, true},
                {"w", v.c_str(), false},
                {"", "empty key", false},
                {"a b", "space in key", false},
                {"a=b", "equals in key", false},
                {"line", "one\ntwo", false},
                {"tab", "a\tb", false},
                {"v", nullptr, true},
                {"gone", nullptr, true},
                {"level", "Harbour: night", true}};
    for (const auto& row : rows) {
        const unsigned traces = dbRecordCount();
        EXPECT_EQ(row.taken, Plat::App::SetCrashAnnotation(row.key.c_str(), row.value)) << row.key;
        EXPECT_EQ(row.taken ? traces : traces + 1, dbRecordCount()) << row.key;
    }
    EXPECT_EQ(k.substr(2) + "=63;" + k.substr(1) + "=64;level=Harbour: night;", annotationText());
    for (const auto& row : rows)
        Plat::App::SetCrashAnnotation(row.key.c_str(), nullptr);
    for (int i = 0; i < Plat::App::crashAnnotationCapacity; ++i)
        ASSERT_TRUE(Plat::App::SetCrashAnnotation(("key" + std::to_string(i)).c_str(), "x"));
    EXPECT_FALSE(Plat::App::SetCrashAnnotation("one-more", "x"));
    EXPECT_TRUE(Plat::App::SetCrashAnnotation("key0", "replaced"));
    EXPECT_EQ(0u, annotationText().find("key0=replaced;key1=x;"));
    EXPECT_TRUE(Plat::App::SetCrashAnnotation("key5", nullptr));
    EXPECT_TRUE(Plat::App::SetCrashAnnotation("one-more", "x"));
    for (int i = 0; i < Plat::App::crashAnnotationCapacity; ++i)
        Plat::App::SetCrashAnnotation(("key" + std::to_string(i)).c_str(), nullptr);
    EXPECT_EQ("one-more=x;", annotationText());
}

// A report pair whose dump has the given size and whose log was written minutes ago.
void placeReport(const std::string& folder, int minutes, ULONGLONG dumpBytes) {
    const std::string base = folder + std::to_string(minutes);
    HANDLE log = CreateFileA((base + "_ErrorLog.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER written = {{now.dwLowDateTime, now.dwHighDateTime}};
    written.QuadPart -= ULONGLONG(minutes) * 600000000;
    FILETIME time = {written.LowPart, written.HighPart};
    SetFileTime(log, nullptr, nullptr, &time);
    CloseHandle(log);
    HANDLE dump = CreateFileA((base + "_MiniDump.dmp").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    LONG high = LONG(dumpBytes >> 32);
    SetFilePointer(dump, LONG(dumpBytes & 0xffffffff), &high, FILE_BEGIN);
    SetEndOfFile(dump);
    CloseHandle(dump);
}

// The pending reports are capped at their count and bytes: at the limits and one below all
// stay, one past drops the oldest, files and all. A log without its dump is not pending.
TEST(PendingReports, TheOldestGoPastTheCountOrTheBytes) {
    const ULONGLONG third = Plat::App::pendingReportBytes / 3;
    const struct {
        int reports;
        ULONGLONG lastDumpBytes;
        std::size_t kept;
    } rows[] = {{Plat::App::pendingReportLimit - 1, 1, 9},
                {Plat::App::pendingReportLimit, 1, 10},
                {Plat::App::pendingReportLimit + 1, 1, 10},
                {3, Plat::App::pendingReportBytes - 2 * third - 1, 3},
                {3, Plat::App::pendingReportBytes - 2 * third, 3},
                {3, Plat::App::pendingReportBytes - 2 * third + 1, 2}};
    for (const auto& row : rows) {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        const std::string pending = std::string(folder) + "pending_reports\\";
        CreateDirectoryA(pending.c_str(), nullptr);
        for (int i = 0; i < row.reports; ++i)
            placeReport(pending, row.reports - i,
                        i + 1 < row.reports ? (row.reports == 3 ? third : 1) : row.lastDumpBytes);
        CloseHandle(CreateFileA((pending + "0_ErrorLog.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
        auto kept = capPendingReports(findPendingReports({pending}), Plat::App::pendingReportLimit,
                                      Plat::App::pendingReportBytes);
        ASSERT_EQ(row.kept, kept.size()) << row.reports << " " << row.lastDumpBytes;
        EXPECT_EQ(pending + std::to_string(row.kept) + "_ErrorLog.txt", kept.front().logPath);
        EXPECT_EQ(row.kept, findPendingReports({pending}).size());
        for (const PendingReport& report : kept)
            removePendingReport(report);
        DeleteFileA((pending + "0_ErrorLog.txt").c_str());
        RemoveDirectoryA(pending.c_str());
    }
}

// Installed twice, the abort handler still gives the game's back at unload, but not over
// one the game set after it.
TEST(RuntimeAbort, GivesTheGamesHandlerBackAtUnload) {
    using Handler = void (*)(int);
    const Handler game = [](int) {}, later = [](int) {};
    std::signal(SIGABRT, game);
    installRuntimeAbortHook();
    installRuntimeAbortHook();
    removeRuntimeAbortHook();
    EXPECT_EQ(game, std::signal(SIGABRT, game));
    installRuntimeAbortHook();
    std::signal(SIGABRT, later);
    removeRuntimeAbortHook();
    EXPECT_EQ(later, std::signal(SIGABRT, SIG_DFL));
}

TEST(ReportFile, SaysSoWhenTheLogCannotBeCreated) {
    auto output = script("kernel32.dll", "OutputDebugStringA", recordDebugOutput);
    auto refusal = script("kernel32.dll", "CreateFileA", refuseFile);
    CONTEXT context = {};
    EXCEPTION_RECORD record = {};
    EXCEPTION_POINTERS info = {&record, &context};
    EXPECT_EQ(0, recordExceptionInfo(&info));
    EXPECT_EQ("RecordExceptionInfo: error creating exception report", g_debugOutput);
}

} // namespace
