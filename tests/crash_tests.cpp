// Real crashes in child processes: exit code, what the child printed, the error log's
// sections in order, and a minidump that holds the crash's exception.
#include "PlatApp.h"
#include "support/child_process.h"

#include <windows.h>

#include <dbghelp.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> filesEndingWith(const std::string& directory, const std::string& suffix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "*" + suffix).c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        names.push_back(found.cFileName);
    FindClose(search);
    return names;
}

// The error log cut at the titles of the sections below, fewer pieces when one is missing or
// out of order; the system section runs through the memory line.
enum Section {
    header,
    systemInfo,
    access,
    minidump,
    registers,
    callStack,
    stackDump,
    modules,
    annotations,
    events,
    signature
};

std::vector<std::string> splitReport(const std::string& log) {
    std::istringstream titles(
        "\r\n|MBytes physical memory.\r\n|\r\nMiniDump |\r\n\r\nRegisters:\r\n|"
        "Call Stack:\r\n|\r\nStack dump:\r\n|\r\n\r\n\r\nModule list: names, "
        "addresses, sizes, time stamps and file times:\r\n|\r\nAnnotations:\r\n|"
        "\r\nRecent events:\r\n|\r\nSignature: ");
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (std::string title; std::getline(titles, title, '|');) {
        std::size_t found = log.find(title, at);
        if (found == std::string::npos)
            return pieces;
        std::size_t end = found + title.size();
        pieces.push_back(log.substr(at, (pieces.size() == systemInfo ? end : found) - at));
        at = end;
    }
    pieces.push_back(log.substr(at));
    return pieces;
}

const bool wide = sizeof(void*) == 8;

// A stream of the dump, empty without a valid dump or such a stream.
std::string minidumpStream(const std::string& path, ULONG32 type) {
    std::string dump = readFile(path);
    auto header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
    if (dump.size() < sizeof *header || header->Signature != 0x504D444D) // "MDMP"
        return "";
    auto entries = reinterpret_cast<const MINIDUMP_DIRECTORY*>(&dump[header->StreamDirectoryRva]);
    for (ULONG32 i = 0; i < header->NumberOfStreams; ++i)
        if (entries[i].StreamType == type)
            return dump.substr(entries[i].Location.Rva, entries[i].Location.DataSize);
    return "";
}

// The code in the dump's exception stream, or 0 without one.
DWORD minidumpExceptionCode(const std::string& path) {
    std::string stream = minidumpStream(path, ExceptionStream);
    return stream.empty() ? 0
                          : reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream.data())
                                ->ExceptionRecord.ExceptionCode;
}

// Whether the minidump is saved: always, unless the process is too damaged for dbghelp to be
// relied on (then no empty file may remain either), or never, without dbghelp.
enum Dump { saved, mayFail, fails };

struct CrashCase {
    const char* directory; // also the test's name
    const char* arguments;
    const char* output; // what the child prints last; "@" stands for its directory, "%" the system's
    DWORD code;                       // the exception; the exit code too where nothing reports
    const char* name = nullptr;       // in the report's header; null where no report is written
    const char* accessVerb = nullptr; // "Write to" or "Read from"; null without one
    unsigned accessAddress = 0;
    // The call stack's lines' beginnings, in order, "|"-separated; the first stands first.
    const char* stack = "";
    Dump dump = saved;
    const char* stackText = nullptr; // the stack dump section exactly; null for words
    int frames = 0;                  // the call stack's lines; 0 for any number
    bool refused = false; // the program's folder refuses files: the report is in the user's
    const char* top = "crash_child.exe+0x"; // how the signature's top frames begin
};

class CrashMatrix : public ::testing::TestWithParam<CrashCase> {};

// A directory of its own for each run, so its report stands alone; the DLLs lie in "lib",
// the child's current directory, so that beside the program and beside them differ.
std::string prepareRun(const std::string& name) {
    const std::string runs = programDirectory() + "crash-runs\\", directory = runs + name + "\\";
    for (const std::string& path : {runs, directory, directory + "lib"})
        CreateDirectoryA(path.c_str(), nullptr);
    for (const std::string& old : filesEndingWith(directory, ""))
        DeleteFileA((directory + old).c_str());
    for (std::string file :
         {"crash_child.exe", "platform.dll", "diagnostics.dll", "memory.dll", "stringtable.dll"})
        CopyFileA((programDirectory() + file).c_str(),
                  (directory + (file.back() == 'l' ? "lib\\" : "") + file).c_str(), FALSE);
    return directory;
}

// The system directory, with a trailing backslash.
std::string systemFolder() {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\";
}

// Where the library puts a report that the program's folder refuses.
std::string userReportFolder() {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    return std::string(folder) + "\\crash_child\\";
}

ChildResult runCrashChild(const std::string& directory, const std::string& arguments) {
    return runChild("\"" + directory + "crash_child.exe\" " + arguments, directory + "lib");
}

TEST_P(CrashMatrix, CallbacksFirstThenTheReportAndExitCodeOne) {
    const CrashCase& c = GetParam();
    const std::string directory = prepareRun(c.directory);
    const std::string reports = c.refused ? userReportFolder() : directory;
    for (const char* suffix : {"_ErrorLog.txt", "_MiniDump.dmp"}) {
        for (const std::string& old : filesEndingWith(reports, suffix))
            DeleteFileA((reports + old).c_str());
    }
    ChildResult child = runCrashChild(directory, c.arguments);
    ASSERT_TRUE(child.finished);
    std::string output = c.output;
    for (const auto& [mark, text] : {std::make_pair('@', directory), {'%', systemFolder()}}) {
        for (std::size_t at; (at = output.find(mark)) != std::string::npos;)
            output.replace(at, 1, text);
    }
    // Whatever the runtime or the system prints comes first; the child's own lines end it,
    // and no callback ran before them.
    std::size_t tail = child.output.size() - std::min(child.output.size(), output.size());
    EXPECT_EQ(output, child.output.substr(tail)) << child.output;
    EXPECT_EQ(std::string::npos, child.output.substr(0, tail).find("callback ran"));
    EXPECT_EQ(c.name ? 1u : c.code, child.exitCode);
    std::vector<std::string> logs = filesEndingWith(reports, "_ErrorLog.txt");
    std::vector<std::string> dumps = filesEndingWith(reports, "_MiniDump.dmp");
    EXPECT_TRUE(!c.refused || filesEndingWith(directory, "_ErrorLog.txt").size() +
                                      filesEndingWith(directory, "_MiniDump.dmp").size() ==
                                  0);
    ASSERT_EQ(c.name ? 1u : 0u, logs.size());
    // The dump lies beside the log, under the same time stamp.
    std::string dumpPath = dumps.empty() ? "" : reports + dumps.front();
    if (!c.name) {
        EXPECT_EQ("", dumpPath);
        return;
    }
    std::vector<std::string> report = splitReport(readFile(reports + logs[0]));
    ASSERT_EQ(11u, report.size()) << readFile(reports + logs[0]);
    EXPECT_EQ(
        0u, report[header].find("crash_child.exe caused " + std::string(c.name) +
                                (c.accessVerb ? " in module crash_child.exe at " : " in module ")))
        << report[header];
    EXPECT_NE(std::string::npos, report[systemInfo].find("\r\ncrash_child.exe, run by "));
    char address[17];
    std::snprintf(address, sizeof address, "%0*x", wide ? 16 : 8, c.accessAddress);
    EXPECT_EQ(c.accessVerb ? std::string(c.accessVerb) + " location " + address +
                                 " caused an access violation.\r\n"
                           : "",
              report[access]);
    bool written = c.dump == saved || (c.dump == mayFail && report[minidump] != "failed to save.");
    EXPECT_EQ(written ? reports + logs[0].substr(0, logs[0].size() - 13) + "_MiniDump.dmp" : "",
              dumpPath);
    EXPECT_EQ(written ? "saved to file '" + dumpPath + "'" : "failed to save.", report[minidump]);
    EXPECT_EQ(written ? c.code : 0u, minidumpExceptionCode(dumpPath));
    EXPECT_EQ(written ? "build=1234\nlevel=Harbour: night\n" : "",
              minidumpStream(dumpPath, Plat::App::crashAnnotationStream));
    EXPECT_EQ("build: 1234\r\nlevel: Harbour: night\r\n", report[annotations]);
    EXPECT_NE(std::string::npos,
              report[events].find("breadcrumb: entered run\r\ntrace: crashing by " +
                                  std::string(c.arguments).substr(0, 4)))
        << report[events];
    char code[9];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(c.code));
    EXPECT_EQ(0u, report[signature].find(code)) << report[signature];
    EXPECT_EQ(std::string(code).size() + 17,
              report[signature].find("\r\nTop frames: " + std::string(c.top)))
        << report[signature];
    // The header's address is the register block's; only at 0 is the code unreadable.
    const std::size_t cs = report[header].rfind(" at ") + 4;
    const std::string ip = report[header].substr(cs + 5, 2 * sizeof(void*));
    EXPECT_EQ(0u, report[registers].find(wide ? "RAX=" : "EAX=")) << report[registers];
    EXPECT_EQ(wide ? 20u : 12u, report[registers].find(" CS=" + report[header].substr(cs, 4) +
                                                       (wide ? " RIP=" : " EIP=") + ip));
    EXPECT_NE(std::string::npos, report[registers].find(wide ? "\r\nBytes at CS:RIP:\r\n"
                                                             : "\r\nBytes at CS:EIP:\r\n"));
    EXPECT_EQ(ip.find_first_not_of('0') == std::string::npos,
              report[registers].find("?? ") != std::string::npos);
    std::string stack = "\r\n" + report[callStack];
    std::stringstream pieces(c.stack);
    std::size_t at = 0;
    for (std::string piece; std::getline(pieces, piece, '|'); at += 2 + piece.size()) {
        bool first = at == 0;
        at = stack.find("\r\n" + piece, at);
        ASSERT_NE(std::string::npos, at) << "missing or out of order: " << piece << stack;
        EXPECT_TRUE(!first || at == 0) << "not first: " << piece << stack;
    }
    if (c.frames) {
        EXPECT_EQ(c.frames, std::count(report[callStack].begin(), report[callStack].end(), '\n'))
            << stack;
    }
    std::string words = report[stackDump].substr(0, report[stackDump].find("\r\n"));
    EXPECT_TRUE(c.stackText
                    ? report[stackDump] == c.stackText
                    : words.size() > 2 * sizeof(void*) + 2 &&
                          words.find_first_not_of("0123456789abcdef: ") == std::string::npos)
        << report[stackDump];
    // Each allocation once, in ascending order, the executable's with its file's date.
    ULONG_PTR previous = 0, base = 0;
    std::istringstream lines(report[modules]);
    for (std::string line; std::getline(lines, line); previous = base) {
        base = std::stoull(line.substr(line.find(", loaded at 0x") + 14, 2 * sizeof(void*)),
                           nullptr, 16);
        EXPECT_GT(base, previous) << line;
    }
    EXPECT_NE(std::string::npos, report[modules].find(directory + "crash_child.exe"));
    EXPECT_NE(std::string::npos, report[modules].find(directory + "lib\\platform.dll"));
    EXPECT_NE(std::string::npos, report[modules].find(" - file date is ")) << report[modules];
}

const DWORD cxxCode = 0x20474343;
// An abort is how the i686 runtime ends an uncaught C++ exception, so it shares its code there.
const DWORD abortCode = wide ? 0x40000015 : cxxCode;
const DWORD av = EXCEPTION_ACCESS_VIOLATION;

#define BOTH "first callback ran, no report yet\nsecond callback ran\n"
#define WRITE av, "an Access Violation", "Write to", 16
#define READ av, "an Access Violation", "Read from", 16
#define CXX "Unknown exception type", nullptr, 0
// The functions the child exports, so that the report names them where they really lie.
#define CHILD "crash_child.exe!"
#define WRITER CHILD "crashByWriting+0x"
#define READER CHILD "crashByReading+0x"
#define THROWER CHILD "throwFromGame+0x"
#define ABORTER CHILD "abortFromGame+0x"
#define ENTRY "platform.dll!_ZN4Plat3App11PlatWinMain"
#define INSTALLS "PlatWinMain returned 0, filter installs "

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashMatrix,
    ::testing::Values(
        CrashCase{"read", "read NOTRAP", BOTH, READ, READER "|" ENTRY},
        CrashCase{"write", "write", BOTH, WRITE,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY "|crash_child.exe+0x"},
        // The program's folder refuses new files: the whole report goes to the user's folder.
        CrashCase{"refused_folder", "write refused-folder", BOTH, WRITE, WRITER "|" ENTRY, saved,
                  nullptr, 0, true},
        CrashCase{"null_call", "null-call", BOTH, av, "an Access Violation", "Write to", 0,
                  CHILD "callNull+0x|" ENTRY},
        CrashCase{"illegal", "illegal", BOTH, EXCEPTION_ILLEGAL_INSTRUCTION,
                  "an Illegal Instruction", nullptr, 0, CHILD "crashByIllegalInstruction+0x"},
        CrashCase{"divide", "divide", BOTH, EXCEPTION_INT_DIVIDE_BY_ZERO,
                  "an Integer Divide by Zero", nullptr, 0, CHILD "crashByDividing+0x"},
        // The overflow faults in the stack probe, which the walk leaves for its caller.
        CrashCase{"overflow", "overflow", BOTH, EXCEPTION_STACK_OVERFLOW, "a Stack Overflow",
                  nullptr, 0, "crash_child.exe+0x|" CHILD "recurseForever+0x", saved, nullptr, 64},
        CrashCase{"deep", "deep", BOTH, WRITE, WRITER "|" CHILD "recurseThenCrash+0x", saved,
                  nullptr, 64},
        CrashCase{"cxx", "cxx", BOTH, cxxCode, CXX, "|" THROWER "|" ENTRY},
        CrashCase{"thread_cxx", "thread-cxx", BOTH, cxxCode, CXX, "|" THROWER},
        CrashCase{"keycallback", "keycallback", BOTH, cxxCode, CXX,
                  "|" THROWER "|platform.dll+0x|" ENTRY},
        // The game's own abort handler is called first.
        CrashCase{"abort", "abort game-abort-handler", "the game's abort handler ran\n" BOTH,
                  abortCode, CXX, "|" ABORTER "|" ENTRY},
        // A second abort, in the first callback, ends the walk like any other exception.
        CrashCase{"abort_callback", "abort-callback", "first callback ran, no report yet\n",
                  abortCode, CXX, "|" ABORTER "|" ENTRY},
        CrashCase{"wndproc", "wndproc", BOTH, WRITE, WRITER "|" ENTRY},
        // The second thread faults while the first reports: the report is the first's.
        CrashCase{"twothreads", "twothreads", BOTH, WRITE, WRITER},
        // Damaged stacks: the walk names the crashing function and ends.
        CrashCase{"frame_cycle", "frame-cycle", BOTH, WRITE, CHILD "faultInFrameCycle+0x"},
        CrashCase{"garbage_stack", "garbage-stack", BOTH, WRITE, CHILD "faultOnGarbageStack+0x"},
        // A fault in the first callback ends the walk; without callbacks the report comes at once.
        CrashCase{"callback", "callback", "first callback ran, no report yet\n", READ, READER},
        CrashCase{"without_callbacks", "read without-callbacks", "", READ, READER},
        // Without dbghelp the library looks beside the program, then in the system.
        CrashCase{"without_dbghelp", "write without-dbghelp",
                  "dbghelp refused: @dbghelp.dll\ndbghelp refused: %dbghelp.dll\n" BOTH, WRITE,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY, fails},
        CrashCase{"heap", "heap", BOTH, WRITE, WRITER "|crash_child.exe+0x|" ENTRY, mayFail},
        // Another thread holds the memory library's lock for good: the report needs no heap.
        CrashCase{"memory_lock", "memory-lock", BOTH, WRITE,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY},
        // Unreadable stack within 8192 bytes above the stack pointer.
        CrashCase{"stack_hole", "stack-hole", BOTH, WRITE, CHILD "faultBelowStackHole+0x", saved,
                  "Exception encountered during stack dump."},
        // The guard stands aside for "notrap" anywhere in the command line, the program's
        // path included, but not in capitals (the "read" row), and for a debugger.
        CrashCase{"arguments", "read -notrap", "", av},
        CrashCase{"with_notrap_inside", "read", "", av},
        CrashCase{"debugger", "read debugger", "", av},
        // Without a crash PlatWinMain returns 0; only a debugger keeps the filter out.
        CrashCase{"none", "none -notrap", INSTALLS "1\n", 0},
        CrashCase{"none_debugger", "none debugger", INSTALLS "0\n", 0}),
    [](const auto& info) { return std::string(info.param.directory); });

// The second thread faults holding the loader lock while the first reports, so the report
// blocks in the system for good: the watchdog ends the process, with exit code 1, in time.
// Every library the library loads by its own choice, at start-up and for a crash, comes by
// full path, never by a bare name the current directory could answer: from the system
// directory, or dbghelp from beside the program, where a game ships its own on purpose.
TEST(CrashLibraries, EachLoadedByItsFullPath) {
    const std::string directory = prepareRun("record_loads");
    const std::string output = runCrashChild(directory, "write record-loads").output;
    const std::string system = systemFolder();
    std::istringstream lines(output);
    int loads = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("load ", 0) != 0)
            continue;
        const std::string path = line.substr(5);
        ++loads;
        EXPECT_TRUE(lstrcmpiA(path.substr(0, system.size()).c_str(), system.c_str()) == 0 ||
                    path == directory + "dbghelp.dll")
            << path;
    }
    // dbghelp beside the program, then the system's; the scale calls' user32 and shcore.
    EXPECT_GE(loads, 4) << output;
}

TEST(CrashWatchdog, EndsAReportThatCannotFinish) {
    const std::string directory = prepareRun("loader_lock");
    const DWORD start = GetTickCount();
    ChildResult child = runCrashChild(directory, "loader-lock");
    EXPECT_TRUE(child.finished);
    EXPECT_EQ(1u, child.exitCode);
    EXPECT_LT(GetTickCount() - start, 45000u) << "a 30 s bound, and the child's start";
}

} // namespace
