// The sample game: finds its services, runs a short frame loop over a window of its own
// and reports what it saw, then quits through the message queue like a real game.
#include "AppInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "contracts/diagnostics.h"

#include "demo_resources.h"

#include <cstdio>

namespace {

const int demoFrames = 30;
const UINT frameMessage = WM_APP + 1;

int g_framesSeen = 0;

LRESULT CALLBACK gameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == frameMessage) {
        ++g_framesSeen;
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createGameWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = gameWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_GAME));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "DemoGameWindow";
    if (!RegisterClassA(&windowClass))
        return nullptr;
    return CreateWindowExA(0, "DemoGameWindow", "Platform demo", WS_OVERLAPPEDWINDOW, 40, 40,
                           640, 480, nullptr, nullptr, instance, nullptr);
}

void printServices() {
    NamedInterface* registry = NamedInterface::i();
    void* mainByName = registry ? registry->getInterface("main") : nullptr;
    std::printf("registry: %s\n", registry ? "present" : "missing");
    std::printf("main loop by name %s MainInterface::i()\n",
                mainByName == MainInterface::i() ? "matches" : "differs from");
    std::printf("process id %u\n", MainInterface::i()->getProcessId());
}

// Everything the library traced or warned about while the demo ran.
void printDiagnostics() {
    DbRecord record;
    for (unsigned index = 0; dbReadRecord(index, &record); ++index)
        std::printf("diagnostics: %s\n", record.text);
}

class DemoGame : public AppInterface {
public:
    const char* name() const override { return "Platform demo"; }

    int run() override {
        MainInterface* main = MainInterface::i();
        HINSTANCE instance = static_cast<HINSTANCE>(main->getInstance());
        std::printf("instance handle %s\n", instance ? "set" : "missing");
        printServices();

        HWND window = createGameWindow(instance);
        if (!window) {
            std::printf("could not create the game window\n");
            return 1;
        }
        ShowWindow(window, SW_SHOW);
        int frames = 0;
        while (main->pumpMessages()) {
            if (frames < demoFrames) {
                PostMessageA(window, frameMessage, 0, 0);
                ++frames;
            } else {
                DestroyWindow(window);
            }
        }
        std::printf("frames posted %d, dispatched %d, quit taken from the queue\n", frames,
                    g_framesSeen);
        printDiagnostics();
        return 0;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    DemoGame game;
    int result = Plat::App::PlatWinMain(instance, previous, commandLine, show, &game);
    std::printf("PlatWinMain returned %d\n", result);
    std::fflush(stdout);
    return result;
}
