// The argument vector that the command-line cores read through the runtime's accessors
// (__p___argc, __p___argv) in the native build.
#pragma once

// Every query from now on sees these count strings; the caller keeps them alive.
void giveArguments(int count, char** vector);
