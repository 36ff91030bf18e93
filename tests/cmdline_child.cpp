// Started by the command-line tests with a chosen command line: answers the queries named in
// the environment variable CMDLINE_QUERIES ("kind name" pairs separated by ';', kinds exist,
// text, int, float, bool and entire with a buffer size as its name), one line each.
#include "CmdLine.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void answer(const std::string& kind, const std::string& name) {
    const char* n = name.c_str();
    std::printf("%s %s: ", kind.c_str(), n);
    if (kind == "exist") {
        std::printf("%d\n", CmdLine::Exist(n));
    } else if (kind == "text") {
        std::string value = "unset";
        const bool found = CmdLine::Get(n, value);
        std::printf("%d [%s]\n", found, value.c_str());
    } else if (kind == "int") {
        int value = -1;
        const bool found = CmdLine::Get(n, value);
        std::printf("%d %d\n", found, value);
    } else if (kind == "float") {
        float value = -1;
        const bool found = CmdLine::Get(n, value);
        std::printf("%d %g\n", found, value);
    } else if (kind == "bool") {
        bool value = false;
        const bool found = CmdLine::Get(n, value);
        std::printf("%d %d\n", found, value);
    } else if (kind == "entire") {
        const unsigned size = unsigned(std::atoi(n));
        std::string buffer(size + 1, '\0');
        CmdLine::GetEntireString(&buffer[0], size);
        std::printf("[%s]\n", buffer.c_str());
    } else {
        std::printf("unknown query\n");
    }
}

} // namespace

int main() {
    const char* queries = std::getenv("CMDLINE_QUERIES");
    std::istringstream list(queries ? queries : "");
    std::string query;
    while (std::getline(list, query, ';')) {
        const std::size_t blank = query.find(' ');
        answer(query.substr(0, blank), blank == std::string::npos ? "" : query.substr(blank + 1));
    }
    return 0;
}
