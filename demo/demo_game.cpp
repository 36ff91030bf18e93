// The sample game: reads its switches, binds its plug-in, times a short frame loop over a
// window of its own, reports what it saw and quits through the message queue like a real
// game. "-crash read|write|divide|throw" makes it crash on purpose to show the report.
#include "AppInterface.h"
#include "CmdLine.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SharedLibraryInterface.h"
#include "Timer.h"
#include "contracts/diagnostics.h"

#include "demo_resources.h"
#include "plugin_table.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

const UINT frameMessage = WM_APP + 1;

int g_framesSeen = 0;
int* volatile g_badAddress = reinterpret_cast<int*>(16);
volatile int g_zero = 0;

struct DemoOptions {
    int frames = 30;
    bool windowed = false;
    std::string crash;
};

DemoOptions readOptions() {
    DemoOptions options;
    CmdLine::Get("frames", options.frames);
    options.windowed = CmdLine::Exist("windowed");
    CmdLine::Get("crash", options.crash);
    char line[512] = "";
    CmdLine::GetEntireString(line, sizeof line);
    std::printf("command line '%s': %d frames, %s\n", line, options.frames,
                options.windowed ? "windowed" : "full-screen when a window manager exists");
    return options;
}

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

// Binds the sky plug-in beside the executable, asks it a few colours and lets it go.
void useSkyPlugin() {
    SharedLibraryInterface* loader = SharedLibraryInterface::i();
    SkyPluginTable table = {};
    HMODULE plugin = loader->loadAndBindLibrary("sky_plugin.dll", &table, skyPluginId);
    if (!plugin) {
        std::printf("sky plug-in: not bound\n");
        return;
    }
    std::printf("sky plug-in '%s' bound; sky at 0h %06x, 6h %06x, 12h %06x\n", table.name(),
                table.skyColour(0), table.skyColour(6), table.skyColour(12));
    loader->unloadLibrary(plugin);
    bool refused = loader->loadAndBindLibrary("sky_plugin.dll", &table, skyPluginId + 1) == nullptr;
    std::printf("sky plug-in with a wrong id: %s\n", refused ? "refused" : "bound (wrong!)");
}

void crashOnPurpose(const std::string& kind) {
    std::printf("crashing on purpose (%s); the report goes beside the executable\n",
                kind.c_str());
    std::fflush(stdout);
    if (kind == "read")
        std::printf("%d\n", *g_badAddress);
    else if (kind == "write")
        *g_badAddress = 1;
    else if (kind == "divide")
        std::printf("%d\n", 10 / g_zero);
    else if (kind == "throw")
        throw std::runtime_error("an exception nobody catches");
    std::printf("unknown crash kind '%s'\n", kind.c_str());
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
        DemoOptions options = readOptions();
        MainInterface* main = MainInterface::i();
        HINSTANCE instance = static_cast<HINSTANCE>(main->getInstance());
        std::printf("instance handle %s\n", instance ? "set" : "missing");
        printServices();
        useSkyPlugin();
        if (!options.crash.empty())
            crashOnPurpose(options.crash);

        HWND window = createGameWindow(instance);
        if (!window) {
            std::printf("could not create the game window\n");
            return 1;
        }
        ShowWindow(window, SW_SHOW);
        runFrames(window, options.frames);
        printDiagnostics();
        return 0;
    }

private:
    // One frame posts one message; after the last the window goes and WM_QUIT ends the loop.
    // The first frame is timed apart: it is the one in which the window appears.
    void runFrames(HWND window, int frames) {
        MainInterface* main = MainInterface::i();
        Timer frame(Timer::microseconds);
        Timer later(Timer::microseconds);
        long long first = 0, slowest = 0;
        int posted = 0;
        frame.start();
        while (main->pumpMessages()) {
            frame.stop();
            long long took = frame.getElapsedTime();
            if (posted == 0)
                first = took;
            else
                slowest = took > slowest ? took : slowest;
            later.stop();
            if (posted < frames) {
                PostMessageA(window, frameMessage, 0, 0);
                ++posted;
            } else {
                DestroyWindow(window);
            }
            frame.restart();
            if (posted > 1)
                later.start();
        }
        std::printf("frames posted %d, dispatched %d, quit taken from the queue\n", posted,
                    g_framesSeen);
        std::printf("first frame %lld us; the other %d took %lld us, slowest %lld us\n", first,
                    posted > 0 ? posted - 1 : 0, later.getElapsedTime(), slowest);
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
