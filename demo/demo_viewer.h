// The input viewer: what the player's devices are doing this frame, drawn over the game: the
// keys held, the mouse's motion, each connected pad and a line of typed text.
#pragma once

#include <windows.h>

// Starts the pads; raw asks for unaccelerated mouse motion. Text entry waits for the chat line.
void startViewer(bool raw);
// Reads the pads, the typed characters and the mouse's motion; once per frame.
void updateViewer();
// Draws the panel from the given height down.
void drawViewer(HDC canvas, int top);
// The scripted player's part: opens the chat line, types a greeting one character a frame and
// moves the mouse.
void playScriptedViewer(int frame);
// Prints what the viewer saw and stops text entry and the pads.
void stopViewer();
