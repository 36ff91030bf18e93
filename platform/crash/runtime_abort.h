// The runtime's abort, and so an uncaught C++ exception, reported as a crash.
#pragma once

// Installs the SIGABRT handler in the process's shared C runtime; PlatWinMain's filter
// installation calls it.
void installRuntimeAbortHook();
