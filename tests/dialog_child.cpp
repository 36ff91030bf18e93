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

class FatalGame : public AppInterface {
public:
    explicit FatalGame(const std::string& how) : m_how(how) {}
    const char* name() const override { return "fatal child"; }
    int run() override {
        void* instance = GetModuleHandleA(nullptr);
        WindowInterface* windows = WindowInterface::i();
        windows->registerWindowClass(&instance, "FatalChildWindow");
        windows->createWindow(&g_window, &instance, "fatal child", 0, 320, 200, 32, false);
        SetWindowsHookExA(WH_CALLWNDPROC, watchSentMessages, nullptr, GetCurrentThreadId());
        static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"))
            ->fatalError(7, m_how == "null" ? nullptr : "The disk is on fire.", m_how == "break");
        return 0;
    }

private:
    std::string m_how;
};

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0); // the library ends the process
    FatalGame game(argc > 1 ? argv[1] : "");
    return Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW, &game);
}
