// Writes the crash report: the error log and, through the diagnostics library, the
// minidump, both beside the executable (or, where that folder refuses them, in the per-user
// folder prepared with the filter) and named by the time of the crash. Runs after the
// fault: the working block comes straight from virtual memory, since the heap may be what
// broke, and the program's path and name were prepared with the filter.
#include "crash/exception_report.h"

#include "crash/crash_guard.h"

namespace {

static_assert(sizeof(void*) != 4 || sizeof(ExceptionReport) == 39704,
              "the 32-bit working block has the documented size");

bool openReportFile(ExceptionReport* report) {
    char name[MAX_PATH];
    wsprintfA(name, "%s%s", report->reportBase, "_ErrorLog.txt");
    report->reportFile = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    return report->reportFile != INVALID_HANDLE_VALUE;
}

// The executable's folder refused the log: both report files go to the per-user folder, and
// the debugger output says where.
bool openReportFileInFallbackFolder(ExceptionReport* report) {
    const char* folder = reportFacts().fallbackFolder;
    if (!*folder)
        return false;
    char path[MAX_PATH];
    wsprintfA(path, "%s%s", folder, reportFacts().programName);
    makeReportBase(path, report->reportBase);
    if (!openReportFile(report))
        return false;
    char line[MAX_PATH + 80];
    wsprintfA(line, "RecordExceptionInfo: the executable's folder refused the report; it is in %s",
              folder);
    OutputDebugStringA(line);
    return true;
}

void nameProgram(ExceptionReport* report) {
    wsprintfA(report->programPath, "%s", reportFacts().programPath);
    wsprintfA(report->programName, "%s", reportFacts().programName);
    makeReportBase(report->programPath, report->reportBase);
}

struct SectionCall {
    void (*write)(ExceptionReport*, EXCEPTION_POINTERS*);
    ExceptionReport* report;
    EXCEPTION_POINTERS* info;
};

void writeSection(void* argument) {
    SectionCall* call = static_cast<SectionCall*>(argument);
    call->write(call->report, call->info);
}

// Each section stands in a guard of its own, so that a fault in one, in system code that
// trips over a damaged process, costs that section and not the sections after it.
void writeSections(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    void (*const sections[])(ExceptionReport*, EXCEPTION_POINTERS*) = {
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeReportHeader(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeSystemInfo(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeAccessViolation(r); },
        writeMiniDump,
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeRegisters(r); },
        writeCallStack,
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeStackDump(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeModuleList(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeAnnotations(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { writeRecentEvents(r); },
        writeSignature,
    };
    for (auto write : sections) {
        SectionCall call = {write, report, info};
        runGuarded(writeSection, &call);
    }
}

} // namespace

LONG recordExceptionInfo(EXCEPTION_POINTERS* info) {
    if (!info || !info->ExceptionRecord || !info->ContextRecord)
        return 0;
    void* block = VirtualAlloc(nullptr, sizeof(ExceptionReport), MEM_COMMIT, PAGE_READWRITE);
    if (!block) {
        OutputDebugStringA("RecordExceptionInfo: error creating exception report");
        return 0;
    }
    ZeroMemory(block, sizeof(ExceptionReport));
    ExceptionReport* report = static_cast<ExceptionReport*>(block);
    nameProgram(report);
    if (openReportFile(report) || openReportFileInFallbackFolder(report)) {
        report->exceptionRecord = info->ExceptionRecord;
        report->contextRecord = info->ContextRecord;
        writeSections(report, info);
        CloseHandle(report->reportFile);
    } else {
        OutputDebugStringA("RecordExceptionInfo: error creating exception report");
    }
    VirtualFree(block, 0, MEM_RELEASE);
    return 0;
}
