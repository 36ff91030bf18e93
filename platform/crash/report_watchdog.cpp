// The report's watchdog. A report runs in a damaged process, and the system calls it makes
// (GetModuleFileNameA, CreateFileA, dbghelp) take the loader lock and the heap lock, which
// another faulting thread may hold for good: a fault inside DllMain, or inside HeapAlloc
// on a damaged heap. The report then blocks, and without a watchdog the game would freeze
// with no exit code. Runs after the fault: armReportWatchdog only signals an event that
// was created, with the thread waiting on it, when the filter was installed.
#include "crash/report_watchdog.h"

#include <windows.h>

namespace {

// Time for the minidump and the module walk on a slow machine, short enough that a player
// waits for it rather than kill the game.
const DWORD reportTimeLimit = 30000;

// How long the installation waits for the thread to run: under the loader lock it cannot.
const DWORD startTimeLimit = 5000;

HANDLE g_reportBegun = nullptr;
HANDLE g_watchdog = nullptr;
HANDLE g_watchdogRunning = nullptr;

DWORD WINAPI watchReport(void*) {
    SetEvent(g_watchdogRunning);
    WaitForSingleObject(g_reportBegun, INFINITE);
    Sleep(reportTimeLimit);
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
}

} // namespace

// NOTE: a new thread runs the libraries' thread start-up under the loader lock before its
// own code; had it not done so when another thread takes that lock for good, it would never
// run. So the installation waits until the thread is in its own code.
void startReportWatchdog() {
    if (g_watchdog)
        return;
    g_reportBegun = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_watchdogRunning = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0; // Windows 9x refuses a null thread id
    if (g_reportBegun && g_watchdogRunning)
        g_watchdog = CreateThread(nullptr, 0, watchReport, nullptr, 0, &id);
    if (g_watchdog)
        WaitForSingleObject(g_watchdogRunning, startTimeLimit);
}

void armReportWatchdog() {
    if (g_reportBegun)
        SetEvent(g_reportBegun);
}

// NOTE: this runs at unload, under the loader lock, where waiting for a thread to end
// would wait for ever: its exit needs that lock. The thread is waiting for its event and
// holds nothing, so it is ended where it waits, and never runs the library's code again.
void stopReportWatchdog() {
    if (g_watchdog) {
        TerminateThread(g_watchdog, 0);
        CloseHandle(g_watchdog);
    }
    if (g_reportBegun)
        CloseHandle(g_reportBegun);
    if (g_watchdogRunning)
        CloseHandle(g_watchdogRunning);
    g_watchdog = g_reportBegun = g_watchdogRunning = nullptr;
}
