// Writes the crash report: the error log and, through the diagnostics library, the
// minidump, both beside the executable and named by the time of the crash. The working
// block comes straight from virtual memory, since the heap may be what broke.
#include "crash/exception_report.h"

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

void writeSections(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    WriteReportHeader(report);
    WriteSystemInfo(report);
    WriteAccessViolation(report);
    WriteMiniDump(report, info);
    WriteRegisters(report);
    WriteCallStack(report, info);
    WriteStackDump(report);
    WriteModuleList(report);
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
