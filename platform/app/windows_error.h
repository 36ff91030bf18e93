// Error reporting helpers the other services share.
#pragma once

// Shows string stringId of the game's string table in a task-modal error box; false (and a
// trace) when the text cannot be converted, in which case no box is shown.
bool showLocalizedMessageBox(int stringId);

// Traces the thread's last system error as a "Windows Error: ..." text, then clears it.
void traceLastWindowsError();
