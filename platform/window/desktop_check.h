// The check createWindow makes of the platform and the desktop's colour depth.
#pragma once

// Traces the platform and the desktop's depth; false (after the game's own message box) when
// Windows 9x runs a palette desktop that the game cannot draw on.
bool checkDesktopColourDepth();
