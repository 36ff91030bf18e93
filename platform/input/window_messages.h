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

// Hands the message to the system input service, which keeps the area for its conversions and
// turns key, button and wheel messages into key events. It claims no message, so the window
// procedure goes on as usual; nothing happens while the service does not exist.
void offerWindowMessage(UINT message, WPARAM wParam, const ClientArea& area);
