// The queries that answer with text: presence, the value as a string, and the no-op set-up.
#include "CmdLine.h"

#include "cmdline/switch_search.h"

#include <cstring>
#include <new>

bool CmdLine::Setup(int, char* const*) {
    return true;
}

bool CmdLine::Setup(const char*) {
    return true;
}

bool CmdLine::Shutdown() {
    return true;
}

bool CmdLine::Exist(const char* name) {
    return findSwitch(name) != 0;
}

bool CmdLine::Get(const char* name, char* buffer, unsigned int size) {
    if (!buffer || size == 0)
        return false;
    buffer[0] = '\0';
    const char* value = findValue(name);
    if (!value)
        return false;
    std::strncpy(buffer, value, size);
    buffer[size - 1] = '\0';
    return true;
}

bool CmdLine::Get(const char* name, std::string& value) {
    value.clear();
    const char* found = findValue(name);
    if (!found)
        return false;
    // The caller's string grows here, inside the library: running out of memory must not
    // throw across the module boundary, which the 32-bit runtime cannot unwind.
    try {
        value = found;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
