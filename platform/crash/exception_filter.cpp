// The unhandled-exception filter: callbacks, report, termination.
#include "crash/exception_filter.h"

#include "PlatApp.h"
#include "crash/crash_context.h"
#include "crash/crash_guard.h"
#include "crash/exception_report.h"

#include <new>
#include <vector>

bool g_noTrap = false;

namespace {

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

} // namespace

LONG WINAPI PlatExceptionFilter(EXCEPTION_POINTERS* info) {
    if (g_noTrap)
        return EXCEPTION_CONTINUE_SEARCH;
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
    g_crashCallbacks->push_back(CrashCallback{function, user});
    return true;
}
