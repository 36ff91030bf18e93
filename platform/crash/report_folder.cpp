// Where a crash report goes when the executable's folder refuses new files, as it does for a
// player's process under Program Files: the player's local application data folder, in a
// sub-folder named after the executable, else the temporary folder's. Found and created when
// the filter is installed, never after the fault.
#include "crash/exception_report.h"

#include "sys/system_library.h"

namespace {

const int localApplicationData = 0x001c; // CSIDL_LOCAL_APPDATA
const int createIfMissing = 0x8000;      // CSIDL_FLAG_CREATE
typedef HRESULT(WINAPI* GetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPSTR);

GetFolderPathFunction bindGetFolderPath(HMODULE module) {
    if (!module)
        return nullptr;
    return reinterpret_cast<GetFolderPathFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "SHGetFolderPathA")));
}

// The per-user folder: shell32 has the call from 2000 on (the library imports shell32, so it
// is loaded already), shfolder.dll brings it to 98; the temporary folder where neither has it.
bool userFolder(char (&folder)[MAX_PATH]) {
    GetFolderPathFunction getFolderPath = bindGetFolderPath(GetModuleHandleA("shell32.dll"));
    if (!getFolderPath)
        getFolderPath = bindGetFolderPath(loadSystemLibrary("shfolder.dll"));
    if (getFolderPath &&
        getFolderPath(nullptr, localApplicationData | createIfMissing, nullptr, 0, folder) == S_OK)
        return true;
    DWORD length = GetTempPathA(MAX_PATH, folder);
    return length > 0 && length < MAX_PATH;
}

} // namespace

void prepareFallbackFolder(const char* baseName, const char* programName,
                           char (&folder)[MAX_PATH]) {
    char base[MAX_PATH];
    folder[0] = 0;
    if (!*baseName || !userFolder(base))
        return;
    int length = lstrlenA(base);
    const char* separator = length > 0 && base[length - 1] == '\\' ? "" : "\\";
    // Room for the folder, the report's time stamp and suffix, as the program's path would need.
    if (length + 1 + lstrlenA(baseName) + 1 + lstrlenA(programName) >= MAX_PATH)
        return;
    wsprintfA(folder, "%s%s%s", base, separator, baseName);
    if (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        folder[0] = 0;
        return;
    }
    lstrcatA(folder, "\\");
}
