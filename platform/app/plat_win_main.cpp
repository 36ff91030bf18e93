// The exported entry point that the game's WinMain hands its arguments and application to.
#include "PlatApp.h"

#include "app/main_impl.h"
#include "contracts/diagnostics.h"
#include "crash/crash_guard.h"
#include "crash/exception_filter.h"

#include <windows.h>

#include <cstring>
#include <exception>

namespace {

// The 32-bit runtime finds no handler for an escaping C++ exception without unwinding and
// calls terminate at the throw; raising a structured exception there lets the guard report
// it with the thrower's stack intact.
void raiseUnhandledCxxException() {
    const DWORD cxxExceptionCode = 0xE06D7363;
    RaiseException(cxxExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

} // namespace

void Plat::App::EnableExceptionHandling() {
    if (!dbIsDebuggerPresent())
        SetUnhandledExceptionFilter(PlatExceptionFilter);
}

int Plat::App::PlatWinMain(void* hInstance, void*, char*, int, AppInterface* app) {
    // The whole command line counts, the executable's path included.
    g_noTrap = std::strstr(GetCommandLineA(), "notrap") != nullptr;
    EnableExceptionHandling();
    bool guarded = !dbIsDebuggerPresent() && !g_noTrap;
    if (g_mainImpl)
        g_mainImpl->setInstance(hInstance);
    if (guarded) {
        std::set_terminate(raiseUnhandledCxxException);
        runAppGuarded(app);
    } else {
        // Unguarded, exceptions reach the debugger, or the system's own handling.
        app->run();
    }
    return 0;
}
