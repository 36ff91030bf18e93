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
LONG RecordExceptionInfo(EXCEPTION_POINTERS* info);

// Formats with wvsprintfA's rules and 1024-character limit and writes the text to the log.
void ReportPrintf(ExceptionReport* report, const char* format, ...);

// Sections, in the order the log shows them.
void WriteReportHeader(ExceptionReport* report);
void WriteSystemInfo(ExceptionReport* report);
void WriteAccessViolation(ExceptionReport* report);
void WriteMiniDump(ExceptionReport* report, EXCEPTION_POINTERS* info);
void WriteRegisters(ExceptionReport* report);
void WriteCallStack(ExceptionReport* report, EXCEPTION_POINTERS* info);
void WriteStackDump(ExceptionReport* report);
void WriteModuleList(ExceptionReport* report);
void WriteModuleInfo(ExceptionReport* report, void* allocationBase);

// The register block in each architecture's layout, from plain values so that either
// layout can be checked on any build.
struct Registers32 {
    DWORD eax, ebx, ecx, edx, esi, edi, ebp, esp, eip, eflags;
    WORD cs, ss, ds, es, fs, gs;
};
struct Registers64 {
    DWORD64 rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp, rip;
    DWORD64 r8, r9, r10, r11, r12, r13, r14, r15;
    DWORD eflags;
    WORD cs, ss, ds, es, fs, gs;
};
void WriteRegisters32(ExceptionReport* report, const Registers32& registers);
void WriteRegisters64(ExceptionReport* report, const Registers64& registers);
// The 16 bytes at code, "?? " for each that cannot be read, and an empty line.
void WriteCodeBytes(ExceptionReport* report, const BYTE* code);

// The stack dump of the words from stackPointer up to stackBase (at most 8192 bytes), in
// 32-bit or 64-bit words.
void WriteStackDump32(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase);
void WriteStackDump64(ExceptionReport* report, ULONG_PTR stackPointer, ULONG_PTR stackBase);
// One module line: path padded to 35 characters, base, file size, link stamp, file date.
void WriteModuleLine(ExceptionReport* report, const char* path, ULONG_PTR base, DWORD fileSize,
                     DWORD linkStamp, const char* dateText);

// Small pieces shared by the sections. Buffers: drive 4, the other parts 256 characters.
void SplitPath(const char* path, char* drive, char* directory, char* baseName, char* extension);
// "month/day/year hh:mm:ss" in local time, seconds even; empty when a conversion fails.
void FormatFileTime(const FILETIME& time, char* text, int size);
// Drive, directory and the current local time: the prefix of both report files (260 bytes).
void MakeReportBase(const char* programPath, char* reportBase);
const char* GetExceptionName(DWORD code);
// The base name and extension of the module holding address, or "Unknown" (260 bytes).
void GetModuleNameOfAddress(const void* address, char* name);
// An address in the width of the build: 8 hex digits on x86, 16 on x64 (17 bytes).
void FormatAddress(ULONG_PTR address, char* text);
