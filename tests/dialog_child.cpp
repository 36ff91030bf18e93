// A game ending through the fatal-error exit ("break": with the breakpoint, "null": no text);
// a hook reports the close command and the window's end.
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SysDialogInterface.h"
#include "WindowInterface.h"

#include <cstdio>
#include <string>

namespace {

HWND g_window = nullptr;

LRESULT CALLBACK watchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call->hwnd == g_window && call->message == WM_COMMAND)
        std::printf("close %d, ", int(call->wParam));
    if (call->hwnd == g_window && call->message == WM_DESTROY)
        std::printf("destroyed");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0); // the library ends the process
    Plat::App::EnableExceptionHandling();     // so that the breakpoint is a crash
    const std::string how = argc > 1 ? argv[1] : "";
    void* instance = GetModuleHandleA(nullptr);
    WindowInterface::i()->registerWindowClass(&instance, "FatalChildWindow");
    WindowInterface::i()->createWindow(&g_window, &instance, "fatal child", 0, 320, 200, 32, false);
    SetWindowsHookExA(WH_CALLWNDPROC, watchSentMessages, nullptr, GetCurrentThreadId());
    static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"))
        ->fatalError(7, how == "null" ? nullptr : "The disk is on fire.", how == "break");
}
