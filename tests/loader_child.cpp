// Runs the loader in a process of its own, in the environment the search tests give it,
// since QVX_Root is read once per process. Prints one line per step: whether the library
// exists for libraryExists, then the file loadLibrary loaded ("null" for none); with a
// second argument it sets QVX_Root to that root and loads again.
#include "SharedLibraryInterface.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Prints the file that loadLibrary loaded for name, or "null".
void printLoaded(const char* name) {
    char path[MAX_PATH] = "null";
    if (HMODULE library = SharedLibraryInterface::i()->loadLibrary(name))
        GetModuleFileNameA(library, path, sizeof path);
    std::printf("%s\n", path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !SharedLibraryInterface::i())
        return 2;
    const char* name = argv[1];
    std::printf("%s\n", SharedLibraryInterface::i()->libraryExists(name) ? "exists" : "missing");
    printLoaded(name);
    if (argc > 2) {
        _putenv(("QVX_Root=" + std::string(argv[2])).c_str());
        printLoaded(name);
    }
    return 0;
}
