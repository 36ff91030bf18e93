// The unhandled-exception filter and the state it reads.
#pragma once

#include <windows.h>

// Set by PlatWinMain when the command line holds "notrap"; the filter then declines.
extern bool g_noTrap;

// Calls the crash callbacks, writes the crash report and ends the process with exit code 1;
// returns EXCEPTION_CONTINUE_SEARCH at once when the no-trap flag is set.
// When two threads fault together only the first reports; the second waits for the first
// to end the process. Each writing its own report would have the second, under the same
// time-stamped name, replace the first's complete log and be cut off by its termination.
LONG WINAPI PlatExceptionFilter(EXCEPTION_POINTERS* info);

// The crash callback list lives from the last load step to the first unload step.
void createCrashCallbackList();
void destroyCrashCallbackList();
