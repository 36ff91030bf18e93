// The unhandled-exception filter: callbacks, report, termination.
//
// Runs after the fault, on the faulting thread of a damaged process: no heap, no lock,
// nothing loaded or set up for the first time. It calls the crash callbacks from a fixed
// array, writes the report into a block taken from virtual memory, reads memory only inside
// guards, and relies on what prepareCrashFilter made ready while the process was sound:
// the report's facts, dbghelp, and the watchdog that ends a report that cannot finish.
#include "crash/exception_filter.h"

#include "PlatApp.h"
#include "crash/crash_context.h"
#include "crash/crash_guard.h"
#include "crash/exception_report.h"
#include "crash/report_watchdog.h"
#include "crash/runtime_abort.h"

bool g_noTrap = false;

namespace {

// The thread writing the report; a second faulting thread waits for it to end the process
// rather than write a second report over the first under the same time-stamped name.
volatile LONG g_reportingThread = 0;

Plat::App::CrashCallback g_crashCallbacks[crashCallbackCapacity];
volatile LONG g_crashCallbackCount = 0;
bool g_crashCallbacksOpen = false;

// The entry count is read once; the array afresh at each step, as a callback may add one.
void callCrashCallbacks(void*) {
    const LONG count = g_crashCallbackCount;
    for (LONG index = 0; index < count; ++index)
        g_crashCallbacks[index].function();
}

// Everything after the stack has been made usable; ends the process.
void runCrashSteps(EXCEPTION_POINTERS* info) {
    runGuarded(callCrashCallbacks, nullptr);
    recordExceptionInfo(info);
    TerminateProcess(GetCurrentProcess(), 1);
}

// Only one thread reports, and the watchdog starts counting when it begins. A fault on the
// reporting thread itself, outside the report's guards, ends the process at once: its
// report cannot be trusted to finish.
void claimTheReport() {
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    const LONG owner = InterlockedCompareExchange(&g_reportingThread, self, 0);
    if (owner == 0) {
        armReportWatchdog();
        return;
    }
    if (owner == self)
        TerminateProcess(GetCurrentProcess(), 1);
    for (;;)
        Sleep(INFINITE);
}

} // namespace

LONG WINAPI platExceptionFilter(EXCEPTION_POINTERS* info) {
    if (g_noTrap)
        return EXCEPTION_CONTINUE_SEARCH;
    claimTheReport();
    if (info && info->ExceptionRecord &&
        info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
        runWithReclaimedStack(runCrashSteps, info);
    runCrashSteps(info);
    return EXCEPTION_CONTINUE_SEARCH;
}

void prepareCrashFilter() {
    prepareReportFacts();
    startReportWatchdog();
}

void createCrashCallbackList() {
    g_crashCallbackCount = 0;
    g_crashCallbacksOpen = true;
    prepareOverflowStack();
}

void destroyCrashCallbackList() {
    removeRuntimeAbortHook();
    stopReportWatchdog();
    releaseOverflowStack();
    g_crashCallbacksOpen = false;
    g_crashCallbackCount = 0;
}

// The entry is complete before the count that makes the filter read it grows.
bool Plat::App::AddCrashCallback(CrashFunction function, void* user) {
    const LONG count = g_crashCallbackCount;
    if (!function || !g_crashCallbacksOpen || count == crashCallbackCapacity)
        return false;
    g_crashCallbacks[count] = CrashCallback{function, user};
    InterlockedExchange(&g_crashCallbackCount, count + 1);
    return true;
}
