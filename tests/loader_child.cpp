// Runs the loader in a process of its own, in the environment the search tests give it,
// since QVX_Root is read once per process. Prints the file loadLibrary loaded ("null" for
// none); with a second argument it then sets QVX_Root to that root and loads again.
#include "SharedLibraryInterface.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    for (int load = 1; load < argc && load < 3; ++load) {
        if (load == 2)
            _putenv(("QVX_Root=" + std::string(argv[2])).c_str());
        char path[MAX_PATH] = "null";
        if (HMODULE library = SharedLibraryInterface::i()->loadLibrary(argv[1]))
            GetModuleFileNameA(library, path, sizeof path);
        std::printf("%s\n", path);
    }
    return 0;
}
