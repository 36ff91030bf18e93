// Loading the system's own libraries by full path.
#include "sys/system_library.h"

#include <cstring>

HMODULE loadSystemLibrary(const char* fileName) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = std::strlen(fileName);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH)
        return nullptr;
    if (path[length - 1] != '\\')
        path[length++] = '\\';
    std::memcpy(path + length, fileName, nameLength + 1);
    return LoadLibraryA(path);
}
