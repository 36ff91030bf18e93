// The guard that handles an exception and returns to its caller. Runs after the fault
// (every section of the report stands in one): no heap.
#include "crash/crash_guard.h"

#include <windows.h>

#if defined(__x86_64__)

#include <excpt.h>

// The guard's filter: every exception is handled by resuming after the guarded call.
extern "C" LONG guardedCallFilter(EXCEPTION_POINTERS*, void*) {
    return EXCEPTION_EXECUTE_HANDLER;
}

// __try1 defines fixed labels, so this file holds its only use.
__attribute__((noinline)) bool runGuarded(void (*body)(void*), void* argument) {
    volatile bool completed = false;
    __try1(guardedCallFilter) body(argument);
    completed = true;
    __except1 return completed;
}

#else

namespace {

// A registration record linked through fs:0, with the place to resume at.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD registration;
    void* resume[5];
};

EXCEPTION_DISPOSITION NTAPI resumeAfterFault(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                             void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    GuardFrame* guard = static_cast<GuardFrame*>(frame);
    // Drop the dispatcher's records below ours before jumping back up the stack.
    __writefsdword(0, reinterpret_cast<DWORD>(guard->registration.Next));
    __builtin_longjmp(guard->resume, 1);
}

} // namespace

__attribute__((noinline)) bool runGuarded(void (*body)(void*), void* argument) {
    GuardFrame guard;
    guard.registration.Handler = resumeAfterFault;
    guard.registration.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
    if (__builtin_setjmp(guard.resume))
        return false;
    __writefsdword(0, reinterpret_cast<DWORD>(&guard.registration));
    body(argument);
    __writefsdword(0, reinterpret_cast<DWORD>(guard.registration.Next));
    return true;
}

#endif
