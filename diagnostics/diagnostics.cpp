// The diagnostics library: every message goes to the debugger output and into a
// fixed ring of records that tests and tools read back.
#include "contracts/diagnostics.h"

#include "recent_events.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

const char* g_dbFilename = "";
unsigned g_dbLineNum = 0;

namespace {

// A critical section, since the reader-writer locks came only with Vista. Initialised by
// the library's own static initialiser, which runs before any module that imports it.
struct RecordLock {
    CRITICAL_SECTION section;
    RecordLock() { InitializeCriticalSection(&section); }
    ~RecordLock() { DeleteCriticalSection(&section); }
};
RecordLock g_recordLock;

struct RecordGuard {
    RecordGuard() { EnterCriticalSection(&g_recordLock.section); }
    ~RecordGuard() { LeaveCriticalSection(&g_recordLock.section); }
};
DbRecord g_records[dbRecordCapacity];
unsigned g_firstRecord = 0;
unsigned g_recordCount = 0;

void copyText(char* target, std::size_t size, const char* text) {
    std::snprintf(target, size, "%s", text ? text : "");
}

void storeRecord(const DbRecord& record) {
    RecordGuard guard;
    unsigned slot = (g_firstRecord + g_recordCount) % dbRecordCapacity;
    g_records[slot] = record;
    if (g_recordCount < dbRecordCapacity)
        ++g_recordCount;
    else
        g_firstRecord = (g_firstRecord + 1) % dbRecordCapacity;
}

// One line for the debugger: "Trace: text", "Warning [44495350]: text", "Fatal file(line): text".
void writeDebugLine(const DbRecord& record) {
    char line[sizeof record.text + 128];
    if (record.kind == dbRecordFatal) {
        std::snprintf(line, sizeof line, "Fatal %s(%u): %s\n", record.file, record.line,
                      record.text);
    } else if (record.kind == dbRecordWarning) {
        std::snprintf(line, sizeof line, "Warning [%08x]: %s\n", record.channel, record.text);
    } else {
        std::snprintf(line, sizeof line, "Trace: %s\n", record.text);
    }
    OutputDebugStringA(line);
}

// The record as one line of the crash report's recent events.
void rememberRecord(const DbRecord& record) {
    char prefix[sizeof record.file + 32];
    if (record.kind == dbRecordFatal)
        std::snprintf(prefix, sizeof prefix, "fatal %s(%u): ", record.file, record.line);
    else if (record.kind == dbRecordWarning)
        std::snprintf(prefix, sizeof prefix, "warning [%08x]: ", record.channel);
    else
        std::snprintf(prefix, sizeof prefix, "%s", "trace: ");
    dbRememberEvent(prefix, record.text);
}

void report(int kind, unsigned channel, const char* format, va_list args) {
    DbRecord record = {};
    record.kind = kind;
    record.channel = channel;
    if (kind == dbRecordFatal) {
        copyText(record.file, sizeof record.file, g_dbFilename);
        record.line = g_dbLineNum;
    }
    std::vsnprintf(record.text, sizeof record.text, format ? format : "", args);
    storeRecord(record);
    writeDebugLine(record);
    rememberRecord(record);
}

} // namespace

void dbTracefAux(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(dbRecordTrace, 0, format, args);
    va_end(args);
}

void dbWarningfAux(unsigned channel, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(dbRecordWarning, channel, format, args);
    va_end(args);
}

void dbFatalfAux(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(dbRecordFatal, 0, format, args);
    va_end(args);
}

bool dbIsDebuggerPresent() {
    return IsDebuggerPresent() != FALSE;
}

unsigned dbRecordCount() {
    RecordGuard guard;
    return g_recordCount;
}

bool dbReadRecord(unsigned index, DbRecord* record) {
    if (!record)
        return false;
    RecordGuard guard;
    bool found = index < g_recordCount;
    if (found)
        *record = g_records[(g_firstRecord + index) % dbRecordCapacity];
    return found;
}

void dbClearRecords() {
    RecordGuard guard;
    g_firstRecord = 0;
    g_recordCount = 0;
}
