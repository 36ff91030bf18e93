// The crash report: its working block and the pieces that write it. Everything here runs
// in a damaged process, on the faulting thread: no heap, fixed buffers only, and every
// read of memory that may be bad stands inside its own guard.
#pragma once

#include <windows.h>

// The working block of one report, taken straight from virtual memory.
struct ExceptionReport {
    EXCEPTION_RECORD* exceptionRecord;
    CONTEXT* contextRecord;
    HANDLE reportFile;
    char programPath[MAX_PATH];
    char programName[MAX_PATH];
    char reportBase[MAX_PATH];
    char addressText[4096];
    char lineBuffer[2048];
    char stackDumpText[32768];
};

// Writes the error log and the minidump beside the executable; always returns 0.
LONG recordExceptionInfo(EXCEPTION_POINTERS* info);

// Formats with wvsprintfA's rules and 1024-character limit and writes the text to the log.
void reportPrintf(ExceptionReport* report, const char* format, ...);

// Sections, in the order the log shows them.
void writeReportHeader(ExceptionReport* report);
void writeSystemInfo(ExceptionReport* report);
void writeAccessViolation(ExceptionReport* report);
void writeMiniDump(ExceptionReport* report, EXCEPTION_POINTERS* info);
void writeRegisters(ExceptionReport* report);
void writeCallStack(ExceptionReport* report, EXCEPTION_POINTERS* info);
void writeStackDump(ExceptionReport* report);
void writeModuleList(ExceptionReport* report);
void writeModuleInfo(ExceptionReport* report, void* allocationBase);
// After the module list, so that readers of the sections before it see them unchanged.
void writeAnnotations(ExceptionReport* report);
void writeRecentEvents(ExceptionReport* report);
void writeSignature(ExceptionReport* report, EXCEPTION_POINTERS* info);

// The minidump, with the game's annotations as its user stream.
bool saveMiniDumpWithAnnotations(const char* path, EXCEPTION_POINTERS* info);

// The 16 bytes at code, "?? " for each that cannot be read, and an empty line.
void writeCodeBytes(ExceptionReport* report, const BYTE* code);

// The stack dump of the words from stackPointer up to stackBase (at most 8192 bytes), in
// 32-bit or 64-bit words.
void writeStackDump32(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase);
void writeStackDump64(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase);
// One module line: path padded to 35 characters, base, file size, link stamp, file date.
void writeModuleLine(ExceptionReport* report, const char* path, ULONG_PTR base, DWORD fileSize,
                     DWORD linkStamp, const char* dateText);

// Small pieces shared by the sections. Buffers: drive 4, the other parts 256 characters.
void splitPath(const char* path, char* drive, char* directory, char* baseName, char* extension);
// "month/day/year hh:mm:ss" in local time, seconds even; empty when a conversion fails.
void formatFileTime(const FILETIME& time, char* text, int size);
// Drive, directory and the current local time: the prefix of both report files (260 bytes).
void makeReportBase(const char* programPath, char* reportBase);
const char* exceptionName(DWORD code);
// The base name and extension of the module holding address, or "Unknown" (260 bytes).
void moduleNameOfAddress(const void* address, char* name);
// value in 4, 8 or 16 lower-case hex digits (17 bytes).
void formatHex(DWORD64 value, int digits, char* text);
// An address in the width of the build: 8 hex digits on x86, 16 on x64.
const int addressDigits = 2 * sizeof(ULONG_PTR);

// What the report says of the program, its user and the machine, gathered while the
// process is sound, so that the report asks the system for none of it after the fault.
struct ReportFacts {
    char programPath[MAX_PATH]; // empty if it cannot be had
    char programName[MAX_PATH];
    char userName[256];
    const char* systemName; // null when the version cannot be had
    DWORD processors;
    DWORD processorType;
    DWORD memoryMBytes;
    // Where both report files go when the executable's folder refuses them, with a trailing
    // backslash; empty when there is none.
    char fallbackFolder[MAX_PATH];
    // The system directory with a trailing backslash, empty when it cannot be had.
    char systemFolder[MAX_PATH];
};
// Gathers the facts; the filter's installation calls it. A report without it names no
// program and no user.
void prepareReportFacts();
// The per-user folder for reports, created: the local application data folder's (else the
// temporary folder's) sub-folder named baseName, with a trailing backslash; empty when it cannot
// be had or a report path in it would not fit beside programName.
void prepareFallbackFolder(const char* baseName, const char* programName,
                           char (&folder)[MAX_PATH]);
const ReportFacts& reportFacts();
