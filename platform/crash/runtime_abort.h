// The runtime's abort, and so an uncaught C++ exception, reported as a crash.
#pragma once

// Installs the SIGABRT handler in the process's shared C runtime, in front of the game's;
// the filter's installation calls it.
void installRuntimeAbortHook();
// Gives the game's handler back; the library's unload calls it.
void removeRuntimeAbortHook();
