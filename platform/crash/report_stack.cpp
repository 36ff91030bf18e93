// The crash report's later sections: minidump, call stack, stack dump and module list.
// Crash-time code: no heap, fixed buffers, and every read of process memory guarded.
#include "contracts/diagnostics.h"
#include "crash/crash_context.h"
#include "crash/crash_guard.h"
#include "crash/exception_report.h"

namespace {

const int stackEntries = 64;
const ULONG_PTR stackDumpLimit = 8192;
const int wordsPerLine = 8;

struct MiniDumpRequest {
    char name[MAX_PATH];
    EXCEPTION_POINTERS* info;
    bool saved;
};

void saveMiniDump(void* argument) {
    MiniDumpRequest* request = static_cast<MiniDumpRequest*>(argument);
    request->saved = dbSaveMiniDump(request->name, request->info);
}

struct CallStackWalk {
    ExceptionReport* report;
    EXCEPTION_POINTERS* info;
};

void writeCallStackEntries(void* argument) {
    CallStackWalk* walk = static_cast<CallStackWalk*>(argument);
    LONG_PTR addresses[stackEntries];
    dbDoStackTrace(addresses, stackEntries, 0, walk->info);
    for (int i = 0; i < stackEntries && addresses[i] != 0; ++i) {
        dbConvertAddress(addresses[i], walk->report->addressText, sizeof walk->report->addressText);
        ReportPrintf(walk->report, "%s\r\n", walk->report->addressText);
    }
}

struct StackRange {
    ExceptionReport* report;
    ULONG_PTR pointer;
    ULONG_PTR base;
    unsigned wordSize;
};

// A word or an address as 8 or 16 hex digits, following the dump's word size.
void formatWord(DWORD64 value, unsigned wordSize, char* text) {
    if (wordSize == 8)
        wsprintfA(text, "%08x%08x", static_cast<DWORD>(value >> 32), static_cast<DWORD>(value));
    else
        wsprintfA(text, "%08x", static_cast<DWORD>(value));
}

DWORD64 readWord(ULONG_PTR address, unsigned wordSize) {
    if (wordSize == 8)
        return *reinterpret_cast<const DWORD64*>(address);
    return *reinterpret_cast<const DWORD*>(address);
}

// Builds the whole dump before writing it, so a fault halfway leaves nothing half-written.
void writeStackWords(void* argument) {
    StackRange* range = static_cast<StackRange*>(argument);
    ExceptionReport* report = range->report;
    ULONG_PTR p = range->pointer;
    ULONG_PTR top = range->base;
    if (top > p && top - p > stackDumpLimit)
        top = p + stackDumpLimit;
    char* text = report->stackDumpText;
    int length = 0;
    text[0] = 0;
    char word[17];
    for (unsigned k = 0; p < top && top - p >= range->wordSize; p += range->wordSize) {
        if (k % wordsPerLine == 0) {
            formatWord(p, range->wordSize, word);
            length += wsprintfA(text + length, "%s: ", word);
        }
        ++k;
        bool lastWord = top - p < 2 * range->wordSize;
        const char* separator = (k % wordsPerLine == 0 || lastWord) ? "\r\n" : " ";
        formatWord(readWord(p, range->wordSize), range->wordSize, word);
        length += wsprintfA(text + length, "%s%s", word, separator);
    }
    DWORD written = 0;
    WriteFile(report->reportFile, text, static_cast<DWORD>(length), &written, nullptr);
    WriteFile(report->reportFile, "\r\n", 2, &written, nullptr);
}

void writeStackDumpSection(ExceptionReport* report, ULONG_PTR pointer, ULONG_PTR base,
                           unsigned wordSize) {
    ReportPrintf(report, "Stack dump:\r\n");
    StackRange range = {report, pointer, base, wordSize};
    if (!runGuarded(writeStackWords, &range))
        ReportPrintf(report, "Exception encountered during stack dump.\r\n");
    ReportPrintf(report, "\r\n");
}

struct ModuleVisit {
    ExceptionReport* report;
    BYTE* base;
};

// " - file date is ..." and the size from the module's file; size 0 and no date when the
// file cannot be opened.
void readModuleFile(const char* path, DWORD* size, char* dateText) {
    *size = 0;
    dateText[0] = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    *size = GetFileSize(file, nullptr);
    FILETIME lastWrite;
    if (GetFileTime(file, nullptr, nullptr, &lastWrite)) {
        char date[64];
        FormatFileTime(lastWrite, date, sizeof date);
        wsprintfA(dateText, " - file date is %s", date);
    }
    CloseHandle(file);
}

void writeModuleInfo(void* argument) {
    ModuleVisit* visit = static_cast<ModuleVisit*>(argument);
    char path[MAX_PATH];
    if (GetModuleFileNameA(reinterpret_cast<HMODULE>(visit->base), path, MAX_PATH) == 0)
        return;
    const BYTE* base = visit->base;
    if (*reinterpret_cast<const WORD*>(base) != IMAGE_DOS_SIGNATURE)
        return;
    DWORD headerOffset = *reinterpret_cast<const DWORD*>(base + 60);
    const IMAGE_NT_HEADERS* headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + headerOffset);
    if (headers->Signature != IMAGE_NT_SIGNATURE)
        return;
    DWORD size = 0;
    char dateText[100];
    ZeroMemory(dateText, sizeof dateText);
    readModuleFile(path, &size, dateText);
    WriteModuleLine(visit->report, path, reinterpret_cast<ULONG_PTR>(base), size,
                    headers->FileHeader.TimeDateStamp, dateText);
}

// The pages to walk: the whole 4 GB of a 32-bit process, or the user space of a 64-bit one.
ULONGLONG addressSpacePages(const SYSTEM_INFO& system) {
#if defined(__x86_64__)
    return (reinterpret_cast<ULONGLONG>(system.lpMaximumApplicationAddress) + 1) /
           system.dwPageSize;
#else
    return (0x40000000ull / system.dwPageSize) * 4;
#endif
}

} // namespace

void WriteMiniDump(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    MiniDumpRequest request = {{0}, info, false};
    wsprintfA(request.name, "%s%s", report->reportBase, "_MiniDump.dmp");
    // dbghelp works in the damaged process too (its heap, its locks); a fault there costs
    // the dump, not the rest of the report, and leaves no empty file: the file, still open,
    // goes when the process ends.
    runGuarded(saveMiniDump, &request);
    if (!request.saved)
        DeleteFileA(request.name);
    const char* name = request.name;
    bool ok = request.saved;
    ReportPrintf(report, "\r\n");
    if (ok)
        ReportPrintf(report, "MiniDump saved to file '%s'", name);
    else
        ReportPrintf(report, "MiniDump failed to save.");
    ReportPrintf(report, "\r\n");
}

void WriteCallStack(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    ReportPrintf(report, "Call Stack:\r\n");
    CallStackWalk walk = {report, info};
    if (!runGuarded(writeCallStackEntries, &walk))
        ReportPrintf(report, "Exception encountered during stack trace.\r\n");
    ReportPrintf(report, "\r\n");
}

void WriteStackDump32(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase) {
    writeStackDumpSection(report, stackPointer, stackBase, 4);
}

void WriteStackDump64(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase) {
    writeStackDumpSection(report, stackPointer, stackBase, 8);
}

void WriteStackDump(ExceptionReport* report) {
    ULONG_PTR pointer = stackPointer(report->contextRecord);
#if defined(__x86_64__)
    WriteStackDump64(report, pointer, crashStackBase());
#else
    WriteStackDump32(report, pointer, crashStackBase());
#endif
}

void WriteModuleLine(ExceptionReport* report, const char* path, ULONG_PTR base, DWORD fileSize,
                     DWORD linkStamp, const char* dateText) {
    char address[17];
    FormatAddress(base, address);
    ReportPrintf(report, "%-35s, loaded at 0x%s - %5d bytes - %08x%s\r\n", path, address, fileSize,
                 linkStamp, dateText);
}

void WriteModuleInfo(ExceptionReport* report, void* allocationBase) {
    ModuleVisit visit = {report, static_cast<BYTE*>(allocationBase)};
    runGuarded(writeModuleInfo, &visit);
}

void WriteModuleList(ExceptionReport* report) {
    ReportPrintf(report,
                 "\r\nModule list: names, addresses, sizes, time stamps and file times:\r\n");
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const ULONGLONG pageSize = system.dwPageSize;
    const ULONGLONG pages = addressSpacePages(system);
    ULONG_PTR lastBase = 0;
    for (ULONGLONG index = 0; index < pages;) {
        MEMORY_BASIC_INFORMATION region;
        void* address = reinterpret_cast<void*>(static_cast<ULONG_PTR>(index * pageSize));
        if (VirtualQuery(address, &region, sizeof region) == 0 || region.RegionSize == 0) {
            index += 65536 / pageSize;
            continue;
        }
        index += region.RegionSize / pageSize;
        ULONG_PTR base = reinterpret_cast<ULONG_PTR>(region.AllocationBase);
        if (region.State == MEM_COMMIT && base > lastBase) {
            lastBase = base;
            WriteModuleInfo(report, region.AllocationBase);
        }
    }
}
