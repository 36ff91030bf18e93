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

HMODULE loadDbghelp() {
    static const char fileName[] = "dbghelp.dll";
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length > 0 && length < sizeof path) {
        char* name = path;
        for (char* c = path; *c; ++c) {
            if (*c == '\\' || *c == '/' || *c == ':')
                name = c + 1;
        }
        if (static_cast<size_t>(name - path) + sizeof fileName <= sizeof path) {
            std::memcpy(name, fileName, sizeof fileName);
            HMODULE beside = LoadLibraryA(path);
            if (beside)
                return beside;
        }
    }
    return LoadLibraryA(fileName);
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
