// The crash-time half of the diagnostics library: minidump, stack walk and address names.
// Crash-time code: no heap, fixed buffers, and every read of process memory checked. The
// walk and the names are our own; dbghelp, when there is one, adds the minidump and names
// from debug information.
#include "contracts/diagnostics.h"

#include "dbghelp_binding.h"
#include "module_image.h"
#include "stack_unwind.h"

#include <cstdio>
#include <cstring>

namespace {

const char* baseNameOf(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    return name;
}

// A symbol from debug information. Only one whose extent dbghelp knows and which covers
// the address counts: without debug information dbghelp names the nearest export below,
// which may be another function.
bool symbolName(ULONG_PTR address, char* name, unsigned size, ULONG_PTR* offset) {
    const DbghelpServices& dbghelp = dbghelpServices();
    if (!dbghelp.symbolFromAddress)
        return false;
    union {
        SYMBOL_INFO info;
        char space[sizeof(SYMBOL_INFO) + 256];
    } symbol;
    std::memset(&symbol, 0, sizeof symbol);
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 255;
    DWORD64 displacement = 0;
    if (!dbghelp.symbolFromAddress(GetCurrentProcess(), address, &displacement, &symbol.info) ||
        symbol.info.Size == 0 || displacement >= symbol.info.Size || symbol.info.Name[0] == 0)
        return false;
    std::snprintf(name, size, "%s", symbol.info.Name);
    *offset = static_cast<ULONG_PTR>(displacement);
    return true;
}

// The nearest export below the address, only where it is the start of the function that
// holds the address: a function that is not exported keeps no name rather than a wrong one.
bool exportName(const BYTE* image, ULONG_PTR address, char* name, unsigned size,
                ULONG_PTR* offset) {
    ULONG_PTR base = reinterpret_cast<ULONG_PTR>(image);
    DWORD exportRva = 0;
    const char* exported = nearestExport(image, static_cast<DWORD>(address - base), &exportRva);
    ULONG_PTR begin = 0, end = 0;
    if (!exported || !functionExtent(address, &begin, &end) || begin != base + exportRva)
        return false;
    std::snprintf(name, size, "%s", exported);
    *offset = address - begin;
    return true;
}

// Walks from context, storing return addresses innermost first after skipping skip frames.
// Each caller frame must lie strictly above the last one on the same stack and return into
// a module's code; the walk ends where that fails.
int walkStack(const CONTEXT& context, LONG_PTR* addresses, int capacity, int skip) {
    FrameState frame;
    startFrame(context, &frame);
    StackRange stack = stackAbove(frameStackPointer(frame));
    // A call through a bad pointer faults before the callee has a frame: the caller's
    // return address is on top of the stack.
    if (!moduleImageOf(framePc(frame)))
        popReturnAddress(&frame, stack);
    int stored = 0;
    for (;;) {
        if (skip > 0)
            --skip;
        else
            addresses[stored++] = static_cast<LONG_PTR>(framePc(frame));
        ULONG_PTR stackPointer = frameStackPointer(frame);
        if (stored == capacity || !unwindFrame(&frame, stack) ||
            frameStackPointer(frame) <= stackPointer || !stack.holds(frameStackPointer(frame), 0) ||
            !isModuleCode(framePc(frame)))
            return stored;
    }
}

} // namespace

bool dbPrepareCrashServices() {
    return dbghelpServices().writeDump != nullptr;
}

bool dbSaveMiniDump(const char* path, EXCEPTION_POINTERS* info) {
    const DbghelpServices& dbghelp = dbghelpServices();
    if (!path || !dbghelp.writeDump)
        return false;
    // Shared for deletion, so that the caller can remove the file when dbghelp faults before
    // it is closed; Windows 9x knows no such sharing and opens it unshared.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    MINIDUMP_EXCEPTION_INFORMATION exception;
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = info;
    exception.ClientPointers = FALSE;
    BOOL saved = dbghelp.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                   info ? &exception : nullptr, nullptr, nullptr);
    CloseHandle(file);
    if (!saved)
        DeleteFileA(path);
    return saved != FALSE;
}

bool dbDoStackTrace(LONG_PTR* addresses, int capacity, int skip, EXCEPTION_POINTERS* info) {
    if (!addresses || capacity <= 0)
        return false;
    std::memset(addresses, 0, sizeof *addresses * static_cast<unsigned>(capacity));
    if (!info || !info->ContextRecord)
        return false;
    return walkStack(*info->ContextRecord, addresses, capacity, skip) > 0;
}

bool dbConvertAddress(LONG_PTR address, char* buffer, unsigned size) {
    if (!buffer || size == 0)
        return false;
    ULONG_PTR at = static_cast<ULONG_PTR>(address);
    const BYTE* image = moduleImageOf(at);
    char path[MAX_PATH];
    if (!image || GetModuleFileNameA(reinterpret_cast<HMODULE>(const_cast<BYTE*>(image)), path,
                                     sizeof path) == 0) {
        std::snprintf(buffer, size, "0x%p", reinterpret_cast<void*>(at));
        return false;
    }
    const char* moduleName = baseNameOf(path);
    char name[256];
    ULONG_PTR offset = 0;
    if (symbolName(at, name, sizeof name, &offset) ||
        exportName(image, at, name, sizeof name, &offset)) {
        std::snprintf(buffer, size, "%s!%s+0x%llx", moduleName, name,
                      static_cast<unsigned long long>(offset));
    } else {
        std::snprintf(buffer, size, "%s+0x%llx", moduleName,
                      static_cast<unsigned long long>(at - reinterpret_cast<ULONG_PTR>(image)));
    }
    return true;
}
