// The game window's procedure: geometry, the close protocol, refusals and activation.
#include "window/window_manager_impl.h"

#include "InputInterface.h"
#include "app/activation.h"
#include "crash/crash_guard.h"
#include "window/close_commands.h"
#include "window/display_impl.h"
#include "window/display_mode.h"

namespace {

bool isAcceptedClose(WPARAM wParam) {
    return wParam == fatalErrorClose || wParam == gameClose;
}

// The screen saver, monitor power-down and the window menu (F10, Alt) would interrupt the game.
bool isRefusedSystemCommand(WPARAM wParam) {
    // The low four bits are the system's own; only the command itself is compared.
    const WPARAM command = wParam & 0xFFF0;
    return command == SC_SCREENSAVE || command == SC_KEYMENU || command == SC_MONITORPOWER;
}

void paintNothing(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

struct MessageCall {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

} // namespace

// While run is guarded, each message is handled inside a reporting guard of its own, since
// it may call the game's callbacks. On i686 a C++ exception thrown in one cannot unwind
// through the library's frames and ends as a crash; the guard makes the x86_64 build end
// the same way instead of letting a catch around pumpMessages take it.
LRESULT CALLBACK WindowManagerImpl::windowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (!g_reportingGuardUp)
        return handleMessage(window, message, wParam, lParam);
    MessageCall call = {window, message, wParam, lParam, 0};
    runReported(
        [](void* argument) {
            MessageCall* c = static_cast<MessageCall*>(argument);
            c->result = handleMessage(c->window, c->message, c->wParam, c->lParam);
        },
        &call);
    return call.result;
}

// Geometry first, then input, then the window's own answer. Input gets every message with the
// geometry in one call and claims none, so input messages still reach the default procedure.
LRESULT WindowManagerImpl::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowManagerImpl& manager = *g_windowManagerImpl;
    if (message == WM_MOVE || message == WM_SIZE || message == WM_DISPLAYCHANGE)
        manager.updateGeometry(window);
    offerWindowMessage(window, message, wParam, lParam, manager.m_geometry);
    const LRESULT result = manager.answerMessage(window, message, wParam, lParam);
    // The display service follows display changes, activation and scale after the window.
    noteDisplayMessage(window, message, wParam);
    return result;
}

// What the window does with a message: each case consumes it or hands it to the default
// procedure.
LRESULT WindowManagerImpl::answerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        // Destroying the window does not quit: the game asks for that through the system
        // utilities.
        return 1;
    case WM_PAINT:
        paintNothing(window);
        return 0;
    case WM_CLOSE:
        // Alt+F4, the system menu and the task bar must not end a running game.
        if (isAcceptedClose(wParam))
            return DefWindowProcA(window, message, wParam, lParam);
        return 1;
    case WM_ACTIVATEAPP:
        onActivateApp(window, wParam != 0);
        return 0;
    case WM_SETCURSOR:
        // The class has no cursor; the shape stays as the game set it.
        return 1;
    case WM_COMMAND:
        if (isAcceptedClose(wParam))
            PostMessageA(window, WM_CLOSE, wParam, 0);
        return 0;
    case WM_SYSCOMMAND:
        if (isRefusedSystemCommand(wParam))
            return 1;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_POWERBROADCAST:
        // A suspend while the game runs would lose its state; every power event is denied.
        return BROADCAST_QUERY_DENY;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Held keys are forgotten and the main loop's callback hears of the switch first; then a
// full-screen game takes its mode back, or steps aside (minimised, without activating anything)
// and gives the desktop its own.
void WindowManagerImpl::onActivateApp(HWND window, bool active) {
    // No key may stay held across a task switch, whichever way it goes.
    if (InputInterface* input = InputInterface::i())
        input->clearAllKeys();
    callActivationCallback(window, active);
    if (!m_fullScreen)
        return;
    if (active) {
        switchToFullScreen(m_window, m_requestedWidth, m_requestedHeight, m_requestedBitDepth);
    } else {
        ShowWindow(window, SW_SHOWMINNOACTIVE);
        restoreDisplayMode();
    }
}
