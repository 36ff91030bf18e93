// Run-time binding of dbghelp: the copy beside the game's executable first, as a game ships
// a newer one there, then the system's.
#include "dbghelp_binding.h"

#include <cstring>

namespace {

enum { notBound = 0, binding = 1, bound = 2 };
volatile LONG g_bindState = notBound;
DbghelpServices g_services = {};
const DbghelpServices g_noServices = {};

// A typed GetProcAddress. The detour through void (*)() is the cast that the compiler
// accepts between unrelated function types.
template <typename Function>
bool bindFunction(HMODULE module, const char* name, Function* function) {
    *function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return *function != nullptr;
}

// Replaces everything after the last separator of path (a full file path) with fileName and
// loads that; null when it does not fit or does not load.
HMODULE loadBeside(char (&path)[MAX_PATH], size_t length, const char* fileName, size_t size) {
    char* name = path;
    for (char* c = path; c < path + length; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    if (name == path || static_cast<size_t>(name - path) + size > sizeof path)
        return nullptr;
    std::memcpy(name, fileName, size);
    return LoadLibraryA(path);
}

// Beside the executable first, where a game ships its own copy on purpose, then the system's,
// by full path both times: a bare name would also search the current directory.
HMODULE loadDbghelp() {
    static const char fileName[] = "dbghelp.dll";
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length > 0 && length < sizeof path) {
        if (HMODULE beside = loadBeside(path, length, fileName, sizeof fileName))
            return beside;
    }
    // The system directory with a file name after it, so that the same join applies.
    UINT systemLength = GetSystemDirectoryA(path, sizeof path - 2);
    if (systemLength == 0 || systemLength >= sizeof path - 2)
        return nullptr;
    std::memcpy(path + systemLength, "\\x", 3);
    return loadBeside(path, systemLength + 2, fileName, sizeof fileName);
}

void bindServices(DbghelpServices* services) {
    HMODULE dbghelp = loadDbghelp();
    if (!dbghelp)
        return;
    bindFunction(dbghelp, "MiniDumpWriteDump", &services->writeDump);
}

} // namespace

const DbghelpServices& dbghelpServices() {
    if (InterlockedCompareExchange(&g_bindState, binding, notBound) == notBound) {
        bindServices(&g_services);
        InterlockedExchange(&g_bindState, bound);
    }
    return g_bindState == bound ? g_services : g_noServices;
}
