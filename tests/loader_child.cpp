// Prints the file loadLibrary loaded ("null" for none), in a process of its own per QVX_Root.
#include "SharedLibraryInterface.h"

#include <cstdio>

int main(int argc, char** argv) {
    char path[MAX_PATH] = "null";
    HMODULE library = argc > 1 ? SharedLibraryInterface::i()->loadLibrary(argv[1]) : nullptr;
    if (library)
        GetModuleFileNameA(library, path, sizeof path);
    std::printf("%s\n", path);
    return 0;
}
