// Loading the system's own libraries by full path.
#include "sys/system_library.h"

#include "sys/shared_library_impl.h"

HMODULE loadSystemLibrary(const char* fileName) {
    PathBuffer directory, path;
    if (!systemDirectory(directory) || !joinLibraryPath(path, directory, fileName))
        return nullptr;
    return LoadLibraryA(path);
}
