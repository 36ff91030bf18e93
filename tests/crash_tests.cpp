// Real crashes in child processes: exit code, the error log's sections, and a minidump that
// holds the crash's exception.
#include "support/child_process.h"
#include "support/crash_report.h"

#include <windows.h>

#include <dbghelp.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

struct CrashRun {
    ChildResult child;
    std::string directory, log, logName, dumpPath;
    std::size_t logCount = 0;
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The names of the files in directory that end with suffix.
std::vector<std::string> filesEndingWith(const std::string& directory, const std::string& suffix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "*" + suffix).c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        names.push_back(found.cFileName);
    FindClose(search);
    return names;
}

// Runs the child and its DLLs from a directory of their own, so each run's report stands alone.
CrashRun runCrash(const std::string& arguments, const std::string& directoryName = "run") {
    std::string directory = programDirectory() + "crash-runs\\" + directoryName + "\\";
    CreateDirectoryA((programDirectory() + "crash-runs").c_str(), nullptr);
    CreateDirectoryA(directory.c_str(), nullptr);
    for (const std::string& old : filesEndingWith(directory, ""))
        DeleteFileA((directory + old).c_str());
    for (const char* file :
         {"crash_child.exe", "platform.dll", "diagnostics.dll", "memory.dll", "stringtable.dll"})
        CopyFileA((programDirectory() + file).c_str(), (directory + file).c_str(), FALSE);
    CrashRun run;
    run.directory = directory;
    run.child = runChild("\"" + directory + "crash_child.exe\" " + arguments);
    std::vector<std::string> logs = filesEndingWith(directory, "_ErrorLog.txt");
    run.logCount = logs.size();
    if (!logs.empty())
        run.log = readFile(directory + (run.logName = logs.front()));
    std::vector<std::string> dumps = filesEndingWith(directory, "_MiniDump.dmp");
    if (!dumps.empty())
        run.dumpPath = directory + dumps.front();
    return run;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// What differs between the builds: register names and address widths.
const bool wide = sizeof(void*) == 8;

// The code in the dump's exception stream, or 0 without a valid dump or such a stream.
DWORD minidumpExceptionCode(const std::string& path) {
    std::string dump = readFile(path);
    auto header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
    if (dump.size() < sizeof *header || header->Signature != 0x504D444D) // "MDMP"
        return 0;
    for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
        auto entry = reinterpret_cast<const MINIDUMP_DIRECTORY*>(
            &dump[header->StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY)]);
        if (entry->StreamType == ExceptionStream)
            return reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(&dump[entry->Location.Rva])
                ->ExceptionRecord.ExceptionCode;
    }
    return 0;
}

// The report of a crash with the first callback run before it and the second after that.
// Whether the minidump is saved: always, unless the process is too damaged for dbghelp to be
// relied on, or never, without dbghelp.
enum Dump { saved, mayFail, fails };

void expectReport(const CrashRun& run, const std::string& exceptionName, Dump dump = saved) {
    EXPECT_EQ(1u, run.child.exitCode) << run.child.output;
    EXPECT_EQ(1u, run.logCount);
    ReportSections report = splitReport(run.log);
    ASSERT_TRUE(report.complete) << run.log;
    EXPECT_EQ(0u, report.header.find("crash_child.exe caused " + exceptionName + " in module "))
        << report.header;
    EXPECT_EQ(0u, report.system.find("Error occurred at ")) << report.system;
    EXPECT_NE(std::string::npos, report.system.find("\r\ncrash_child.exe, run by "));
    // The dump lies beside the log, under the same time stamp.
    bool written = dump == saved || (dump == mayFail && report.minidump != "failed to save.");
    std::string dumpPath = run.directory + run.logName.substr(0, run.logName.size() - 13);
    EXPECT_EQ(written         ? dumpPath + "_MiniDump.dmp"
              : dump == fails ? ""
                              : run.dumpPath,
              run.dumpPath);
    EXPECT_EQ(written ? "saved to file '" + run.dumpPath + "'" : "failed to save.",
              report.minidump);
    EXPECT_EQ(0u, report.registers.find(wide ? "RAX=" : "EAX=")) << report.registers;
    EXPECT_NE(std::string::npos, report.registers.find(wide ? "\r\nBytes at CS:RIP:\r\n"
                                                            : "\r\nBytes at CS:EIP:\r\n"));
    std::vector<std::string> stack = linesOf(report.stackDump);
    ASSERT_FALSE(stack.empty()) << "the faulting thread's stack is dumped";
    EXPECT_EQ(std::string::npos, stack[0].find_first_not_of("0123456789abcdef: ")) << stack[0];
    EXPECT_GT(stack[0].size(), 2 * sizeof(void*) + 2);
    // Each allocation once, in ascending order, the executable's with its file's date.
    std::vector<std::string> modules = linesOf(report.modules);
    ULONG_PTR previous = 0;
    for (const std::string& line : modules) {
        std::size_t at = line.find(", loaded at 0x");
        ASSERT_NE(std::string::npos, at) << line;
        ULONG_PTR base = std::stoull(line.substr(at + 14, 2 * sizeof(void*)), nullptr, 16);
        EXPECT_GT(base, previous) << line;
        previous = base;
    }
    EXPECT_NE(std::string::npos, report.modules.find(run.directory + "crash_child.exe"));
    EXPECT_NE(std::string::npos, report.modules.find(" - file date is ")) << report.modules;
    EXPECT_NE(std::string::npos, report.modules.find("platform.dll"));
}

struct CrashCase {
    const char* arguments;
    DWORD code;
    const char* name;
    const char* accessVerb; // "Write to" or "Read from"; null where no access violation
    unsigned accessAddress;
    // The call stack's lines, in order, as "|"-separated beginnings; the first stands first
    // unless it is empty.
    const char* stack;
    Dump dump;
};

class CrashMatrix : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashMatrix, CallbacksFirstThenTheReportAndExitCodeOne) {
    const CrashCase& c = GetParam();
    CrashRun run = runCrash(c.arguments);
    ASSERT_TRUE(run.child.finished);
    const std::string& output = run.child.output;
    std::size_t callbacks = output.find("first callback ran, no report yet\nsecond callback ran\n");
    EXPECT_NE(std::string::npos, callbacks) << output;
    EXPECT_EQ(callbacks, output.rfind("first callback ran")) << "one report";
    EXPECT_EQ(std::string::npos, output.find("unexpected")) << output;
    expectReport(run, c.name, c.dump);
    EXPECT_EQ(c.dump == fails,
              output.find("dbghelp refused: " + run.directory +
                          "dbghelp.dll\ndbghelp refused: dbghelp.dll\n") != std::string::npos)
        << "without dbghelp the library looks beside the program, then in the system";
    ReportSections report = splitReport(run.log);
    char address[17];
    std::snprintf(address, sizeof address, "%0*x", wide ? 16 : 8, c.accessAddress);
    EXPECT_EQ(c.accessVerb ? std::string(c.accessVerb) + " location " + address +
                                 " caused an access violation.\r\n"
                           : "",
              report.accessViolation);
    EXPECT_TRUE(!c.accessVerb ||
                report.header.find(" in module crash_child.exe at ") != std::string::npos)
        << report.header;
    std::string stack = "\r\n" + report.callStack;
    std::stringstream pieces(c.stack);
    std::size_t at = 0;
    for (std::string piece; std::getline(pieces, piece, '|'); at += 2 + piece.size()) {
        bool first = at == 0;
        at = stack.find("\r\n" + piece, at);
        ASSERT_NE(std::string::npos, at) << "missing or out of order: " << piece << stack;
        EXPECT_TRUE(!first || at == 0) << "not first: " << piece << stack;
    }
    if (report.minidump != "failed to save.") {
        EXPECT_EQ(c.code, minidumpExceptionCode(run.dumpPath));
    }
}

const DWORD cxxCode = 0x20474343;
// An abort is how the i686 runtime ends an uncaught C++ exception, so it shares its code there.
const DWORD abortCode = wide ? 0x40000015 : cxxCode;
const DWORD av = EXCEPTION_ACCESS_VIOLATION;
const char* const avName = "an Access Violation";
const char* const cxxName = "Unknown exception type";

// The functions the child exports, so that the report names them where they really lie.
#define WRITER "crash_child.exe!crashByWriting+0x"
#define THROWER "crash_child.exe!throwFromGame+0x"
#define ENTRY "platform.dll!_ZN4Plat3App11PlatWinMain"

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashMatrix,
    ::testing::Values(
        CrashCase{"read", av, avName, "Read from", 16, "", saved},
        CrashCase{"write", av, avName, "Write to", 16,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY "|crash_child.exe+0x", saved},
        CrashCase{"null-call", av, avName, "Write to", 0, "crash_child.exe+0x|" ENTRY, saved},
        CrashCase{"illegal", EXCEPTION_ILLEGAL_INSTRUCTION, "an Illegal Instruction", nullptr, 0,
                  "", saved},
        CrashCase{"divide", EXCEPTION_INT_DIVIDE_BY_ZERO, "an Integer Divide by Zero", nullptr, 0,
                  "", saved},
        CrashCase{"overflow", EXCEPTION_STACK_OVERFLOW, "a Stack Overflow", nullptr, 0, "", saved},
        CrashCase{"cxx", cxxCode, cxxName, nullptr, 0, "|" THROWER "|" ENTRY, saved},
        CrashCase{"keycallback", cxxCode, cxxName, nullptr, 0,
                  "|" THROWER "|platform.dll+0x|" ENTRY, saved},
        CrashCase{"abort", abortCode, cxxName, nullptr, 0, "|" ENTRY, saved},
        CrashCase{"wndproc", av, avName, "Write to", 16, "crash_child.exe+0x|" ENTRY, saved},
        CrashCase{"thread", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x", saved},
        CrashCase{"twothreads", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x", saved},
        CrashCase{"write without-dbghelp", av, avName, "Write to", 16,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY, fails},
        CrashCase{"heap", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x|" ENTRY,
                  mayFail}),
    [](const ::testing::TestParamInfo<CrashCase>& info) {
        std::string name = info.param.arguments;
        for (char& c : name)
            c = c == '-' || c == ' ' ? '_' : c;
        return name;
    });

TEST(CrashCallbacks, AFaultEndsTheWalkAndAnEmptyListLeadsStraightToTheReport) {
    CrashRun faulting = runCrash("callback", "callback");
    EXPECT_NE(std::string::npos, faulting.child.output.find("first callback ran, no report yet\n"));
    EXPECT_EQ(std::string::npos, faulting.child.output.find("second"));
    expectReport(faulting, "an Access Violation");
    CrashRun none = runCrash("read without-callbacks", "without-callbacks");
    EXPECT_EQ(std::string::npos, none.child.output.find("callback"));
    expectReport(none, "an Access Violation");
}

TEST(CrashGuard, StandsAsideForNotrapAnywhereAndForADebugger) {
    const struct {
        const char* arguments;
        const char* directory; // the path the child runs from holds it too
        bool reported;
    } cases[] = {{"read -notrap", "arguments", false},
                 {"read", "with-notrap-inside", false},
                 {"read NOTRAP", "capitals", true},
                 {"read debugger", "debugger", false}};
    for (const auto& c : cases) {
        CrashRun run = runCrash(c.arguments, c.directory);
        ASSERT_TRUE(run.child.finished);
        EXPECT_EQ(c.reported, run.child.exitCode == 1) << c.directory;
        EXPECT_EQ(c.reported, run.child.output.find("callback ran") != std::string::npos);
        EXPECT_EQ(c.reported, !run.log.empty()) << c.directory;
        EXPECT_EQ(c.reported, !run.dumpPath.empty()) << c.directory;
    }
}

TEST(PlatWinMainRun, ReturnsZeroWithTheFilterInstalledUnlessADebuggerIsAttached) {
    for (const auto& c : {std::make_pair("none", 1), std::make_pair("none -notrap", 1),
                          std::make_pair("none debugger", 0)}) {
        CrashRun run = runCrash(c.first, "no-crash");
        EXPECT_EQ(0u, run.child.exitCode);
        EXPECT_EQ("PlatWinMain returned 0, filter installs " + std::to_string(c.second) + "\n",
                  run.child.output)
            << c.first;
        EXPECT_TRUE(run.log.empty());
    }
}

} // namespace
