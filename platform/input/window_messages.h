// The input services' seam toward the window procedure: each message of the game window comes
// with the client area the window keeps, so input never asks the window for anything.
#pragma once

#include <windows.h>

// The game window's client area in screen pixels, as the window last measured it.
struct ClientArea {
    int left;
    int top;
    int width;
    int height;
};

// Hands the message to the input services: the system input service keeps the area for its
// conversions and turns key, button and wheel messages into key events, the text service takes
// characters and the mouse motion service raw reports. They claim no message, so the window
// procedure goes on as usual; a service that does not exist is skipped.
void offerWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        const ClientArea& area);
