// The diagnostics library: traces, warnings, fatal reports and the debugger query.
#pragma once

#include <windows.h>

#ifdef DIAGNOSTICS_BUILD
#define DB_API __declspec(dllexport)
#else
#define DB_API __declspec(dllimport)
#endif

enum DbRecordKind { dbRecordTrace = 0, dbRecordWarning = 1, dbRecordFatal = 2 };

// One message as the library kept it. file and line are set for fatal reports only.
struct DbRecord {
    int kind;
    unsigned channel; // warning channel, such as 'DISP'
    unsigned line;
    char file[64];
    char text[1024];
};

extern "C" {
// Source of the next fatal report, stored by the caller just before dbFatalfAux.
DB_API extern const char* g_dbFilename;
DB_API extern unsigned g_dbLineNum;

// Each call writes one whole message (no line end) to the debugger output and the record store.
DB_API void dbTracefAux(const char* format, ...) __attribute__((format(printf, 1, 2)));
DB_API void dbWarningfAux(unsigned channel, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Reports a fatal error with g_dbFilename and g_dbLineNum, then returns to the caller.
DB_API void dbFatalfAux(const char* format, ...) __attribute__((format(printf, 1, 2)));
DB_API bool dbIsDebuggerPresent();

// Crash-time services; they may be called from a damaged process and never throw.
// Binds dbghelp (beside the executable first, then the system's) and notes the executable's
// name, so that a crash filter sets up nothing for the first time. Call it when installing
// the filter. Without it dbghelp is bound when first needed and the executable's frames are
// named only if it exports something. False when dbghelp or its minidump writer is missing:
// the minidump then fails, while the stack walk and the module and export names still work.
DB_API bool dbPrepareCrashServices();
// Writes a minidump of this process, with the crash's exception when info is not null.
DB_API bool dbSaveMiniDump(const char* path, EXCEPTION_POINTERS* info);
// Fills addresses with the return addresses of the crashed thread, innermost (the fault)
// first, after skipping skip frames; unused entries are 0. False when no frame was found.
DB_API bool dbDoStackTrace(LONG_PTR* addresses, int capacity, int skip, EXCEPTION_POINTERS* info);
// Writes "module!function+0xoffset", or "module+0xoffset" where no symbol is known, or the
// bare address outside any module. False when the address is in no module.
DB_API bool dbConvertAddress(LONG_PTR address, char* buffer, unsigned size);
// dbSaveMiniDump with one user stream of the given type (above the system's reserved ones)
// holding size bytes of data; no stream when data is null or size 0.
DB_API bool dbSaveMiniDumpWithStream(const char* path, EXCEPTION_POINTERS* info,
                                     unsigned streamType, const void* data, unsigned size);

// The recent events: every trace, warning and fatal report and each breadcrumb becomes one line
// ("trace: ...", "warning [44495350]: ...", "fatal file(line): ...", "breadcrumb: ...") in a
// ring of the newest dbRecentCapacity, each cut to dbRecentLineSize - 1 characters, its line
// ends turned into spaces. Kept in fixed memory without a lock for the crash report to read.
enum { dbRecentCapacity = 64, dbRecentLineSize = 160 };
DB_API void dbAddBreadcrumb(const char* text);
// Copies the events, oldest first, each ending in CR LF, as many whole lines as fit with the
// terminating NUL; returns the length. Safe after a fault: no heap, no lock, and a line being
// written at that moment is left out.
DB_API unsigned dbCopyRecentEvents(char* buffer, unsigned size);

// Read-back of the most recent records (the store keeps the last dbRecordCapacity).
enum { dbRecordCapacity = 256 };
DB_API unsigned dbRecordCount();
// Index 0 is the oldest record kept; false when index is out of range.
DB_API bool dbReadRecord(unsigned index, DbRecord* record);
DB_API void dbClearRecords();
}
