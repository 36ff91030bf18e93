// The native stand-in for the Windows headers, used only by the fuzz targets: the library's
// string cores compile unchanged against it, with each Win32 or runtime call they make mapped
// to the C library's equivalent. It is force-included, so it also covers the runtime names
// that the cores reach through the C headers (_stricmp, __ms_sscanf, __p___argv).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>

// Nothing is exported from a native build.
#define __declspec(attribute)

#define MAX_PATH 260

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint64_t DWORD64;
typedef std::int16_t SHORT;
typedef std::int32_t LONG;
typedef int BOOL;
typedef std::uintptr_t ULONG_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::size_t SIZE_T;
typedef void* HANDLE;
typedef void* HMODULE;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct MEMORY_BASIC_INFORMATION {
    void* BaseAddress;
    void* AllocationBase;
};

// Only pointers to these pass through the string cores.
struct EXCEPTION_RECORD;
struct CONTEXT;
struct EXCEPTION_POINTERS;

// The runtime's argument vector; the fuzz target that drives the command-line cores defines
// these over the vector it builds.
int* __p___argc();
char*** __p___argv();

// msvcrt's calls by their C library names. Both case-insensitive compares fold to lower case,
// so they agree on equality for every byte.
#define __ms_sscanf std::sscanf
inline int _stricmp(const char* left, const char* right) {
    return strcasecmp(left, right);
}

inline int lstrlenA(const char* text) {
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

// wsprintfA writes at most 1024 characters, its terminator included.
inline int wvsprintfA(char* buffer, const char* format, va_list arguments) {
    const int limit = 1024;
    const int length = std::vsnprintf(buffer, limit, format, arguments);
    return length < limit ? length : limit - 1;
}

inline int wsprintfA(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = wvsprintfA(buffer, format, arguments);
    va_end(arguments);
    return length;
}

// The system clock, which a fuzz target sets to the time it wants the cores to read.
inline FILETIME g_nativeSystemTime = {};

inline void GetSystemTimeAsFileTime(FILETIME* now) {
    *now = g_nativeSystemTime;
}

// Local time is UTC here; Windows refuses times with the top bit set.
inline BOOL FileTimeToLocalFileTime(const FILETIME* time, FILETIME* local) {
    if (time->dwHighDateTime & 0x80000000u)
        return 0;
    *local = *time;
    return 1;
}

// As Windows does: false outside the years 1980 to 2107 that a DOS date can hold.
inline BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* date, WORD* clock) {
    const std::uint64_t ticks =
        (std::uint64_t(time->dwHighDateTime) << 32 | time->dwLowDateTime) / 10000000;
    const std::uint64_t unixOffset = 11644473600; // seconds from 1601 to 1970
    if (ticks < unixOffset)
        return 0;
    const std::time_t seconds = static_cast<std::time_t>(ticks - unixOffset);
    std::tm parts;
    if (!gmtime_r(&seconds, &parts) || parts.tm_year < 80 || parts.tm_year > 207)
        return 0;
    *date = static_cast<WORD>((parts.tm_year - 80) << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
    *clock = static_cast<WORD>(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
    return 1;
}

// A native process has no modules to name and no report file to write.
inline SIZE_T VirtualQuery(const void*, MEMORY_BASIC_INFORMATION*, SIZE_T) {
    return 0;
}
inline DWORD GetModuleFileNameA(HMODULE, char*, DWORD) {
    return 0;
}
inline BOOL WriteFile(HANDLE, const void*, DWORD, DWORD* written, void*) {
    *written = 0;
    return 0;
}
