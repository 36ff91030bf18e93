// Turns the C runtime's abort into a crash the filter reports.
//
// A C++ exception that nothing catches ends in the thrower's runtime calling terminate and
// then abort. On i686 that happens at the throw itself whenever the exception would have
// to unwind through another module's frames: each module carries its own static runtime,
// whose unwinder knows only its own module's tables, so a game's exception cannot pass the
// library's frames (run, window procedure, callbacks). The terminate handler belongs to the
// game's runtime copy, out of the library's reach, but abort and its SIGABRT handler live
// in msvcrt.dll, which every module of the process shares. Raising the C++ exception code
// from that handler hands the crash to the guard or the top-level filter while the
// thrower's frames are still on the stack, so the report's call stack shows them.
//
// On x86_64 an uncaught C++ exception reaches the guard as GCC's own exception and is
// reported as such; abort then comes only from the game itself, and its code must be one
// that the runtime's frame handlers do not take for a C++ exception of theirs.
#include "crash/runtime_abort.h"

#include "crash/exception_filter.h"

#include <windows.h>

#include <csignal>
#include <cstdlib>

namespace {

#if defined(__x86_64__)
const DWORD abortExceptionCode = 0x40000015; // STATUS_FATAL_APP_EXIT
#else
// GCC's C++ exception code, as the x86_64 build reports an uncaught exception; no frame
// handler on i686 reads it, the runtime's unwinding being table-driven there.
const DWORD abortExceptionCode = 0x20474343;
#endif

void reportAbort(int) {
    if (g_noTrap)
        return;
    RaiseException(abortExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

} // namespace

void installRuntimeAbortHook() {
    // In a windowed program the runtime would first show "abnormal program termination" in
    // a message box and wait for a click; the report takes its place.
    _set_error_mode(_OUT_TO_STDERR);
    std::signal(SIGABRT, reportAbort);
}
