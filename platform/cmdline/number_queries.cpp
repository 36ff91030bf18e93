// The queries that read the value as a number or a boolean, with the runtime's own sscanf.
#include "CmdLine.h"

#include "cmdline/switch_search.h"

#include <cstdio>
#include <cstring>

namespace {

// NOTE: __ms_sscanf is msvcrt's sscanf. The C++ headers route plain sscanf to mingw's C99
// scanner, which also reads hexadecimal floats, "inf" and "nan" as numbers.
bool readInteger(const char* text, int& value) {
    int read = 0;
    if (__ms_sscanf(text, "%i", &read) != 1)
        return false;
    value = read;
    return true;
}

} // namespace

bool CmdLine::Get(const char* name, int& value) {
    const char* text = findValue(name);
    return text && readInteger(text, value);
}

bool CmdLine::Get(const char* name, float& value) {
    const char* text = findValue(name);
    float read = 0;
    if (!text || __ms_sscanf(text, "%f", &read) != 1)
        return false;
    value = read;
    return true;
}

bool CmdLine::Get(const char* name, bool& value) {
    const char* text = findValue(name);
    if (!text)
        return false;
    // A longer first word is cut at 127 characters, which can be neither "true" nor "false".
    char word[128] = {};
    if (__ms_sscanf(text, "%127s", word) == 1) {
        if (_stricmp(word, "true") == 0) {
            value = true;
            return true;
        }
        if (_stricmp(word, "false") == 0) {
            value = false;
            return true;
        }
    }
    int number = 0;
    if (!readInteger(text, number))
        return false;
    value = number != 0;
    return true;
}
