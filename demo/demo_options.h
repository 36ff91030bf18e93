// The sample game's options screen: monitor, display mode and window state, cycled with keys
// and applied through the display service, drawn over the game's frame.
#pragma once

#include <windows.h>

// Reads the monitors and modes and registers the keys: M monitor, O mode, S window state,
// Enter applies, C copies the chosen settings to the clipboard.
bool startOptions();
// Applies what Enter asked for; call once per frame, outside the message handling.
void updateOptions();
// Draws the screen's lines at the top left of the canvas.
void drawOptions(HDC canvas);
// Plays the scripted player's part for this frame: it picks, applies and goes back.
void playScriptedOptions(HWND window, int frame);
void stopOptions();
