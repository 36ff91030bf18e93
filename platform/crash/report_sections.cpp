// The crash report's sections about the crash and the machine: header, system information,
// access violation and registers. Crash-time code: no heap, fixed buffers.
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

// One register as text in the width of its layout.
struct Hex64 {
    char text[17];
    explicit Hex64(DWORD64 value) {
        wsprintfA(text, "%08x%08x", static_cast<DWORD>(value >> 32), static_cast<DWORD>(value));
    }
};

// Fills a 256-character buffer with the user's name; the result is not used, the buffer
// keeps its preset text when the call fails.
void readUserName(void* buffer) {
    DWORD size = 256;
    GetUserNameA(static_cast<char*>(buffer), &size);
}

} // namespace

void WriteReportHeader(ExceptionReport* report) {
    ULONG_PTR ip = instructionPointer(report->contextRecord);
    char module[MAX_PATH];
    GetModuleNameOfAddress(reinterpret_cast<const void*>(ip), module);
    char address[17];
    FormatAddress(ip, address);
    ReportPrintf(report, "%s caused %s in module %s at %04x:%s.\r\n", report->programName,
                 GetExceptionName(report->exceptionRecord->ExceptionCode), module,
                 codeSegment(report->contextRecord), address);
}

void WriteSystemInfo(ExceptionReport* report) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    char time[100];
    FormatFileTime(now, time, sizeof time);
    ReportPrintf(report, "Error occurred at %s.\r\n", time);

    char user[256] = "Unknown";
    // The system allocates from the process heap here, which may be what broke; a fault
    // leaves the name as it was preset.
    runGuarded(readUserName, user);
    ReportPrintf(report, "%s, run by %s.\r\n", report->programName, user);

    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version))
        ReportPrintf(report, "%s.\r\n", systemName(version));

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    ReportPrintf(report, "%d processor(s), type %d.\r\n", system.dwNumberOfProcessors,
                 system.dwProcessorType);

    MEMORYSTATUS memory;
    ZeroMemory(&memory, sizeof memory);
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    ReportPrintf(report, "%d MBytes physical memory.\r\n",
                 static_cast<DWORD>(mebibytesOf(memory.dwTotalPhys)));
}

void WriteAccessViolation(ExceptionReport* report) {
    const EXCEPTION_RECORD* record = report->exceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return;
    char address[17];
    FormatAddress(record->ExceptionInformation[1], address);
    ReportPrintf(report, "%s location %s caused an access violation.\r\n",
                 record->ExceptionInformation[0] ? "Write to" : "Read from", address);
}

void WriteRegisters32(ExceptionReport* report, const Registers32& r) {
    ReportPrintf(report, "\r\n");
    ReportPrintf(report, "Registers:\r\n");
    ReportPrintf(report, "EAX=%08x CS=%04x EIP=%08x EFLGS=%08x\r\n", r.eax, r.cs, r.eip, r.eflags);
    ReportPrintf(report, "EBX=%08x SS=%04x ESP=%08x EBP=%08x\r\n", r.ebx, r.ss, r.esp, r.ebp);
    ReportPrintf(report, "ECX=%08x DS=%04x ESI=%08x FS=%04x\r\n", r.ecx, r.ds, r.esi, r.fs);
    ReportPrintf(report, "EDX=%08x ES=%04x EDI=%08x GS=%04x\r\n", r.edx, r.es, r.edi, r.gs);
    ReportPrintf(report, "Bytes at CS:EIP:\r\n");
}

// The x86 layout with 64-bit registers, and the registers x86 does not have after it.
void WriteRegisters64(ExceptionReport* report, const Registers64& r) {
    ReportPrintf(report, "\r\n");
    ReportPrintf(report, "Registers:\r\n");
    ReportPrintf(report, "RAX=%s CS=%04x RIP=%s EFLGS=%08x\r\n", Hex64(r.rax).text, r.cs,
                 Hex64(r.rip).text, r.eflags);
    ReportPrintf(report, "RBX=%s SS=%04x RSP=%s RBP=%s\r\n", Hex64(r.rbx).text, r.ss,
                 Hex64(r.rsp).text, Hex64(r.rbp).text);
    ReportPrintf(report, "RCX=%s DS=%04x RSI=%s FS=%04x\r\n", Hex64(r.rcx).text, r.ds,
                 Hex64(r.rsi).text, r.fs);
    ReportPrintf(report, "RDX=%s ES=%04x RDI=%s GS=%04x\r\n", Hex64(r.rdx).text, r.es,
                 Hex64(r.rdi).text, r.gs);
    ReportPrintf(report, "R8=%s R9=%s R10=%s R11=%s\r\n", Hex64(r.r8).text, Hex64(r.r9).text,
                 Hex64(r.r10).text, Hex64(r.r11).text);
    ReportPrintf(report, "R12=%s R13=%s R14=%s R15=%s\r\n", Hex64(r.r12).text, Hex64(r.r13).text,
                 Hex64(r.r14).text, Hex64(r.r15).text);
    ReportPrintf(report, "Bytes at CS:RIP:\r\n");
}

void WriteCodeBytes(ExceptionReport* report, const BYTE* code) {
    char line[256] = "";
    int length = 0;
    for (int i = 0; i < codeBytes; ++i) {
        ByteRead byte = {code + i, 0};
        if (runGuarded(readByte, &byte))
            length += wsprintfA(line + length, "%02x ", byte.value);
        else
            length += wsprintfA(line + length, "%s", "?? ");
    }
    ReportPrintf(report, "%s\r\n\r\n", line);
}
