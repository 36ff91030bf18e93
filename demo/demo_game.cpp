// The sample game: reads its switches, binds its sky plug-in, opens its window through the
// library, paints a short timed frame loop and quits through the message queue like a real
// game. Switches: -frames N, -fullscreen, -options (the options screen, with a scripted player
// who picks a mode and window state and applies it), -about (shows the about box), -autoconfirm
// (presses OK on every box after a moment, for headless runs), -fatal (an unrecoverable
// start-up error), -crash read|write|divide|throw (a crash, to show the report), -upload URL
// (earlier runs' crash reports are sent there, as if the player had agreed), -rawmouse (the
// input viewer reads unaccelerated mouse motion).
#include "AppInterface.h"
#include "CmdLine.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SharedLibraryInterface.h"
#include "SysDialogInterface.h"
#include "SysUtilInterface.h"
#include "Timer.h"
#include "WindowInterface.h"
#include "contracts/diagnostics.h"

#include "demo_input.h"
#include "demo_options.h"
#include "demo_resources.h"
#include "demo_viewer.h"
#include "plugin_table.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

const int frameMilliseconds = 16;

int* volatile g_badAddress = reinterpret_cast<int*>(16);
volatile int g_zero = 0;

struct DemoOptions {
    int frames = 120;
    bool fullScreen = false;
    bool options = false;
    bool about = false;
    bool autoConfirm = false;
    bool fatal = false;
    bool rawMouse = false;
    std::string crash;
    std::string upload;
};

DemoOptions readOptions() {
    DemoOptions options;
    CmdLine::Get("frames", options.frames);
    options.fullScreen = CmdLine::Exist("fullscreen");
    options.options = CmdLine::Exist("options");
    options.about = CmdLine::Exist("about");
    options.autoConfirm = CmdLine::Exist("autoconfirm");
    options.fatal = CmdLine::Exist("fatal");
    options.rawMouse = CmdLine::Exist("rawmouse");
    CmdLine::Get("crash", options.crash);
    CmdLine::Get("upload", options.upload);
    char line[512] = "";
    CmdLine::GetEntireString(line, sizeof line);
    std::printf("command line '%s': %d frames, %s\n", line, options.frames,
                options.fullScreen ? "full-screen" : "windowed");
    return options;
}

void printServices() {
    NamedInterface* registry = NamedInterface::i();
    void* mainByName = registry ? registry->getInterface("main") : nullptr;
    std::printf("registry: %s\n", registry ? "present" : "missing");
    std::printf("main loop by name %s MainInterface::i()\n",
                mainByName == MainInterface::i() ? "matches" : "differs from");
    std::printf("process id %u\n", MainInterface::i()->getProcessId());
}

// Stands in for a player in headless runs: after a moment, reads each box this process
// shows and presses its OK button.
void confirmBoxes() {
    HWND answered = nullptr;
    for (int attempt = 0; attempt < 200; ++attempt) {
        Sleep(100);
        HWND box = FindWindowA("#32770", nullptr);
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (!box || box == answered || process != GetCurrentProcessId() || !IsWindowVisible(box))
            continue;
        answered = box;
        Sleep(400);
        char caption[128] = "", text[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        if (!GetDlgItemTextA(box, IDC_ABOUT_TEXT, text, sizeof text))
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // a message box's text
        std::printf("box '%s' says '%s'; pressing OK\n", caption, text);
        std::fflush(stdout);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

// Binds the sky plug-in beside the executable; null when it is missing or refuses.
HMODULE bindSkyPlugin(SkyPluginTable& table) {
    SharedLibraryInterface* loader = SharedLibraryInterface::i();
    HMODULE plugin = loader->loadAndBindLibrary("sky_plugin.dll", &table, skyPluginId);
    if (!plugin) {
        std::printf("sky plug-in: not bound\n");
        return nullptr;
    }
    Plat::App::AddCrashBreadcrumb("the sky plug-in is bound");
    std::printf("sky plug-in '%s' bound; sky at 0h %06x, 6h %06x, 12h %06x\n", table.name(),
                table.skyColour(0), table.skyColour(6), table.skyColour(12));
    SkyPluginTable other = {};
    bool refused = loader->loadAndBindLibrary("sky_plugin.dll", &other, skyPluginId + 1) == nullptr;
    std::printf("sky plug-in with a wrong id: %s\n", refused ? "refused" : "bound (wrong!)");
    return plugin;
}

void crashOnPurpose(const std::string& kind) {
    std::printf("crashing on purpose (%s); the report goes beside the executable\n", kind.c_str());
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

// One frame: the sky of the hour the frame stands for, a line of text, the options screen or
// the input viewer, drawn off screen and copied in one go so the window never shows half a
// frame.
void paintFrame(HWND window, const SkyPluginTable& sky, int frame, int frames, bool options) {
    float hour = 24.0f * float(frame) / float(frames > 0 ? frames : 1);
    unsigned colour = sky.skyColour ? sky.skyColour(hour) : 0x203040;
    RECT client;
    GetClientRect(window, &client);
    HDC screen = GetDC(window);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP pixels = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ previous = SelectObject(canvas, pixels);
    HBRUSH brush = CreateSolidBrush(RGB(colour >> 16, (colour >> 8) & 0xff, colour & 0xff));
    FillRect(canvas, &client, brush);
    DeleteObject(brush);
    // The sun crosses the window from 6h to 18h.
    int sunX = int(float(client.right) * (hour - 6.0f) / 12.0f);
    int sunY = client.bottom -
               int(float(client.bottom) * 0.8f * (1.0f - (hour - 12.0f) * (hour - 12.0f) / 36.0f));
    HBRUSH sun = CreateSolidBrush(RGB(255, 214, 64));
    HGDIOBJ plainBrush = SelectObject(canvas, sun);
    Ellipse(canvas, sunX - 30, sunY - 30, sunX + 30, sunY + 30);
    SelectObject(canvas, plainBrush);
    DeleteObject(sun);
    char text[96];
    int length = std::snprintf(text, sizeof text, "Platform demo - frame %d of %d, %02d:00", frame,
                               frames, int(hour));
    SetBkMode(canvas, TRANSPARENT);
    SetTextColor(canvas, RGB(255, 255, 255));
    TextOutA(canvas, 24, 24, text, length);
    if (options)
        drawOptions(canvas);
    drawViewer(canvas, options ? 200 : 56);
    BitBlt(screen, 0, 0, client.right, client.bottom, canvas, 0, 0, SRCCOPY);
    SelectObject(canvas, previous);
    DeleteObject(pixels);
    DeleteDC(canvas);
    ReleaseDC(window, screen);
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
        // What a crash report should say of this run; a real game would ask the player before
        // switching the upload on.
        Plat::App::SetCrashAnnotation("build", __DATE__);
        Plat::App::SetCrashAnnotation("frames", std::to_string(options.frames).c_str());
        if (!options.upload.empty())
            std::printf("crash upload to %s: %s\n", options.upload.c_str(),
                        Plat::App::EnableCrashUpload(options.upload.c_str(), "PlatformDemo",
                                                     "1.0", true)
                            ? "on"
                            : "refused");
        if (options.autoConfirm)
            std::thread(confirmBoxes).detach();
        void* instance = MainInterface::i()->getInstance();
        std::printf("instance handle %s\n", instance ? "set" : "missing");
        printServices();
        auto* dialogs =
            static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"));
        if (options.fatal)
            dialogs->fatalError(3, "The game data (data\\game.pak) is missing.", false);
        SkyPluginTable sky = {};
        HMODULE plugin = bindSkyPlugin(sky);
        if (!options.crash.empty())
            crashOnPurpose(options.crash);

        WindowInterface* windows = WindowInterface::i();
        HWND window = nullptr;
        if (!windows->registerWindowClass(&instance, "DemoGameWindow") ||
            !windows->createWindow(&window, &instance, "Platform demo", 0, 640, 480, 32,
                                   options.fullScreen)) {
            std::printf("could not create the game window\n");
            return 1;
        }
        std::printf("window %dx%d at %d bits, aspect %.2f\n", windows->getWidth(),
                    windows->getHeight(), windows->getBitDepth(), windows->getAspectRatio());
        if (options.about) {
            int answer =
                dialogs->dialogBox(IDD_ABOUT, "Platform demo, built " __DATE__ ".", IDC_ABOUT_TEXT);
            std::printf("about box closed with %d\n", answer);
        }
        bool input = startInput();
        std::printf("input service %s\n", input ? "ready" : "missing");
        const bool optionsShown = options.options && input && startOptions();
        if (input)
            startViewer(options.rawMouse);
        runFrames(window, sky, options.frames, optionsShown);
        if (optionsShown)
            stopOptions();
        if (input) {
            stopViewer();
            stopInput();
        }
        windows->destroyWindow(0, 0);
        windows->unregisterWindowClass(&instance, "DemoGameWindow");
        if (plugin)
            SharedLibraryInterface::i()->unloadLibrary(plugin);
        printDiagnostics();
        return 0;
    }

private:
    // Paints and times frames until the last one asks the loop to quit. The first frame is
    // timed apart: it is the one in which the window appears.
    void runFrames(HWND window, const SkyPluginTable& sky, int frames, bool options) {
        MainInterface* main = MainInterface::i();
        Timer frame(Timer::microseconds);
        Timer later(Timer::microseconds);
        long long first = 0, slowest = 0;
        int painted = 0;
        frame.start();
        while (main->pumpMessages()) {
            if (options)
                updateOptions();
            updateViewer();
            paintFrame(window, sky, painted, frames, options);
            playScriptedInput(window, painted);
            playScriptedViewer(painted);
            if (options)
                playScriptedOptions(window, painted);
            if (painted == frames / 2) {
                std::printf("halfway: frame %d painted\n", painted);
                std::fflush(stdout);
            }
            Sleep(frameMilliseconds);
            frame.stop();
            long long took = frame.getElapsedTime();
            if (painted == 0)
                first = took;
            else
                slowest = took > slowest ? took : slowest;
            later.stop();
            if (++painted >= frames)
                SysUtilInterface::i()->postQuit(0);
            frame.restart();
            if (painted > 1)
                later.start();
        }
        std::printf("frames painted %d, then the quit message ended the loop\n", painted);
        std::printf("first frame %lld us; the other %d took %lld us, slowest %lld us\n", first,
                    painted > 0 ? painted - 1 : 0, later.getElapsedTime(), slowest);
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
