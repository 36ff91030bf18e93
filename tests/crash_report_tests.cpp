// The crash report's pieces driven directly, with the system's answers scripted where the
// machine cannot produce them (a clock, a Windows 9x version record, 4 GB of memory).
#include "crash/exception_report.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A report whose log is a real temporary file, read back as text.
class ReportFile {
public:
    ReportFile() : m_report(new ExceptionReport()) {
        char directory[MAX_PATH];
        GetTempPathA(MAX_PATH, directory);
        GetTempFileNameA(directory, "rep", 0, m_path);
        m_report->reportFile = CreateFileA(m_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~ReportFile() {
        CloseHandle(m_report->reportFile);
        DeleteFileA(m_path);
    }

    ExceptionReport* report() { return m_report.get(); }

    std::string text() {
        std::string content(GetFileSize(m_report->reportFile, nullptr), '\0');
        SetFilePointer(m_report->reportFile, 0, nullptr, FILE_BEGIN);
        DWORD got = 0;
        ReadFile(m_report->reportFile, &content[0], static_cast<DWORD>(content.size()), &got,
                 nullptr);
        SetFilePointer(m_report->reportFile, 0, nullptr, FILE_END);
        return content;
    }

private:
    std::unique_ptr<ExceptionReport> m_report;
    char m_path[MAX_PATH];
};

HMODULE self() {
    return GetModuleHandleA(nullptr);
}

FILETIME g_scriptedNow;
void WINAPI scriptedNow(FILETIME* now) {
    *now = g_scriptedNow;
}

TEST(ReportTime, SecondsAreEvenInTheFileNameAndTheTimeLine) {
    SYSTEMTIME local = {2026, 12, 4, 3, 23, 59, 27, 0};
    FILETIME localTime;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &g_scriptedNow);
    ImportPatch clock(self(), "kernel32.dll", "GetSystemTimeAsFileTime",
                      reinterpret_cast<void*>(scriptedNow));
    ASSERT_TRUE(clock.active());

    char base[MAX_PATH];
    MakeReportBase("C:\\Games\\App\\Game.exe", base);
    EXPECT_STREQ("C:\\Games\\App\\12-3-2026_23_59_26", base);
    char text[100];
    FormatFileTime(g_scriptedNow, text, sizeof text);
    EXPECT_STREQ("12/3/2026 23:59:26", text);

    ReportFile file;
    WriteSystemInfo(file.report());
    EXPECT_EQ(0u, file.text().find("Error occurred at 12/3/2026 23:59:26.\r\n"));
}

OSVERSIONINFOA g_scriptedVersion;
BOOL g_versionAnswer;
BOOL WINAPI scriptedVersion(OSVERSIONINFOA* version) {
    DWORD size = version->dwOSVersionInfoSize;
    *version = g_scriptedVersion;
    version->dwOSVersionInfoSize = size;
    return g_versionAnswer;
}

MEMORYSTATUS g_scriptedMemory;
void WINAPI scriptedMemory(MEMORYSTATUS* status) {
    *status = g_scriptedMemory;
}

// The system name line of WriteSystemInfo for a scripted version record.
std::string systemLine(DWORD platform, DWORD major, DWORD minor, BOOL answer = TRUE) {
    g_scriptedVersion = OSVERSIONINFOA{};
    g_scriptedVersion.dwPlatformId = platform;
    g_scriptedVersion.dwMajorVersion = major;
    g_scriptedVersion.dwMinorVersion = minor;
    g_versionAnswer = answer;
    ImportPatch version(self(), "kernel32.dll", "GetVersionExA",
                        reinterpret_cast<void*>(scriptedVersion));
    ReportFile file;
    WriteSystemInfo(file.report());
    std::string text = file.text();
    std::size_t start = text.find(", run by ");
    start = text.find("\r\n", start) + 2;
    return text.substr(start, text.find("\r\n", start) - start);
}

TEST(ReportSystem, NamesTheSystemFromItsVersionRecord) {
    EXPECT_EQ("Microsoft Windows 95.", systemLine(1, 4, 0));
    EXPECT_EQ("Microsoft Windows 95.", systemLine(1, 3, 95));
    EXPECT_EQ("Microsoft Windows 98.", systemLine(1, 4, 10));
    EXPECT_EQ("Microsoft Windows 98.", systemLine(1, 5, 0));
    EXPECT_EQ("Microsoft Windows 2000.", systemLine(2, 5, 0));
    EXPECT_EQ("Microsoft Windows XP?.", systemLine(2, 5, 1));
    EXPECT_EQ("Microsoft Windows XP?.", systemLine(2, 4, 0));
    EXPECT_EQ(".", systemLine(3, 5, 0));
    EXPECT_EQ(std::string::npos, systemLine(2, 5, 0, FALSE).find("Microsoft"))
        << "a failed query leaves the line out";
}

TEST(ReportSystem, MemoryIsRoundedUpToWholeMebibytes) {
    ImportPatch memory(self(), "kernel32.dll", "GlobalMemoryStatus",
                       reinterpret_cast<void*>(scriptedMemory));
    ASSERT_TRUE(memory.active());
    for (auto c : {std::make_pair(SIZE_T(4294967295u), "4096"),
                   std::make_pair(SIZE_T(1048576), "1"), std::make_pair(SIZE_T(1048577), "2")}) {
        g_scriptedMemory.dwTotalPhys = c.first;
        ReportFile file;
        WriteSystemInfo(file.report());
        EXPECT_NE(std::string::npos,
                  file.text().find(std::string("\r\n") + c.second + " MBytes physical memory.\r\n"))
            << file.text();
    }
}

TEST(ReportRegisters, Writes32BitRegistersAndUnreadableCodeBytes) {
    Registers32 r = {0x11,     0x22,  0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                     0x401000, 0x246, 0x1b, 0x23, 0x23, 0x23, 0x3b, 0};
    void* noAccess = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_NOACCESS);
    ReportFile file;
    WriteRegisters32(file.report(), r);
    WriteCodeBytes(file.report(), static_cast<const BYTE*>(noAccess));
    std::string unreadable;
    for (int i = 0; i < 16; ++i)
        unreadable += "?? ";
    EXPECT_EQ("\r\nRegisters:\r\n"
              "EAX=00000011 CS=001b EIP=00401000 EFLGS=00000246\r\n"
              "EBX=00000022 SS=0023 ESP=00000088 EBP=00000077\r\n"
              "ECX=00000033 DS=0023 ESI=00000055 FS=003b\r\n"
              "EDX=00000044 ES=0023 EDI=00000066 GS=0000\r\n"
              "Bytes at CS:EIP:\r\n" +
                  unreadable + "\r\n\r\n",
              file.text());
    VirtualFree(noAccess, 0, MEM_RELEASE);
}

TEST(ReportRegisters, CodeBytesStopBeingReadableAtAPageEdge) {
    BYTE* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old);
    pages[4094] = 0xc3;
    pages[4095] = 0x0f;
    ReportFile file;
    WriteCodeBytes(file.report(), pages + 4094);
    std::string expected = "c3 0f ";
    for (int i = 0; i < 14; ++i)
        expected += "?? ";
    EXPECT_EQ(expected + "\r\n\r\n", file.text());
    VirtualFree(pages, 0, MEM_RELEASE);
}

// Dumps a synthetic stack of words 0, 1, 2, ... whose base lies count words above.
std::string stackDump32(DWORD* words, unsigned count) {
    for (unsigned i = 0; i < count; ++i)
        words[i] = i;
    ReportFile file;
    ULONG_PTR start = reinterpret_cast<ULONG_PTR>(words);
    WriteStackDump32(file.report(), start, start + count * 4);
    return file.text();
}

std::string address32(const void* address) {
    char text[16];
    wsprintfA(text, "%08x", static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(address)));
    return text;
}

TEST(ReportStackDump, TwentyWordsMakeLinesOfEightEightAndFour) {
    DWORD words[20];
    std::string dump = stackDump32(words, 20);
    EXPECT_EQ("Stack dump:\r\n" + address32(words) +
                  ": 00000000 00000001 00000002 00000003 00000004 00000005 00000006 00000007\r\n" +
                  address32(words + 8) +
                  ": 00000008 00000009 0000000a 0000000b 0000000c 0000000d 0000000e 0000000f\r\n" +
                  address32(words + 16) + ": 00000010 00000011 00000012 00000013\r\n\r\n\r\n",
              dump);
}

TEST(ReportStackDump, StopsAt8192BytesAndAtTheBase) {
    std::unique_ptr<DWORD[]> deep(new DWORD[3000]);
    std::string dump = stackDump32(deep.get(), 3000);
    std::size_t lines = 0;
    for (std::size_t at = dump.find(": "); at != std::string::npos; at = dump.find(": ", at + 1))
        ++lines;
    EXPECT_EQ(256u, lines);
    EXPECT_NE(std::string::npos, dump.find(" 000007ff\r\n\r\n\r\n")) << "the last of 2048 words";

    ReportFile atBase;
    WriteStackDump32(atBase.report(), 0x1000, 0x1000);
    EXPECT_EQ("Stack dump:\r\n\r\n\r\n", atBase.text());
}

TEST(ReportStackDump, SixtyFourBitWordsKeepTheLayout) {
    DWORD64 words[9];
    for (unsigned i = 0; i < 9; ++i)
        words[i] = 0x100000000ull + i;
    ReportFile file;
    ULONG_PTR start = reinterpret_cast<ULONG_PTR>(words);
    WriteStackDump64(file.report(), start, start + sizeof words);
    std::string text = file.text();
    EXPECT_NE(std::string::npos,
              text.find(": 0000000100000000 0000000100000001 0000000100000002 0000000100000003 "
                        "0000000100000004 0000000100000005 0000000100000006 0000000100000007\r\n"));
    EXPECT_NE(std::string::npos, text.find(": 0000000100000008\r\n\r\n\r\n"));
}

TEST(ReportStackDump, AnUnreadableStackIsReportedInsteadOfDumped) {
    void* noAccess = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_NOACCESS);
    ULONG_PTR start = reinterpret_cast<ULONG_PTR>(noAccess);
    ReportFile file;
    WriteStackDump32(file.report(), start, start + 64);
    EXPECT_EQ("Stack dump:\r\nException encountered during stack dump.\r\n\r\n", file.text());
    VirtualFree(noAccess, 0, MEM_RELEASE);
}

TEST(ReportModules, PathsArePaddedTo35CharactersNeverCut) {
    ReportFile file;
    WriteModuleLine(file.report(), "C:\\a\\b.dll", 0x10000000, 4096, 0x3f000000, "");
    WriteModuleLine(file.report(), "C:\\Program Files\\Some Game\\bin\\x.dll", 0x20000000, 123456,
                    0xabcdef01, " - file date is 1/2/2003 04:05:06");
    std::string address1 = sizeof(void*) == 8 ? "0x0000000010000000" : "0x10000000";
    std::string address2 = sizeof(void*) == 8 ? "0x0000000020000000" : "0x20000000";
    EXPECT_EQ("C:\\a\\b.dll" + std::string(25, ' ') + ", loaded at " + address1 +
                  " -  4096 bytes - 3f000000\r\n"
                  "C:\\Program Files\\Some Game\\bin\\x.dll, loaded at " +
                  address2 + " - 123456 bytes - abcdef01 - file date is 1/2/2003 04:05:06\r\n",
              file.text());
}

TEST(ReportModules, ListsEveryLoadedModuleOnceInAddressOrder) {
    ReportFile file;
    WriteModuleList(file.report());
    std::string text = file.text();
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::size_t at = text.find(std::string(exe) + " ");
    if (at == std::string::npos)
        at = text.find(std::string(exe) + ",");
    EXPECT_NE(std::string::npos, at) << text;
    EXPECT_EQ(text.rfind(exe), at) << "listed once";
    EXPECT_NE(std::string::npos, text.find("diagnostics.dll"));
    ULONG_PTR previous = 0;
    for (std::size_t pos = text.find("loaded at 0x"); pos != std::string::npos;
         pos = text.find("loaded at 0x", pos + 1)) {
        ULONG_PTR base = std::stoull(text.substr(pos + 12, sizeof(void*) * 2), nullptr, 16);
        EXPECT_GT(base, previous);
        previous = base;
    }
}

TEST(ReportText, SplitsPathsIntoTheirFourParts) {
    char drive[4], directory[256], base[256], extension[256];
    SplitPath("C:\\Games\\App\\Game.exe", drive, directory, base, extension);
    EXPECT_STREQ("C:", drive);
    EXPECT_STREQ("\\Games\\App\\", directory);
    EXPECT_STREQ("Game", base);
    EXPECT_STREQ(".exe", extension);
    SplitPath("archive.tar.gz", drive, directory, base, extension);
    EXPECT_STREQ("", drive);
    EXPECT_STREQ("", directory);
    EXPECT_STREQ("archive.tar", base);
    EXPECT_STREQ(".gz", extension);
    SplitPath("D:readme", drive, directory, base, extension);
    EXPECT_STREQ("D:", drive);
    EXPECT_STREQ("", directory);
    EXPECT_STREQ("readme", base);
    EXPECT_STREQ("", extension);
}

TEST(ReportText, NamesExceptionsAndModules) {
    EXPECT_STREQ("a Stack Overflow", GetExceptionName(0xC00000FD));
    EXPECT_STREQ("a Microsoft C++ Exception", GetExceptionName(0xE06D7363));
    EXPECT_STREQ("Unknown exception type", GetExceptionName(0x12345678));

    char name[MAX_PATH];
    GetModuleNameOfAddress(reinterpret_cast<const void*>(&MakeReportBase), name);
    char exe[MAX_PATH], drive[4], directory[256], base[256], extension[256];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    SplitPath(exe, drive, directory, base, extension);
    EXPECT_EQ(std::string(base) + extension, name);

    void* freeMemory = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(freeMemory, 0, MEM_RELEASE);
    GetModuleNameOfAddress(freeMemory, name);
    EXPECT_EQ(std::string(base) + extension, name) << "free memory answers with the executable";

    std::unique_ptr<int> heap(new int(1));
    GetModuleNameOfAddress(heap.get(), name);
    EXPECT_STREQ("Unknown", name);
}

std::string g_debugOutput;
void WINAPI recordDebugOutput(const char* text) {
    g_debugOutput += text;
}
DWORD WINAPI unreachableProgram(HMODULE, char* path, DWORD) {
    lstrcpyA(path, "Z:\\no\\such\\directory\\game.exe");
    return lstrlenA(path);
}

TEST(RecordExceptionInfo, SaysSoWhenTheLogCannotBeCreated) {
    ImportPatch output(self(), "kernel32.dll", "OutputDebugStringA",
                       reinterpret_cast<void*>(recordDebugOutput));
    ImportPatch program(self(), "kernel32.dll", "GetModuleFileNameA",
                        reinterpret_cast<void*>(unreachableProgram));
    ASSERT_TRUE(output.active() && program.active());
    CONTEXT context = {};
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    EXCEPTION_POINTERS info = {&record, &context};
    g_debugOutput.clear();
    EXPECT_EQ(0, RecordExceptionInfo(&info));
    EXPECT_EQ("RecordExceptionInfo: error creating exception report", g_debugOutput);
}

} // namespace
