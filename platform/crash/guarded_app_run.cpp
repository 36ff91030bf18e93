// The reporting guard around the game's code (its run, and the window procedure that calls
// its callbacks): it reports the crash while the faulting stack still exists, during the
// search for a handler, and never handles the exception itself. Runs after the fault:
// no heap.
#include "crash/crash_guard.h"

#include "AppInterface.h"
#include "crash/exception_filter.h"

#include <windows.h>

#if defined(__x86_64__)

#include <excpt.h>

extern "C" LONG appGuardFilter(EXCEPTION_POINTERS* info, void*) {
    platExceptionFilter(info);
    return EXCEPTION_CONTINUE_SEARCH;
}

// __try1 defines fixed labels, so this file holds its only use.
__attribute__((noipa)) void runReported(void (*body)(void*), void* argument) {
    __try1(appGuardFilter) body(argument);
    __except1
}

#else

namespace {

EXCEPTION_DISPOSITION NTAPI reportDuringSearch(EXCEPTION_RECORD* record, void*, CONTEXT* context,
                                               void*) {
    if (!(record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))) {
        EXCEPTION_POINTERS info = {record, context};
        platExceptionFilter(&info);
    }
    return ExceptionContinueSearch;
}

} // namespace

// A registration record kept as an ordinary local and linked through fs:0.
__attribute__((noipa)) void runReported(void (*body)(void*), void* argument) {
    EXCEPTION_REGISTRATION_RECORD registration;
    registration.Handler = reportDuringSearch;
    registration.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
    __writefsdword(0, reinterpret_cast<DWORD>(&registration));
    body(argument);
    __writefsdword(0, reinterpret_cast<DWORD>(registration.Next));
}

#endif

bool g_reportingGuardUp = false;

void runAppGuarded(AppInterface* app) {
    g_reportingGuardUp = true;
    runReported([](void* game) { static_cast<AppInterface*>(game)->run(); }, app);
    g_reportingGuardUp = false;
}
