// Modal boxes over the game window and the fatal-error exit.
#include "sys/sys_dialog_impl.h"

#include "MainInterface.h"
#include "WindowInterface.h"
#include "registry/service_lifetime.h"
#include "window/close_commands.h"

#include <cstdlib>

SysDialogImpl* g_sysDialogImpl = nullptr;

namespace {

const char* const sysDialogServiceName = "SysDialog";
const UINT hideWithoutChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_HIDEWINDOW; // 0x87

HWND gameWindow() {
    WindowInterface* windows = WindowInterface::i();
    return windows ? windows->getWindowHandle() : nullptr;
}

// Drops (or, with dispatch, handles) every message waiting for the window.
void drainWindowMessages(HWND window, bool dispatch) {
    MSG message;
    while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        if (!dispatch)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

SysDialogImpl::SysDialogImpl() : m_dialogText(nullptr), m_dialogControlId(0) {}

SysDialogImpl::~SysDialogImpl() {}

int SysDialogImpl::messageBox(const char* caption, const char* text) {
    return MessageBoxA(gameWindow(), text, caption, 0);
}

int SysDialogImpl::dialogBox(unsigned short templateId, const char* text, int controlId) {
    MainInterface* mainLoop = MainInterface::i();
    HINSTANCE instance = static_cast<HINSTANCE>(mainLoop ? mainLoop->getInstance() : nullptr);
    HWND owner = gameWindow();
    m_dialogText = text;
    m_dialogControlId = controlId;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, dialogProc, 0);
    m_dialogText = nullptr;
    return static_cast<int>(result);
}

// Only OK ends the dialog: Escape and the close box arrive as other commands and are eaten.
INT_PTR CALLBACK SysDialogImpl::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (g_sysDialogImpl && g_sysDialogImpl->m_dialogText)
            SetDlgItemTextA(dialog, g_sysDialogImpl->m_dialogControlId,
                            g_sysDialogImpl->m_dialogText);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void SysDialogImpl::fatalError(int exitCode, const char* text, bool debugBreak) {
    OutputDebugStringA(text);
    HWND window = gameWindow();
    SetWindowPos(window, nullptr, 0, 0, 0, 0, hideWithoutChange);
    messageBox("Fatal Error", text);
    if (debugBreak)
        DebugBreak();
    drainWindowMessages(window, false);
    SendMessageA(window, WM_COMMAND, fatalErrorClose, reinterpret_cast<LPARAM>(text));
    drainWindowMessages(window, true);
    std::exit(exitCode);
}

bool createSysDialogService() {
    return createService(g_sysDialogImpl, sysDialogServiceName);
}

bool destroySysDialogService() {
    return destroyService(g_sysDialogImpl, sysDialogServiceName);
}
