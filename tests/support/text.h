// printf-style formatting into a std::string, for building the one line a test compares.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

__attribute__((format(printf, 1, 2))) inline std::string text(const char* format, ...) {
    char s[256];
    va_list values;
    va_start(values, format);
    std::vsnprintf(s, sizeof s, format, values);
    va_end(values);
    return s;
}
