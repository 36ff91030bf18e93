// A game that ends through the fatal-error exit; a watcher thread answers the box and a
// message hook reports how the window went. "break" asks for the breakpoint as well, "null"
// gives no text.
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SysDialogInterface.h"
#include "WindowInterface.h"
#include "support/box_watcher.h"

#include <algorithm>
#include <string>

namespace {

HWND g_window = nullptr;
BoxWatcher* g_watcher = nullptr;

// Unbuffered, so nothing is lost when the process exits from inside the library.
void say(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
}

// The close command comes after the box has gone, so the watcher is done by then.
LRESULT CALLBACK watchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->hwnd == g_window && call->message == WM_COMMAND) {
        g_watcher->join();
        std::string texts = g_watcher->texts;
        std::replace(texts.begin(), texts.end(), '\n', '|');
        say("box \"" + g_watcher->caption + "\" showing " + texts +
            (g_watcher->owner == g_window ? " owned by the " : " not owned by the ") +
            (g_watcher->ownerVisible ? "visible" : "hidden") + " game window\n" +
            "window asked to close with " + std::to_string(call->wParam) + "\n");
    }
    if (code == HC_ACTION && call->hwnd == g_window && call->message == WM_DESTROY)
        say("window destroyed\n");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class FatalGame : public AppInterface {
public:
    explicit FatalGame(const std::string& how) : m_how(how) {}
    const char* name() const override { return "fatal child"; }
    int run() override {
        WindowInterface* windows = WindowInterface::i();
        void* instance = GetModuleHandleA(nullptr);
        windows->registerWindowClass(&instance, "FatalChildWindow");
        windows->createWindow(&g_window, &instance, "fatal child", 0, 320, 200, 32, false);
        say(g_window && IsWindowVisible(g_window) ? "window shown\n" : "no window\n");
        SetWindowsHookExA(WH_CALLWNDPROC, watchSentMessages, nullptr, GetCurrentThreadId());
        g_watcher = new BoxWatcher(IDOK);
        static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"))
            ->fatalError(7, m_how == "null" ? nullptr : "The disk is on fire.", m_how == "break");
        return 0;
    }

private:
    std::string m_how;
};

} // namespace

int main(int argc, char** argv) {
    FatalGame game(argc > 1 ? argv[1] : "");
    return Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW, &game);
}
