// Prints the file loadLibrary loaded ("null" for none), in a process of its own per QVX_Root
// or library search: loader_child NAME [nocwd | nocwd-xp | nocwd-old]. With an option it
// first takes the current directory out of the search and prints whether that worked: as
// the system has it, as XP does (its call recorded instead of made), or as 2000 cannot.
#include "PlatApp.h"
#include "SharedLibraryInterface.h"
#include "support/import_patch.h"

#include <cstdio>
#include <cstring>

namespace {

const char* g_option = "";

BOOL WINAPI recordSetDllDirectory(LPCSTR directory) {
    std::printf("SetDllDirectoryA(\"%s\")\n", directory);
    return TRUE;
}

FARPROC WINAPI olderSystem(HMODULE module, LPCSTR name) {
    if (std::strcmp(name, "SetDefaultDllDirectories") == 0)
        return nullptr;
    if (std::strcmp(name, "SetDllDirectoryA") == 0)
        return std::strcmp(g_option, "nocwd-xp") == 0
                   ? reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(recordSetDllDirectory))
                   : nullptr;
    return GetProcAddress(module, name);
}

} // namespace

int main(int argc, char** argv) {
    g_option = argc > 2 ? argv[2] : "";
    ImportPatch older(std::strncmp(g_option, "nocwd-", 6) == 0 ? GetModuleHandleA("platform.dll")
                                                                : nullptr,
                      "kernel32.dll", "GetProcAddress", olderSystem);
    if (*g_option)
        std::printf("%s\n",
                    Plat::App::RemoveCurrentDirectoryFromLibrarySearch() ? "removed" : "kept");
    char path[MAX_PATH] = "null";
    HMODULE library = argc > 1 ? SharedLibraryInterface::i()->loadLibrary(argv[1]) : nullptr;
    if (library)
        GetModuleFileNameA(library, path, sizeof path);
    std::printf("%s\n", path);
    return 0;
}
