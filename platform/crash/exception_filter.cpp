// The unhandled-exception filter: callbacks, report, termination.
//
// What the filter may do, running on the faulting thread of a damaged process: call the
// crash callbacks, write the report into a block taken from virtual memory, read memory
// only inside guards, and call the diagnostics library's crash services, which were
// prepared (dbghelp loaded, symbols set up) when the filter was installed. What it may not
// do: allocate from any heap, take a lock, load a library or set anything up for the first
// time, or return to the faulting code.
#include "crash/exception_filter.h"

#include "PlatApp.h"
#include "crash/crash_context.h"
#include "crash/crash_guard.h"
#include "crash/exception_report.h"

#include <new>
#include <vector>

bool g_noTrap = false;

namespace {

// The thread writing the report; a second faulting thread waits for it to end the process
// rather than write a second report over the first under the same time-stamped name.
volatile LONG g_reportingThread = 0;

std::vector<Plat::App::CrashCallback>* g_crashCallbacks = nullptr;

// The entry count is read once; the array afresh at each step, as a callback may add one.
void callCrashCallbacks(void*) {
    if (!g_crashCallbacks)
        return;
    std::size_t count = g_crashCallbacks->size();
    for (std::size_t index = 0; index < count; ++index)
        (*g_crashCallbacks)[index].function();
}

// Everything after the stack has been made usable; ends the process.
void runCrashSteps(EXCEPTION_POINTERS* info) {
    runGuarded(callCrashCallbacks, nullptr);
    RecordExceptionInfo(info);
    TerminateProcess(GetCurrentProcess(), 1);
}

// Only one thread reports. A fault on the reporting thread itself, outside the report's
// guards, ends the process at once: its report cannot be trusted to finish.
void claimTheReport() {
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    const LONG owner = InterlockedCompareExchange(&g_reportingThread, self, 0);
    if (owner == 0)
        return;
    if (owner == self)
        TerminateProcess(GetCurrentProcess(), 1);
    for (;;)
        Sleep(INFINITE);
}

} // namespace

LONG WINAPI PlatExceptionFilter(EXCEPTION_POINTERS* info) {
    if (g_noTrap)
        return EXCEPTION_CONTINUE_SEARCH;
    claimTheReport();
    if (info && info->ExceptionRecord &&
        info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
        runWithReclaimedStack(runCrashSteps, info);
    runCrashSteps(info);
    return EXCEPTION_CONTINUE_SEARCH;
}

void createCrashCallbackList() {
    g_crashCallbacks = new (std::nothrow) std::vector<Plat::App::CrashCallback>;
    prepareOverflowStack();
}

void destroyCrashCallbackList() {
    releaseOverflowStack();
    delete g_crashCallbacks;
    g_crashCallbacks = nullptr;
}

bool Plat::App::AddCrashCallback(CrashFunction function, void* user) {
    if (!function || !g_crashCallbacks)
        return false;
    try {
        g_crashCallbacks->push_back(CrashCallback{function, user});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
