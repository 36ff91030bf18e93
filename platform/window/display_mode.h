// Whether the primary display is in a mode that the window manager set.
#pragma once

// True from a successful full-screen switch until the desktop's mode is restored. It belongs
// to the process: the mode stays changed whatever happens to the window manager.
extern bool g_displayModeChanged;
