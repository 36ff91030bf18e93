// The crash report's sections about the crash and the machine: header, system information,
// access violation and registers. Runs after the fault, all but prepareReportFacts: no
// heap, fixed buffers, and what the system would be asked is read from the prepared facts.
#include "crash/crash_context.h"
#include "crash/crash_guard.h"
#include "crash/exception_report.h"

namespace {

const int codeBytes = 16;
const ULONGLONG mebibyte = 1048576;

const char* systemName(const OSVERSIONINFOA& version) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0)
            return "Microsoft Windows 2000";
        return "Microsoft Windows XP?";
    }
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (version.dwMajorVersion > 4 ||
            (version.dwMajorVersion == 4 && version.dwMinorVersion > 0))
            return "Microsoft Windows 98";
        return "Microsoft Windows 95";
    }
    return "";
}

// Whole mebibytes, a remainder counting as one more, without overflowing 32 bits.
ULONGLONG mebibytesOf(SIZE_T bytes) {
    ULONGLONG total = bytes;
    return total / mebibyte + (total % mebibyte != 0 ? 1 : 0);
}

struct ByteRead {
    const BYTE* address;
    BYTE value;
};

void readByte(void* read) {
    ByteRead* byte = static_cast<ByteRead*>(read);
    byte->value = *byte->address;
}

ReportFacts g_facts;

} // namespace

void prepareReportFacts() {
    ZeroMemory(&g_facts, sizeof g_facts);
    if (GetModuleFileNameA(nullptr, g_facts.programPath, MAX_PATH) == 0)
        g_facts.programPath[0] = 0;
    char drive[4], directory[256], baseName[256], extension[256];
    splitPath(g_facts.programPath, drive, directory, baseName, extension);
    wsprintfA(g_facts.programName, "%s%s", baseName, extension);
    prepareFallbackFolder(baseName, g_facts.programName, g_facts.fallbackFolder);
    const UINT systemLength = GetSystemDirectoryA(g_facts.systemFolder, MAX_PATH - 1);
    if (systemLength == 0 || systemLength >= MAX_PATH - 1)
        g_facts.systemFolder[0] = 0;
    else if (g_facts.systemFolder[systemLength - 1] != '\\')
        lstrcatA(g_facts.systemFolder, "\\");
    DWORD size = sizeof g_facts.userName;
    if (!GetUserNameA(g_facts.userName, &size))
        wsprintfA(g_facts.userName, "%s", "Unknown");
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    g_facts.systemName = GetVersionExA(&version) ? systemName(version) : nullptr;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    g_facts.processors = system.dwNumberOfProcessors;
    g_facts.processorType = system.dwProcessorType;
    MEMORYSTATUS memory;
    ZeroMemory(&memory, sizeof memory);
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    g_facts.memoryMBytes = static_cast<DWORD>(mebibytesOf(memory.dwTotalPhys));
}

const ReportFacts& reportFacts() {
    return g_facts;
}

void writeReportHeader(ExceptionReport* report) {
    const RegisterBlock block = registerBlock(report->contextRecord);
    char module[MAX_PATH];
    moduleNameOfAddress(reinterpret_cast<const void*>(block.instructionPointer), module);
    char address[17];
    formatHex(block.instructionPointer, addressDigits, address);
    reportPrintf(report, "%s caused %s in module %s at %04x:%s.\r\n", report->programName,
                 exceptionName(report->exceptionRecord->ExceptionCode), module, block.codeSegment,
                 address);
}

void writeSystemInfo(ExceptionReport* report) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    char time[100];
    formatFileTime(now, time, sizeof time);
    reportPrintf(report, "Error occurred at %s.\r\n", time);
    reportPrintf(report, "%s, run by %s.\r\n", report->programName, g_facts.userName);
    if (g_facts.systemName)
        reportPrintf(report, "%s.\r\n", g_facts.systemName);
    reportPrintf(report, "%d processor(s), type %d.\r\n", g_facts.processors,
                 g_facts.processorType);
    reportPrintf(report, "%d MBytes physical memory.\r\n", g_facts.memoryMBytes);
}

void writeAccessViolation(ExceptionReport* report) {
    const EXCEPTION_RECORD* record = report->exceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return;
    char address[17];
    formatHex(record->ExceptionInformation[1], addressDigits, address);
    reportPrintf(report, "%s location %s caused an access violation.\r\n",
                 record->ExceptionInformation[0] ? "Write to" : "Read from", address);
}

// Four registers to a line, then the code bytes at the instruction pointer.
void writeRegisters(ExceptionReport* report) {
    const RegisterBlock block = registerBlock(report->contextRecord);
    reportPrintf(report, "\r\nRegisters:\r\n");
    for (int i = 0; i < block.count; ++i) {
        const ReportRegister& r = block.registers[i];
        char value[17];
        formatHex(r.value, r.digits, value);
        reportPrintf(report, "%s=%s%s", r.name, value, i % 4 == 3 ? "\r\n" : " ");
    }
    reportPrintf(report, "Bytes at CS:%s:\r\n", block.instructionPointerName);
    writeCodeBytes(report, reinterpret_cast<const BYTE*>(block.instructionPointer));
}

void writeCodeBytes(ExceptionReport* report, const BYTE* code) {
    char line[256] = "";
    int length = 0;
    for (int i = 0; i < codeBytes; ++i) {
        ByteRead byte = {code + i, 0};
        if (runGuarded(readByte, &byte))
            length += wsprintfA(line + length, "%02x ", byte.value);
        else
            length += wsprintfA(line + length, "%s", "?? ");
    }
    reportPrintf(report, "%s\r\n\r\n", line);
}
