// Started by the command-line tests with a chosen command line: prints the readings of each
// switch named in CMDLINE_NAMES (separated by ';'), then the entire string in 200 and in 40.
#include "support/cmdline_readings.h"

#include <cstdlib>
#include <sstream>

int main() {
    const char* names = std::getenv("CMDLINE_NAMES");
    std::istringstream list(names ? names : "");
    std::string name;
    while (std::getline(list, name, ';'))
        std::printf("%s: %s\n", name.c_str(), cmdLineReadings(name.c_str()).c_str());
    for (unsigned size : {200u, 40u}) {
        std::string buffer(size, '\0');
        CmdLine::GetEntireString(&buffer[0], size);
        std::printf("entire %u: [%s]\n", size, buffer.c_str());
    }
    return 0;
}
