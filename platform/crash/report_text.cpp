// The small text pieces of the crash report: the line writer, paths, times, names and hex.
// Runs after the fault: no heap, fixed buffers, Windows formatting only.
#include "crash/exception_report.h"

#include <cstdarg>

namespace {

const int driveSize = 4;
const int partSize = 256;
// Room left in a report base for the longer of the two file suffixes.
const int reportBaseLimit = MAX_PATH - 13;

struct ExceptionName {
    DWORD code;
    const char* text;
};

const ExceptionName exceptionNames[] = {
    {0x40010005, "a Control-C"},
    {0x40010008, "a Control-Break"},
    {0x80000002, "a Datatype Misalignment"},
    {0x80000003, "a Breakpoint"},
    {0xC0000005, "an Access Violation"},
    {0xC0000006, "an In Page Error"},
    {0xC0000017, "a No Memory"},
    {0xC000001D, "an Illegal Instruction"},
    {0xC0000025, "a Noncontinuable Exception"},
    {0xC0000026, "an Invalid Disposition"},
    {0xC000008C, "a Array Bounds Exceeded"},
    {0xC000008D, "a Float Denormal Operand"},
    {0xC000008E, "a Float Divide by Zero"},
    {0xC000008F, "a Float Inexact Result"},
    {0xC0000090, "a Float Invalid Operation"},
    {0xC0000091, "a Float Overflow"},
    {0xC0000092, "a Float Stack Check"},
    {0xC0000093, "a Float Underflow"},
    {0xC0000094, "an Integer Divide by Zero"},
    {0xC0000095, "an Integer Overflow"},
    {0xC0000096, "a Privileged Instruction"},
    {0xC00000FD, "a Stack Overflow"},
    {0xC0000142, "a DLL Initialization Failed"},
    {0xE06D7363, "a Microsoft C++ Exception"},
};

// Copies count characters of source (fewer if the target is smaller) and terminates.
void copyPart(char* target, int size, const char* source, int count) {
    if (count > size - 1)
        count = size - 1;
    if (count < 0)
        count = 0;
    for (int i = 0; i < count; ++i)
        target[i] = source[i];
    target[count] = 0;
}

// Local DOS date and time of a file time; false when a conversion fails.
bool toLocalDosTime(const FILETIME& time, WORD* date, WORD* clock) {
    FILETIME local;
    return FileTimeToLocalFileTime(&time, &local) && FileTimeToDosDateTime(&local, date, clock);
}

int dosMonth(WORD date) {
    return (date >> 5) & 15;
}
int dosDay(WORD date) {
    return date & 31;
}
int dosYear(WORD date) {
    return (date >> 9) + 1980;
}
int dosHour(WORD clock) {
    return clock >> 11;
}
int dosMinute(WORD clock) {
    return (clock >> 5) & 63;
}
// DOS times count seconds in pairs, so the seconds shown are always even.
int dosSecond(WORD clock) {
    return (clock & 31) * 2;
}

} // namespace

void reportPrintf(ExceptionReport* report, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(report->lineBuffer, format, arguments);
    va_end(arguments);
    DWORD written = 0;
    if (length > 0)
        WriteFile(report->reportFile, report->lineBuffer, static_cast<DWORD>(length), &written,
                  nullptr);
}

void splitPath(const char* path, char* drive, char* directory, char* baseName, char* extension) {
    int length = lstrlenA(path);
    int lastBackslash = -1;
    for (int i = 0; i < length; ++i) {
        if (path[i] == '\\')
            lastBackslash = i;
    }
    // A colon inside the file name itself says nothing about the drive.
    int colonLimit = lastBackslash >= 0 ? lastBackslash : length;
    int lastColon = -1;
    for (int i = 0; i < colonLimit; ++i) {
        if (path[i] == ':')
            lastColon = i;
    }
    int nameStart = lastBackslash >= 0 ? lastBackslash + 1 : lastColon + 1;
    int directoryStart = lastColon + 1;
    copyPart(drive, driveSize, path, nameStart > 0 ? lastColon + 1 : 0);
    copyPart(directory, partSize, path + directoryStart,
             nameStart > 0 ? nameStart - directoryStart : 0);
    int lastDot = -1;
    for (int i = nameStart; i < length; ++i) {
        if (path[i] == '.')
            lastDot = i;
    }
    int nameEnd = lastDot >= 0 ? lastDot : length;
    copyPart(baseName, partSize, path + nameStart, nameEnd - nameStart);
    copyPart(extension, partSize, path + nameEnd, length - nameEnd);
}

void formatFileTime(const FILETIME& time, char* text, int size) {
    char formatted[64] = "";
    WORD date = 0, clock = 0;
    if (toLocalDosTime(time, &date, &clock))
        wsprintfA(formatted, "%d/%d/%d %02d:%02d:%02d", dosMonth(date), dosDay(date), dosYear(date),
                  dosHour(clock), dosMinute(clock), dosSecond(clock));
    copyPart(text, size, formatted, lstrlenA(formatted));
}

void makeReportBase(const char* programPath, char* reportBase) {
    char drive[driveSize], directory[partSize], baseName[partSize], extension[partSize];
    splitPath(programPath, drive, directory, baseName, extension);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WORD date = 0, clock = 0;
    char formatted[1024];
    if (toLocalDosTime(now, &date, &clock)) {
        wsprintfA(formatted, "%s%s%d-%d-%d_%02d_%02d_%02d", drive, directory, dosMonth(date),
                  dosDay(date), dosYear(date), dosHour(clock), dosMinute(clock), dosSecond(clock));
    } else {
        wsprintfA(formatted, "%s", baseName);
    }
    copyPart(reportBase, reportBaseLimit, formatted, lstrlenA(formatted));
}

const char* exceptionName(DWORD code) {
    for (const ExceptionName& name : exceptionNames) {
        if (name.code == code)
            return name.text;
    }
    return "Unknown exception type";
}

void moduleNameOfAddress(const void* address, char* name) {
    MEMORY_BASIC_INFORMATION region;
    char path[MAX_PATH];
    if (VirtualQuery(address, &region, sizeof region) == 0 ||
        GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, MAX_PATH) == 0) {
        wsprintfA(name, "%s", "Unknown");
        return;
    }
    char drive[driveSize], directory[partSize], baseName[partSize], extension[partSize];
    splitPath(path, drive, directory, baseName, extension);
    wsprintfA(name, "%s%s", baseName, extension);
}

// wsprintfA knows no "*" width, so each width has its format.
void formatHex(DWORD64 value, int digits, char* text) {
    const DWORD high = static_cast<DWORD>(value >> 32), low = static_cast<DWORD>(value);
    if (digits == 16)
        wsprintfA(text, "%08x%08x", high, low);
    else if (digits == 8)
        wsprintfA(text, "%08x", low);
    else
        wsprintfA(text, "%04x", low);
}
