// The switch search shared by every query: whole names, case ignored, first match wins.
#include "cmdline/switch_search.h"

#include <cstdlib>
#include <cstring>

int argumentCount() {
    // NOTE: 32-bit msvcrt exports __p___argc; the 64-bit one exports only the variable.
#ifdef _WIN64
    const int count = __argc;
#else
    const int count = *__p___argc();
#endif
    return arguments() ? count : 0;
}

char* const* arguments() {
    return *__p___argv();
}

int findSwitch(const char* name) {
    if (!name || !name[0])
        return 0;
    const int count = argumentCount();
    char* const* argv = arguments();
    // A name with its own dash is compared with the whole argument, so only "--x" finds --x.
    const bool nameHasDash = name[0] == '-';
    for (int index = 1; index < count; ++index) {
        const char* argument = argv[index];
        if (argument[0] != '-')
            continue;
        if (_stricmp(nameHasDash ? argument : argument + 1, name) == 0)
            return index;
    }
    return 0;
}

const char* findValue(const char* name) {
    const int index = findSwitch(name);
    if (index == 0 || index + 1 >= argumentCount())
        return nullptr;
    const char* next = arguments()[index + 1];
    return next[0] == '-' ? nullptr : next;
}
