// The crash-time half of the diagnostics library: minidump, stack walk and address names.
// Runs after the fault: no heap, no lock, fixed buffers, and every read of process memory
// checked. The walk and the names are our own, read from the modules' images; dbghelp,
// bound while the process was sound, writes the minidump.
#include "contracts/diagnostics.h"

#include "dbghelp_binding.h"
#include "module_image.h"
#include "stack_unwind.h"

#include <cstdio>
#include <cstring>

namespace {

// The executable's image and file name, which its image need not carry: a program mostly
// exports nothing.
const BYTE* g_programImage = nullptr;
char g_programName[MAX_PATH];

const char* baseNameOf(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    return name;
}

// The module's name without asking the loader, whose lock a damaged process may never give
// back: the executable's as prepared, a library's from its export directory.
const char* moduleNameOf(const BYTE* image) {
    if (image == g_programImage)
        return g_programName;
    return exportedModuleName(image);
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
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length > 0 && length < sizeof path) {
        std::snprintf(g_programName, sizeof g_programName, "%s", baseNameOf(path));
        g_programImage = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
    }
    return dbghelpServices().writeDump != nullptr;
}

bool dbSaveMiniDump(const char* path, EXCEPTION_POINTERS* info) {
    return dbSaveMiniDumpWithStream(path, info, 0, nullptr, 0);
}

bool dbSaveMiniDumpWithStream(const char* path, EXCEPTION_POINTERS* info, unsigned streamType,
                              const void* data, unsigned size) {
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
    MINIDUMP_USER_STREAM stream = {streamType, size, const_cast<void*>(data)};
    MINIDUMP_USER_STREAM_INFORMATION streams = {1, &stream};
    BOOL saved =
        dbghelp.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                          info ? &exception : nullptr, data && size ? &streams : nullptr, nullptr);
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
    const char* moduleName = image ? moduleNameOf(image) : nullptr;
    if (!moduleName) {
        std::snprintf(buffer, size, "0x%p", reinterpret_cast<void*>(at));
        return false;
    }
    char name[256];
    ULONG_PTR offset = 0;
    if (exportName(image, at, name, sizeof name, &offset)) {
        std::snprintf(buffer, size, "%s!%s+0x%llx", moduleName, name,
                      static_cast<unsigned long long>(offset));
    } else {
        std::snprintf(buffer, size, "%s+0x%llx", moduleName,
                      static_cast<unsigned long long>(at - reinterpret_cast<ULONG_PTR>(image)));
    }
    return true;
}
