// Real crashes in child processes: exit code, the error log's sections in order, and a
// minidump that holds the crash's exception.
#include "support/child_process.h"

#include <windows.h>

#include <dbghelp.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const char* const childFiles[] = {"crash_child.exe", "platform.dll", "diagnostics.dll",
                                  "memory.dll", "stringtable.dll"};

struct CrashRun {
    ChildResult child;
    std::string log;
    std::string logName;
    std::string dumpPath;
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
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Copies the child and its DLLs into a directory of its own, so each run's report files
// stand alone, then runs it there.
CrashRun runCrash(const std::string& arguments, const std::string& directoryName = "run") {
    std::string directory = programDirectory() + "crash-runs\\" + directoryName + "\\";
    CreateDirectoryA((programDirectory() + "crash-runs").c_str(), nullptr);
    CreateDirectoryA(directory.c_str(), nullptr);
    for (const std::string& old : filesEndingWith(directory, ""))
        DeleteFileA((directory + old).c_str());
    for (const char* file : childFiles)
        CopyFileA((programDirectory() + file).c_str(), (directory + file).c_str(), FALSE);

    CrashRun run;
    run.child = runChild("\"" + directory + "crash_child.exe\" " + arguments);
    std::vector<std::string> logs = filesEndingWith(directory, "_ErrorLog.txt");
    run.logCount = logs.size();
    if (!logs.empty()) {
        run.logName = logs.front();
        run.log = readFile(directory + run.logName);
    }
    std::vector<std::string> dumps = filesEndingWith(directory, "_MiniDump.dmp");
    if (!dumps.empty())
        run.dumpPath = directory + dumps.front();
    return run;
}

// Each expected piece must appear, after the one before it.
void expectInOrder(const std::string& text, const std::vector<std::string>& pieces) {
    std::size_t position = 0;
    for (const std::string& piece : pieces) {
        std::size_t found = text.find(piece, position);
        ASSERT_NE(std::string::npos, found) << "missing or out of order: " << piece << "\n" << text;
        position = found + piece.size();
    }
}

// What differs between the builds: register names and address widths.
const bool wide = sizeof(void*) == 8;
const std::string firstRegister = wide ? "RAX=" : "EAX=";
const std::string codeBytesTitle = wide ? "Bytes at CS:RIP:\r\n" : "Bytes at CS:EIP:\r\n";

// An address as the report writes it: 8 hex digits on i686, 16 on x86_64.
std::string reportAddress(ULONG_PTR value) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*llx", wide ? 16 : 8,
                  static_cast<unsigned long long>(value));
    return text;
}

std::string accessLine(const char* verb, ULONG_PTR address) {
    return std::string(verb) + " location " + reportAddress(address) +
           " caused an access violation.\r\n";
}

bool dumpSaved(const CrashRun& run) {
    return run.log.find("\r\nMiniDump failed to save.\r\n") == std::string::npos;
}

// With dumpMayFail, "MiniDump failed to save." may stand where the dump's name would.
void expectCompleteReport(const CrashRun& run, const std::string& exceptionName,
                          bool dumpMayFail = false) {
    bool saved = !dumpMayFail || dumpSaved(run);
    expectInOrder(run.log,
                  {"crash_child.exe caused " + exceptionName + " in module ", "Error occurred at ",
                   "crash_child.exe, run by ", "processor(s), type ", "MBytes physical memory.\r\n",
                   saved ? "\r\nMiniDump saved to file '" : "\r\nMiniDump failed to save.",
                   saved ? "_MiniDump.dmp'\r\n" : "\r\n", "\r\nRegisters:\r\n" + firstRegister,
                   codeBytesTitle, "\r\n\r\nCall Stack:\r\n", "\r\nStack dump:\r\n",
                   "\r\n\r\n\r\nModule list: names, addresses, sizes, time stamps and file "
                   "times:\r\n",
                   "crash_child.exe", "platform.dll"});
    std::size_t dump = run.log.find("\r\nStack dump:\r\n");
    ASSERT_NE(std::string::npos, dump);
    std::string firstDumpLine =
        run.log.substr(dump + 15, run.log.find("\r\n", dump + 15) - dump - 15);
    EXPECT_EQ(std::string::npos, firstDumpLine.find_first_not_of("0123456789abcdef: "))
        << "the faulting thread's stack is dumped:\n"
        << run.log;
    EXPECT_GT(firstDumpLine.size(), 2 * sizeof(void*) + 2) << run.log;
}

// The dump's signature and the code in its exception stream.
void expectMinidumpWithException(const std::string& path, DWORD code) {
    ASSERT_FALSE(path.empty()) << "no minidump";
    std::string dump = readFile(path);
    ASSERT_GE(dump.size(), sizeof(MINIDUMP_HEADER));
    const MINIDUMP_HEADER* header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
    EXPECT_EQ(0x504D444Du, header->Signature) << "\"MDMP\"";
    bool foundException = false;
    for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
        std::size_t at = header->StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY);
        ASSERT_LE(at + sizeof(MINIDUMP_DIRECTORY), dump.size());
        const MINIDUMP_DIRECTORY* entry = reinterpret_cast<const MINIDUMP_DIRECTORY*>(&dump[at]);
        if (entry->StreamType != ExceptionStream)
            continue;
        ASSERT_LE(entry->Location.Rva + sizeof(MINIDUMP_EXCEPTION_STREAM), dump.size());
        const MINIDUMP_EXCEPTION_STREAM* stream =
            reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(&dump[entry->Location.Rva]);
        EXPECT_EQ(code, stream->ExceptionRecord.ExceptionCode);
        foundException = true;
    }
    EXPECT_TRUE(foundException) << "no exception stream";
}

struct CrashCase {
    const char* mode;
    DWORD code;
    const char* name;
    const char* accessVerb; // "Write to" or "Read from"; null where no access violation
    ULONG_PTR accessAddress;
    // The call stack's lines, in order, as "|"-separated beginnings; the first follows the
    // section's title unless it is empty.
    const char* stack;
    bool dumpMayFail; // the process is too damaged for dbghelp to be relied on
};

// The functions the child exports, so that the report names them where they really lie.
#define WRITER "crash_child.exe!crashByWriting+0x"
#define THROWER "crash_child.exe!throwFromGame+0x"
#define ENTRY "platform.dll!_ZN4Plat3App11PlatWinMain"

std::vector<std::string> stackLines(const char* stack) {
    std::vector<std::string> lines;
    std::stringstream pieces(stack);
    std::string piece;
    while (std::getline(pieces, piece, '|'))
        lines.push_back(lines.empty() ? "\r\nCall Stack:\r\n" + piece : "\r\n" + piece);
    return lines;
}

class CrashMatrix : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashMatrix, ReportsAndEndsWithExitCodeOne) {
    const CrashCase& c = GetParam();
    CrashRun run = runCrash(c.mode);
    ASSERT_TRUE(run.child.finished);
    EXPECT_EQ(1u, run.child.exitCode) << run.child.output;
    const std::string& output = run.child.output;
    std::size_t first = output.find("first callback ran");
    EXPECT_NE(std::string::npos, first) << output;
    EXPECT_EQ(std::string::npos, output.find("first callback ran", first + 1)) << "one report";
    EXPECT_NE(std::string::npos, output.find("second callback ran"));
    EXPECT_EQ(std::string::npos, output.find("run returned"));
    EXPECT_EQ(std::string::npos, output.find("caught outside the library"));
    EXPECT_EQ(1u, run.logCount);
    expectCompleteReport(run, c.name, c.dumpMayFail);
    if (c.accessVerb)
        expectInOrder(run.log, {"MBytes physical memory.\r\n" +
                                accessLine(c.accessVerb, c.accessAddress) + "\r\nMiniDump"});
    else
        EXPECT_EQ(std::string::npos, run.log.find("caused an access violation")) << run.log;
    expectInOrder(run.log, stackLines(c.stack));
    if (!c.dumpMayFail || dumpSaved(run))
        expectMinidumpWithException(run.dumpPath, c.code);
}

const DWORD cxxCode = 0x20474343;
// An abort is how the i686 runtime ends an uncaught C++ exception, so it shares its code there.
const DWORD abortCode = wide ? 0x40000015 : cxxCode;

const DWORD av = EXCEPTION_ACCESS_VIOLATION;
const char* const avName = "an Access Violation";
const char* const cxxName = "Unknown exception type";

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashMatrix,
    ::testing::Values(
        CrashCase{"read", av, avName, "Read from", 16, "", false},
        CrashCase{"write", av, avName, "Write to", 16,
                  WRITER "|crash_child.exe+0x|platform.dll+0x|" ENTRY "|crash_child.exe+0x", false},
        CrashCase{"null-call", av, avName, "Write to", 0, "crash_child.exe+0x|" ENTRY, false},
        CrashCase{"illegal", EXCEPTION_ILLEGAL_INSTRUCTION, "an Illegal Instruction", nullptr, 0,
                  "", false},
        CrashCase{"divide", EXCEPTION_INT_DIVIDE_BY_ZERO, "an Integer Divide by Zero", nullptr, 0,
                  "", false},
        CrashCase{"overflow", EXCEPTION_STACK_OVERFLOW, "a Stack Overflow", nullptr, 0, "", false},
        CrashCase{"cxx", cxxCode, cxxName, nullptr, 0, "|" THROWER "|" ENTRY, false},
        CrashCase{"keycallback", cxxCode, cxxName, nullptr, 0,
                  "|" THROWER "|platform.dll+0x|" ENTRY, false},
        CrashCase{"abort", abortCode, cxxName, nullptr, 0, "|" ENTRY, false},
        CrashCase{"wndproc", av, avName, "Write to", 16, "crash_child.exe+0x|" ENTRY, false},
        CrashCase{"thread", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x", false},
        CrashCase{"twothreads", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x", false},
        CrashCase{"heap", av, avName, "Write to", 16, WRITER "|crash_child.exe+0x|" ENTRY, true}),
    [](const ::testing::TestParamInfo<CrashCase>& info) {
        std::string name = info.param.mode;
        for (char& c : name)
            if (c == '-')
                c = '_';
        return name;
    });

TEST(CrashCallbacks, AFaultingCallbackEndsTheWalkButNotTheReport) {
    CrashRun run = runCrash("callback");
    EXPECT_EQ(1u, run.child.exitCode);
    EXPECT_NE(std::string::npos, run.child.output.find("first callback ran"));
    EXPECT_EQ(std::string::npos, run.child.output.find("second callback ran"));
    expectCompleteReport(run, "an Access Violation");
}

TEST(CrashGuard, NotrapAnywhereInTheCommandLineLeavesTheCrashAlone) {
    for (const char* directory : {"arguments", "with-notrap-inside"}) {
        std::string arguments = std::string("read") + (directory[0] == 'a' ? " -notrap" : "");
        CrashRun run = runCrash(arguments, directory);
        ASSERT_TRUE(run.child.finished);
        EXPECT_NE(1u, run.child.exitCode) << directory;
        EXPECT_EQ(std::string::npos, run.child.output.find("callback ran")) << directory;
        EXPECT_TRUE(run.log.empty()) << directory;
        EXPECT_TRUE(run.dumpPath.empty()) << directory;
    }
    CrashRun capitals = runCrash("read NOTRAP", "capitals");
    EXPECT_EQ(1u, capitals.child.exitCode);
    EXPECT_FALSE(capitals.log.empty()) << "the switch is case-sensitive";
}

TEST(CrashGuard, ADebuggerGetsTheCrashUntouched) {
    CrashRun run = runCrash("read debugger", "debugger");
    ASSERT_TRUE(run.child.finished);
    EXPECT_NE(1u, run.child.exitCode);
    EXPECT_EQ(std::string::npos, run.child.output.find("callback ran"));
    EXPECT_TRUE(run.log.empty());
}

TEST(PlatWinMainRun, ReturnsZeroAndKeepsTheServices) {
    CrashRun run = runCrash("none", "no-crash");
    EXPECT_EQ(0u, run.child.exitCode);
    expectInOrder(run.child.output, {"no instance before\n", "instance set\n", "run returned\n",
                                     "PlatWinMain returned 0, filter installs 0, services "
                                     "reachable\n"});
    EXPECT_TRUE(run.log.empty());

    CrashRun debugged = runCrash("none debugger", "no-crash-debugger");
    EXPECT_NE(std::string::npos,
              debugged.child.output.find("PlatWinMain returned 0, filter installs 0"));
}

} // namespace
