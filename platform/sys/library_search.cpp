// The game's opt-in to a library search without the current directory.
#include "PlatApp.h"

#include "contracts/diagnostics.h"

namespace Plat {
namespace App {

namespace {

// A kernel32 function bound at run time; kernel32 is loaded in every process, so looking it
// up loads nothing.
template <typename Function>
Function kernelFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

} // namespace

// The newest call that does it: the default search of Windows 8 (and 7 or Vista with their
// update), which leaves the executable's folder and the system's; else SetDllDirectoryA with
// an empty directory (XP SP1 on), which drops just the current directory.
bool RemoveCurrentDirectoryFromLibrarySearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    const DWORD searchDefaultDirectories = 0x00001000; // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
    if (auto setDefault =
            kernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
        return setDefault(searchDefaultDirectories) != FALSE;
    if (auto setDirectory = kernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA"))
        return setDirectory("") != FALSE;
    dbTracefAux("This system cannot take the current directory out of the library search");
    return false;
}

} // namespace App
} // namespace Plat
