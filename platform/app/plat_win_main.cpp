// The exported entry point that the game's WinMain hands its arguments and application to.
#include "PlatApp.h"

#include "app/main_impl.h"
#include "contracts/diagnostics.h"
#include "crash/crash_guard.h"
#include "crash/exception_filter.h"
#include "crash/runtime_abort.h"
#include "window/display_impl.h"

#include <windows.h>

#include <cstring>

void Plat::App::EnableExceptionHandling() {
    if (dbIsDebuggerPresent())
        return;
    // What the filter needs is made ready now, while the process is sound, so the filter
    // sets up nothing for the first time; without dbghelp the report still comes, minus the dump.
    dbPrepareCrashServices();
    prepareCrashFilter();
    SetUnhandledExceptionFilter(platExceptionFilter);
    installRuntimeAbortHook();
}

int Plat::App::PlatWinMain(void* hInstance, void*, char*, int, AppInterface* app) {
    // The whole command line counts, the executable's path included.
    g_noTrap = std::strstr(GetCommandLineA(), "notrap") != nullptr;
    EnableExceptionHandling();
    bool guarded = !dbIsDebuggerPresent() && !g_noTrap;
    if (g_mainImpl)
        g_mainImpl->setInstance(hInstance);
    // Before the game's first window, which takes the process's scale awareness as it stands.
    markProcessScaleAware();
    if (guarded) {
        runAppGuarded(app);
    } else {
        // Unguarded, exceptions reach the debugger, or the system's own handling.
        app->run();
    }
    return 0;
}
