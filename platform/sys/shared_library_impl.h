// The shared-library loader's private implementation.
#pragma once

#include "SharedLibraryInterface.h"

#include <string>
#include <vector>

class SharedLibraryImpl : public SharedLibraryInterface {
public:
    bool libraryExists(const char* name) override;
    HMODULE loadLibrary(const char* name) override;
    bool unloadLibrary(HMODULE library) override;
    HMODULE loadAndBindLibrary(const char* name, void* functionTable, unsigned requiredId) override;
    void* getFunction(HMODULE library, const char* name, unsigned unused) override;

    // What the library's getLibraryID answers; 0 for a null handle or without that export.
    unsigned getLibraryId(HMODULE library);

    // The search-directory list exists from the load step that creates it to the unload
    // step that destroys it; outside that span loadLibrary tries the name alone.
    static void createSearchDirectories();
    static void destroySearchDirectories();

private:
    // The list, set up from QVX_Root on the first call of the process; null outside its
    // lifetime.
    static const std::vector<std::string>* searchDirectories();

    // Directories ending with a backslash, tried in order after the system's search.
    static std::vector<std::string>* s_searchDirectories;
    // Set once QVX_Root has been read; never reset, so the variable is read only once.
    static bool s_searchDirectoriesReady;
};

// A path the loader builds from a directory and a library name.
typedef char PathBuffer[MAX_PATH];

// Writes first followed by second into path; false when they do not fit together with the
// terminating zero.
bool joinLibraryPath(PathBuffer& path, const char* first, const char* second);
// The system directory with a trailing backslash; false when the system gives none.
bool systemDirectory(PathBuffer& directory);

// The service's instance pointer, which SharedLibraryInterface::i() returns.
extern SharedLibraryImpl* g_sharedLibraryImpl;

// Row 2 of the service table, registered as "SharedLibrary".
bool createSharedLibraryService();
bool destroySharedLibraryService();
