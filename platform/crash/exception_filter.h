// The unhandled-exception filter and the state it reads.
#pragma once

#include <windows.h>

// Set by PlatWinMain when the command line holds "notrap"; the filter then declines.
extern bool g_noTrap;

// The crash callbacks a game may add; AddCrashCallback refuses one more.
const long crashCallbackCapacity = 64;

// Calls the crash callbacks, writes the crash report and ends the process with exit code 1;
// returns EXCEPTION_CONTINUE_SEARCH at once when the no-trap flag is set.
// When two threads fault together only the first reports; the second waits for the first
// to end the process. Each writing its own report would have the second, under the same
// time-stamped name, replace the first's complete log and be cut off by its termination.
LONG WINAPI platExceptionFilter(EXCEPTION_POINTERS* info);

// Prepares, while the process is sound, what the filter needs: the report's facts and the
// watchdog. Called where the filter is installed.
void prepareCrashFilter();

// The crash callback list lives from the last load step to the first unload step.
void createCrashCallbackList();
void destroyCrashCallbackList();
