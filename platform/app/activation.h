// The main-loop service's seam toward the window procedure, which tells the game of task
// switches through the callbacks set on MainInterface.
#pragma once

#include <windows.h>

// Calls the activation callback (active) or the deactivation one with the window; nothing
// when none is set or the service does not exist.
void callActivationCallback(HWND window, bool active);
