// The shared-library loader: probing, loading by name and search directory, binding.
#include "sys/shared_library_impl.h"

#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

#include <cstdio>
#include <cstring>

SharedLibraryImpl* g_sharedLibraryImpl = nullptr;

namespace {

const char* const sharedLibraryServiceName = "SharedLibrary";

// The two exports of a library that follows the binding convention.
typedef unsigned (*GetLibraryIdFunction)();
typedef bool(__cdecl* SetupFunctionTableFunction)(void* functionTable);

// Appends text to path; false, with path unchanged, when the result would not fit.
bool appendText(PathBuffer& path, const char* text) {
    size_t used = std::strlen(path);
    size_t added = std::strlen(text);
    if (used + added >= sizeof path)
        return false;
    std::memcpy(path + used, text, added + 1);
    return true;
}

} // namespace

bool joinLibraryPath(PathBuffer& path, const char* first, const char* second) {
    path[0] = '\0';
    return appendText(path, first) && appendText(path, second);
}

bool systemDirectory(PathBuffer& directory) {
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        return false;
    return directory[length - 1] == '\\' || appendText(directory, "\\");
}

namespace {

// Whether the file can be opened for reading.
bool fileOpens(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

// Whether the file opens as named or with ".DLL" added.
bool probe(const char* path) {
    if (fileOpens(path))
        return true;
    PathBuffer withExtension;
    return joinLibraryPath(withExtension, path, ".DLL") && fileOpens(withExtension);
}

} // namespace

DEFINE_INTERFACE_MEMBERS(SharedLibraryInterface)

SharedLibraryInterface* SharedLibraryInterface::i() {
    return g_sharedLibraryImpl;
}

bool SharedLibraryImpl::libraryExists(const char* name) {
    if (!name || !*name)
        return false;
    PathBuffer directory;
    PathBuffer path;
    if (systemDirectory(directory) && joinLibraryPath(path, directory, name) && probe(path))
        return true;
    return probe(name);
}

HMODULE SharedLibraryImpl::loadLibrary(const char* name) {
    if (!name || !*name)
        return nullptr;
    const std::vector<std::string>* directories = searchDirectories();
    if (HMODULE library = LoadLibraryA(name))
        return library;
    if (!directories)
        return nullptr;
    for (const std::string& directory : *directories) {
        PathBuffer path;
        if (!joinLibraryPath(path, directory.c_str(), name))
            continue;
        if (HMODULE library = LoadLibraryA(path))
            return library;
    }
    return nullptr;
}

bool SharedLibraryImpl::unloadLibrary(HMODULE library) {
    return library && FreeLibrary(library);
}

// Every step goes through the virtual operations, so a derived loader's versions are used.
HMODULE SharedLibraryImpl::loadAndBindLibrary(const char* name, void* functionTable,
                                              unsigned requiredId) {
    HMODULE library = loadLibrary(name);
    if (!library)
        return nullptr;
    if (requiredId != 0 && getLibraryId(library) != requiredId) {
        unloadLibrary(library);
        return nullptr;
    }
    auto setup =
        reinterpret_cast<SetupFunctionTableFunction>(getFunction(library, "setupFunctionTable", 0));
    if (setup && setup(functionTable))
        return library;
    unloadLibrary(library);
    return nullptr;
}

void* SharedLibraryImpl::getFunction(HMODULE library, const char* name, unsigned) {
    // GetProcAddress would search the executable for a null handle.
    if (!library || !name)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

unsigned SharedLibraryImpl::getLibraryId(HMODULE library) {
    if (!library)
        return 0;
    auto getId = reinterpret_cast<GetLibraryIdFunction>(getFunction(library, "getLibraryID", 0));
    return getId ? getId() : 0;
}

bool createSharedLibraryService() {
    return createService(g_sharedLibraryImpl, sharedLibraryServiceName);
}

bool destroySharedLibraryService() {
    return destroyService(g_sharedLibraryImpl, sharedLibraryServiceName);
}
