// The sample game's input: key and generic callbacks, a scripted player that presses keys
// through real window messages, and a camera turned by the captured mouse.
#pragma once

#include <windows.h>

#include <string>

// Initialises the input service and registers the game's callbacks.
bool startInput();
// Plays the scripted player's part for this frame: keys, a click, a mouse turn.
void playScriptedInput(HWND window, int frame);
// Prints what the callbacks saw and frees the input service.
void stopInput();
// The key's name as the keyboard layout gives it, in plain characters for printing.
std::string keyName(unsigned key);
