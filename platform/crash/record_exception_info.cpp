// Writes the crash report: the error log and, through the diagnostics library, the
// minidump, both beside the executable and named by the time of the crash. The working
// block comes straight from virtual memory, since the heap may be what broke.
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

void nameProgram(ExceptionReport* report) {
    if (GetModuleFileNameA(nullptr, report->programPath, MAX_PATH) == 0)
        report->programPath[0] = 0;
    char drive[4], directory[256], baseName[256], extension[256];
    SplitPath(report->programPath, drive, directory, baseName, extension);
    wsprintfA(report->programName, "%s%s", baseName, extension);
    MakeReportBase(report->programPath, report->reportBase);
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
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteReportHeader(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteSystemInfo(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteAccessViolation(r); },
        WriteMiniDump,
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteRegisters(r); },
        WriteCallStack,
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteStackDump(r); },
        [](ExceptionReport* r, EXCEPTION_POINTERS*) { WriteModuleList(r); },
    };
    for (auto write : sections) {
        SectionCall call = {write, report, info};
        runGuarded(writeSection, &call);
    }
}

} // namespace

LONG RecordExceptionInfo(EXCEPTION_POINTERS* info) {
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
    if (openReportFile(report)) {
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
