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

void expectCompleteReport(const CrashRun& run, const std::string& exceptionName) {
    expectInOrder(run.log,
                  {"crash_child.exe caused " + exceptionName + " in module ", "Error occurred at ",
                   "crash_child.exe, run by ", "processor(s), type ", "MBytes physical memory.\r\n",
                   "\r\nMiniDump saved to file '", "_MiniDump.dmp'\r\n",
                   "\r\nRegisters:\r\n" + firstRegister, codeBytesTitle, "\r\n\r\nCall Stack:\r\n",
                   "\r\nStack dump:\r\n",
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
    // Call-stack lines' beginnings, in order; the first follows the section's title.
    std::vector<std::string> stack;
};

// The functions the child exports, so that the report names them where they really lie.
const std::string writer = "crash_child.exe!crashByWriting+0x";
const std::string thrower = "crash_child.exe!throwFromGame+0x";
const std::string entry = "platform.dll!_ZN4Plat3App11PlatWinMain";

class CrashMatrix : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashMatrix, ReportsAndEndsWithExitCodeOne) {
    const CrashCase& c = GetParam();
    CrashRun run = runCrash(c.mode);
    ASSERT_TRUE(run.child.finished);
    EXPECT_EQ(1u, run.child.exitCode) << run.child.output;
    EXPECT_NE(std::string::npos, run.child.output.find("first callback ran"));
    EXPECT_NE(std::string::npos, run.child.output.find("second callback ran"));
    EXPECT_EQ(std::string::npos, run.child.output.find("run returned"));
    EXPECT_EQ(std::string::npos, run.child.output.find("caught outside the library"));
    expectCompleteReport(run, c.name);
    if (c.accessVerb)
        expectInOrder(run.log, {"MBytes physical memory.\r\n" +
                                accessLine(c.accessVerb, c.accessAddress) + "\r\nMiniDump"});
    else
        EXPECT_EQ(std::string::npos, run.log.find("caused an access violation")) << run.log;
    if (!c.stack.empty()) {
        std::vector<std::string> stack = c.stack;
        stack.front() = "\r\nCall Stack:\r\n" + stack.front();
        expectInOrder(run.log, stack);
    }
    expectMinidumpWithException(run.dumpPath, c.code);
}

const DWORD cxxCode = 0x20474343;
// An abort is how the i686 runtime ends an uncaught C++ exception, so it shares its code there.
const DWORD abortCode = wide ? 0x40000015 : cxxCode;

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashMatrix,
    ::testing::Values(
        CrashCase{"read", EXCEPTION_ACCESS_VIOLATION, "an Access Violation", "Read from", 16, {}},
        CrashCase{"write",
                  EXCEPTION_ACCESS_VIOLATION,
                  "an Access Violation",
                  "Write to",
                  16,
                  {writer, "\r\ncrash_child.exe+0x", "\r\nplatform.dll+0x", "\r\n" + entry,
                   "\r\ncrash_child.exe+0x"}},
        CrashCase{"null-call",
                  EXCEPTION_ACCESS_VIOLATION,
                  "an Access Violation",
                  "Write to",
                  0,
                  {"crash_child.exe+0x", "\r\n" + entry}},
        CrashCase{
            "illegal", EXCEPTION_ILLEGAL_INSTRUCTION, "an Illegal Instruction", nullptr, 0, {}},
        CrashCase{
            "divide", EXCEPTION_INT_DIVIDE_BY_ZERO, "an Integer Divide by Zero", nullptr, 0, {}},
        CrashCase{"overflow", EXCEPTION_STACK_OVERFLOW, "a Stack Overflow", nullptr, 0, {}},
        CrashCase{
            "cxx", cxxCode, "Unknown exception type", nullptr, 0, {"", thrower, "\r\n" + entry}},
        CrashCase{"keycallback",
                  cxxCode,
                  "Unknown exception type",
                  nullptr,
                  0,
                  {"", thrower, "\r\nplatform.dll+0x", "\r\n" + entry}},
        CrashCase{"abort", abortCode, "Unknown exception type", nullptr, 0, {"", "\r\n" + entry}},
        CrashCase{"wndproc",
                  EXCEPTION_ACCESS_VIOLATION,
                  "an Access Violation",
                  "Write to",
                  16,
                  {"crash_child.exe+0x", "\r\n" + entry}},
        CrashCase{"thread",
                  EXCEPTION_ACCESS_VIOLATION,
                  "an Access Violation",
                  "Write to",
                  16,
                  {writer, "\r\ncrash_child.exe+0x"}}),
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
