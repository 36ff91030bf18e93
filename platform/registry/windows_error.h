// How failed system calls become text, shared by every service that reports one.
#pragma once

#include <windows.h>

// The system's own text for code, cut to size - 1 characters and always ended (nothing is
// written to a null text or a size of 0).
void formatWindowsError(DWORD code, char* text, unsigned size);

// Traces the thread's last system error as a "Windows Error: ..." text, then clears it.
void traceLastWindowsError();

// Shows string stringId of the game's string table in a task-modal error box; false (and a
// trace) when the text cannot be converted, in which case no box is shown.
bool showLocalizedMessageBox(int stringId);
