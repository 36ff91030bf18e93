// The loader of the game's other libraries: find, load, bind by convention and unload.
#pragma once

#include "PlatformExport.h"

#include <windows.h>

// Names are 8-bit, NUL-terminated; failures show nothing and are only the results (false
// or null). A null or empty name finds nothing. Paths are never cut: a name, or a directory
// joined with it, longer than MAX_PATH - 1 characters is not looked for there (QVX_Root is
// cleaned of doubled separators first, so only the cleaned length counts). Handles belong to
// the caller, who unloads them with unloadLibrary. Use from one thread at a time: the search
// directories are set up, unguarded, at the first load.
// The plain load by name searches the current directory, as Windows does, and an empty
// QVX_Root means bin\ under it: a game started from a downloads folder can load a library
// planted there. Give QVX_Root as an absolute path and start the game in its own folder, or
// call Plat::App::RemoveCurrentDirectoryFromLibrarySearch (PlatApp.h) first.
class PLAT_API SharedLibraryInterface {
public:
    SharedLibraryInterface();
    SharedLibraryInterface(const SharedLibraryInterface&);
    SharedLibraryInterface& operator=(const SharedLibraryInterface&);

    // Whether the file opens, looked for in the system directory and then as named, each
    // time also with ".DLL" added. The QVX_Root directory is not looked in.
    virtual bool libraryExists(const char* name) = 0;
    // Loads by the system's search order, then from the bin directory under QVX_Root (read
    // once per process, at the first load).
    virtual HMODULE loadLibrary(const char* name) = 0;
    // False for a null handle or when FreeLibrary fails.
    virtual bool unloadLibrary(HMODULE library) = 0;
    // Loads the library, checks that its getLibraryID answers requiredId (unless that is
    // 0) and calls its setupFunctionTable(functionTable), a caller-cleans function that
    // answers non-zero on success. On any failure the library is unloaded again and the
    // result is null.
    virtual HMODULE loadAndBindLibrary(const char* name, void* functionTable,
                                       unsigned requiredId) = 0;
    // The library's export of that name, or null; the third argument is ignored.
    virtual void* getFunction(HMODULE library, const char* name, unsigned unused) = 0;

    // The library's loader, or null outside the library's lifetime.
    static SharedLibraryInterface* i();

protected:
    virtual ~SharedLibraryInterface();
};
