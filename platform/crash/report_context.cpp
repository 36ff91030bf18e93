// The crash report's sections after the module list: the game's annotations, the recent
// events and the signature. Runs after the fault: no heap; the texts are copied from fixed
// memory into fixed buffers of this file, which only the one reporting thread uses.
#include "PlatApp.h"
#include "contracts/diagnostics.h"
#include "crash/crash_annotations.h"
#include "crash/exception_report.h"
#include "crash/report_signature.h"

namespace {

char g_annotations[annotationTextSize];
char g_events[dbRecentCapacity * (dbRecentLineSize + 2) + 1];

void writeText(ExceptionReport* report, const char* text, int length) {
    DWORD written = 0;
    if (length > 0)
        WriteFile(report->reportFile, text, static_cast<DWORD>(length), &written, nullptr);
}

} // namespace

void writeAnnotations(ExceptionReport* report) {
    reportPrintf(report, "\r\nAnnotations:\r\n");
    writeText(report, g_annotations,
              copyCrashAnnotations(g_annotations, sizeof g_annotations, ": ", "\r\n"));
}

void writeRecentEvents(ExceptionReport* report) {
    reportPrintf(report, "\r\nRecent events:\r\n");
    writeText(report, g_events, static_cast<int>(dbCopyRecentEvents(g_events, sizeof g_events)));
}

void writeSignature(ExceptionReport* report, EXCEPTION_POINTERS* info) {
    CrashSignature signature;
    crashSignature(info, &signature);
    reportPrintf(report, "\r\nSignature: %s\r\n", signature.text);
    reportPrintf(report, "Top frames: %s\r\n", signature.frames);
}

bool saveMiniDumpWithAnnotations(const char* path, EXCEPTION_POINTERS* info) {
    const int length = copyCrashAnnotations(g_annotations, sizeof g_annotations, "=", "\n");
    return dbSaveMiniDumpWithStream(path, info, Plat::App::crashAnnotationStream, g_annotations,
                                    static_cast<unsigned>(length));
}
