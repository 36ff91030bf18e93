// The crash's signature. Runs after the fault: no heap, the stack walk the call stack section
// uses, and module names read as the header's are.
#include "crash/report_signature.h"

#include "contracts/diagnostics.h"
#include "crash/exception_report.h"

#include <cstring>

namespace {

const int walkedFrames = 64;

struct FrameModule {
    ULONG_PTR base;
    char path[MAX_PATH];
};

bool moduleOf(LONG_PTR address, FrameModule* module) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == 0)
        return false;
    module->base = reinterpret_cast<ULONG_PTR>(region.AllocationBase);
    return GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), module->path,
                              MAX_PATH) != 0;
}

ULONG_PTR ownBase() {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(&crashSignature), &region, sizeof region) == 0)
        return 0;
    return reinterpret_cast<ULONG_PTR>(region.AllocationBase);
}

// This library's frames and the system's: the path the crash took into the filter, not the
// fault's own place.
bool isMachinery(const FrameModule& module, ULONG_PTR own) {
    const char* system = reportFacts().systemFolder;
    const int length = lstrlenA(system);
    char prefix[MAX_PATH];
    lstrcpynA(prefix, module.path, length + 1);
    return module.base == own || (length > 0 && _stricmp(prefix, system) == 0);
}

// "name+0xoffset" with the module's file name in lower case, after a space unless first.
int appendFrame(char* text, int length, const FrameModule& module, LONG_PTR address) {
    const char* name = module.path;
    for (const char* c = module.path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    if (length > 0)
        text[length++] = ' ';
    for (; *name; ++name)
        text[length++] = (*name >= 'A' && *name <= 'Z') ? char(*name - 'A' + 'a') : *name;
    return length + wsprintfA(text + length, "+0x%x",
                              static_cast<unsigned>(static_cast<ULONG_PTR>(address) - module.base));
}

// FNV-1a, 64 bits: short, fixed for all time, and the same on both builds.
DWORD64 hashOf(const char* text) {
    DWORD64 hash = 0xcbf29ce484222325ull;
    for (; *text; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

} // namespace

void crashSignature(EXCEPTION_POINTERS* info, CrashSignature* signature) {
    LONG_PTR addresses[walkedFrames] = {};
    dbDoStackTrace(addresses, walkedFrames, 0, info);
    const ULONG_PTR own = ownBase();
    int first = 0;
    FrameModule module;
    while (first < walkedFrames && addresses[first] &&
           (!moduleOf(addresses[first], &module) || isMachinery(module, own)))
        ++first;
    if (first == walkedFrames || !addresses[first])
        first = 0;
    int length = 0, taken = 0;
    signature->frames[0] = 0;
    for (int i = first; i < walkedFrames && addresses[i] && taken < signatureFrames; ++i) {
        if (!moduleOf(addresses[i], &module))
            continue;
        length = appendFrame(signature->frames, length, module, addresses[i]);
        signature->frames[length] = 0;
        ++taken;
    }
    char hashed[sizeof signature->frames + 12];
    wsprintfA(hashed, "%08x %s", info->ExceptionRecord->ExceptionCode, signature->frames);
    const DWORD64 hash = hashOf(hashed);
    wsprintfA(signature->text, "%08x-%08x%08x", info->ExceptionRecord->ExceptionCode,
              static_cast<DWORD>(hash >> 32), static_cast<DWORD>(hash));
}
