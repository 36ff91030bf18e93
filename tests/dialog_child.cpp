// A game that ends through the fatal-error exit; a watcher thread answers the box and a
// message hook reports how the window went. "break" asks for the breakpoint as well.
#include "AppInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SysDialogInterface.h"
#include "WindowInterface.h"

#include <windows.h>

#include <cstring>
#include <thread>

namespace {

HWND g_window = nullptr;
bool g_break = false;

// Unbuffered, so nothing is lost when the process exits from inside the library.
void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
}

// The close request is posted, so it shows among the messages taken from the queue.
LRESULT CALLBACK watchPostedMessages(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->hwnd == g_window &&
        message->message == WM_CLOSE && message->wParam == 100)
        say("window asked to close with 100\n");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK watchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->hwnd == g_window && call->message == WM_DESTROY)
        say("window destroyed\n");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void answerFatalBox() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        Sleep(50);
        HWND box = FindWindowA("#32770", "Fatal Error");
        if (!box)
            continue;
        say(IsWindowVisible(g_window) ? "game window visible at the box\n"
                                      : "game window hidden at the box\n");
        say(GetWindow(box, GW_OWNER) == g_window ? "box owned by the game window\n"
                                                 : "box not owned by the game window\n");
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    say("no fatal box\n");
}

class FatalGame : public AppInterface {
public:
    const char* name() const override { return "fatal child"; }
    int run() override {
        WindowInterface* windows = WindowInterface::i();
        void* instance = GetModuleHandleA(nullptr);
        windows->registerWindowClass(&instance, "FatalChildWindow");
        windows->createWindow(&g_window, &instance, "fatal child", 0, 320, 200, 32, false);
        say(g_window && IsWindowVisible(g_window) ? "window shown\n" : "no window\n");
        SetWindowsHookExA(WH_GETMESSAGE, watchPostedMessages, nullptr, GetCurrentThreadId());
        SetWindowsHookExA(WH_CALLWNDPROC, watchSentMessages, nullptr, GetCurrentThreadId());
        std::thread watcher(answerFatalBox);
        watcher.detach();
        auto* dialogs =
            static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"));
        dialogs->fatalError(7, "The disk is on fire.", g_break);
        say("fatalError returned\n");
        return 0;
    }
};

} // namespace

int main(int argc, char** argv) {
    g_break = argc > 1 && std::strcmp(argv[1], "break") == 0;
    FatalGame game;
    return Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW, &game);
}
