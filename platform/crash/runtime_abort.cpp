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
// Runs after the fault (reportAbort): no heap; signal and RaiseException only.
#include "crash/runtime_abort.h"

#include "crash/crash_context.h"
#include "crash/exception_filter.h"

#include <windows.h>

#include <csignal>
#include <cstdlib>

namespace {

typedef void (*AbortHandler)(int);

// The handler the game had installed before the library's, called first.
AbortHandler g_gameAbortHandler = SIG_DFL;
bool g_hookInstalled = false;

bool isFunction(AbortHandler handler) {
    return handler != SIG_DFL && handler != SIG_IGN && handler != SIG_ERR;
}

// NOTE: msvcrt sets the handler back to the default before it calls it, so an abort inside
// a crash callback, or a second abort, would end the process with exit code 3 and no report.
// Re-armed first, each abort raises the exception again.
void reportAbort(int signal) {
    std::signal(SIGABRT, reportAbort);
    if (isFunction(g_gameAbortHandler))
        g_gameAbortHandler(signal);
    if (g_noTrap)
        return;
    RaiseException(abortExceptionCode(), EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

} // namespace

// Installing twice (EnableExceptionHandling, then PlatWinMain) keeps the game's handler.
void installRuntimeAbortHook() {
    // In a windowed program the runtime would first show "abnormal program termination" in
    // a message box and wait for a click; the report takes its place. This is the whole
    // process's error mode, as PlatApp.h tells the game.
    _set_error_mode(_OUT_TO_STDERR);
    AbortHandler previous = std::signal(SIGABRT, reportAbort);
    if (previous != reportAbort)
        g_gameAbortHandler = previous;
    g_hookInstalled = true;
}

// The game's handler comes back, unless the game has set another one since.
void removeRuntimeAbortHook() {
    if (!g_hookInstalled)
        return;
    AbortHandler current = std::signal(SIGABRT, g_gameAbortHandler);
    if (current != reportAbort)
        std::signal(SIGABRT, current);
    g_hookInstalled = false;
}
