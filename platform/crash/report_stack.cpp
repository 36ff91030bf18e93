// The crash report's later sections: minidump, call stack, stack dump and module list.
// Runs after the fault: no heap, fixed buffers, and every read of process memory guarded.
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
    request->saved = saveMiniDumpWithAnnotations(request->name, request->info);
}

// The walk fills the array frame by frame, and the array lies outside the walk's guard:
// a fault halfway through keeps the frames found before it.
struct CallStackWalk {
    LONG_PTR addresses[stackEntries];
    EXCEPTION_POINTERS* info;
};

void walkCallStack(void* argument) {
    CallStackWalk* walk = static_cast<CallStackWalk*>(argument);
    dbDoStackTrace(walk->addresses, stackEntries, 0, walk->info);
}

struct FrameLine {
    ExceptionReport* report;
    LONG_PTR address;
};

void writeFrameLine(void* argument) {
    FrameLine* line = static_cast<FrameLine*>(argument);
    ExceptionReport* report = line->report;
    dbConvertAddress(line->address, report->addressText, sizeof report->addressText);
    reportPrintf(report, "%s\r\n", report->addressText);
}

struct StackRange {
    ExceptionReport* report;
    ULONG_PTR pointer;
    ULONG_PTR base;
    unsigned wordSize;
};

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
            formatHex(p, 2 * range->wordSize, word);
            length += wsprintfA(text + length, "%s: ", word);
        }
        ++k;
        bool lastWord = top - p < 2 * range->wordSize;
        const char* separator = (k % wordsPerLine == 0 || lastWord) ? "\r\n" : " ";
        formatHex(readWord(p, range->wordSize), 2 * range->wordSize, word);
        length += wsprintfA(text + length, "%s%s", word, separator);
    }
    DWORD written = 0;
    WriteFile(report->reportFile, text, static_cast<DWORD>(length), &written, nullptr);
    WriteFile(report->reportFile, "\r\n", 2, &written, nullptr);
}

void writeStackDumpSection(ExceptionReport* report, ULONG_PTR pointer, ULONG_PTR base,
                           unsigned wordSize) {
    reportPrintf(report, "Stack dump:\r\n");
    StackRange range = {report, pointer, base, wordSize};
    if (!runGuarded(writeStackWords, &range))
        reportPrintf(report, "Exception encountered during stack dump.\r\n");
    reportPrintf(report, "\r\n");
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
        formatFileTime(lastWrite, date, sizeof date);
        wsprintfA(dateText, " - file date is %s", date);
    }
    CloseHandle(file);
}

void describeModule(void* argument) {
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
    writeModuleLine(visit->report, path, reinterpret_cast<ULONG_PTR>(base), size,
                    headers->FileHeader.TimeDateStamp, dateText);
}

} // namespace

void writeMiniDump(ExceptionReport* report, EXCEPTION_POINTERS* info) {
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
    reportPrintf(report, "\r\n");
    if (ok)
        reportPrintf(report, "MiniDump saved to file '%s'", name);
    else
        reportPrintf(report, "MiniDump failed to save.");
    reportPrintf(report, "\r\n");
}

void writeCallStack(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    reportPrintf(report, "Call Stack:\r\n");
    CallStackWalk walk;
    ZeroMemory(&walk, sizeof walk);
    walk.info = info;
    const bool walked = runGuarded(walkCallStack, &walk);
    bool named = true;
    for (int i = 0; i < stackEntries && walk.addresses[i] != 0 && named; ++i) {
        FrameLine line = {report, walk.addresses[i]};
        named = runGuarded(writeFrameLine, &line);
    }
    if (!walked || !named)
        reportPrintf(report, "Exception encountered during stack trace.\r\n");
    reportPrintf(report, "\r\n");
}

void writeStackDump32(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase) {
    writeStackDumpSection(report, stackPointer, stackBase, 4);
}

void writeStackDump64(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase) {
    writeStackDumpSection(report, stackPointer, stackBase, 8);
}

void writeStackDump(ExceptionReport* report) {
    writeStackDumpSection(report, registerBlock(report->contextRecord).stackPointer,
                          crashStackBase(), sizeof(ULONG_PTR));
}

void writeModuleLine(ExceptionReport* report, const char* path, ULONG_PTR base, DWORD fileSize,
                     DWORD linkStamp, const char* dateText) {
    char address[17];
    formatHex(base, addressDigits, address);
    reportPrintf(report, "%-35s, loaded at 0x%s - %5d bytes - %08x%s\r\n", path, address, fileSize,
                 linkStamp, dateText);
}

void writeModuleInfo(ExceptionReport* report, void* allocationBase) {
    ModuleVisit visit = {report, static_cast<BYTE*>(allocationBase)};
    runGuarded(describeModule, &visit);
}

void writeModuleList(ExceptionReport* report) {
    reportPrintf(report,
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
            writeModuleInfo(report, region.AllocationBase);
        }
    }
}
