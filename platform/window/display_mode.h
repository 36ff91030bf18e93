// Switching the primary display to the game's full-screen mode and back to the desktop's.
#pragma once

#include <windows.h>

// True from a successful full-screen switch until the desktop's mode is restored. It belongs
// to the process: the mode stays changed whatever happens to the window manager.
extern bool g_displayModeChanged;

// Moves the window to the top-left corner and switches the display, with fallbacks; does
// nothing while a switch is in force.
void switchToFullScreen(HWND window, int width, int height, int bitDepth);
// Gives the desktop its own mode back, if a switch is in force.
void restoreDisplayMode();
