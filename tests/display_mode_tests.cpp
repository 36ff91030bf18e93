// Full-screen display modes and the desktop check, with platform.dll's display, version and
// device imports scripted; display calls and traces go into one timeline.
#include "support/arguments.h"
#include "support/box_watcher.h"
#include "support/game_window.h"
#include "support/records.h"

#include <cstdio>
#include <deque>
#include <utility>

namespace {

using Calls = std::vector<std::string>;

struct Script {
    std::deque<LONG> results; // an empty queue answers DISP_CHANGE_SUCCESSFUL
    Calls timeline;
    unsigned nextRecord = dbRecordCount();
    DWORD moveError = 0;
    bool moveFails = false, versionFails = false;
    OSVERSIONINFOA version = {sizeof(OSVERSIONINFOA), 5, 1, 2600, VER_PLATFORM_WIN32_NT, "SP3"};
    int desktopDepth = 32;
} g_script;

// Adds the traces since the last look, then the call; a run of enumerations is one entry.
void note(const std::string& call) {
    for (const DbRecord& record : recordsSince(g_script.nextRecord)) {
        const bool display = record.kind == dbRecordWarning && record.channel == 0x44495350;
        g_script.timeline.push_back((display ? "DISP warning: " : "") + std::string(record.text));
    }
    g_script.nextRecord = dbRecordCount();
    Calls& timeline = g_script.timeline;
    if (call.compare(0, 4, "enum") == 0 && !timeline.empty() && timeline.back()[0] == 'e')
        timeline.back() += call.substr(4);
    else if (!call.empty())
        timeline.push_back(call);
}

// Modes 0, 7 and 8 are 640 x 480 x 32 at 85 Hz, the others 1024 x 768 x 16 at 60 Hz; the
// record is marked, so that a change shows the enumerated mode it started from.
BOOL WINAPI fakeEnumDisplaySettings(LPCSTR, DWORD index, DEVMODEA* mode) {
    note("enum " + std::to_string(index));
    if (index > 8)
        return FALSE;
    const bool small = index == 0 || index == 7 || index == 8;
    mode->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    mode->dmPelsWidth = small ? 640 : 1024;
    mode->dmPelsHeight = small ? 480 : 768;
    mode->dmBitsPerPel = small ? 32 : 16;
    mode->dmDisplayFrequency = small ? 85 : 60;
    mode->dmLogPixels = WORD(index);
    return TRUE;
}

// "change <fields> <width>x<height>x<bits>@<rate> from <mode>", or "restore" (the registry's).
LONG WINAPI fakeChangeDisplaySettings(DEVMODEA* mode, DWORD flags) {
    char call[128] = "restore";
    if (mode)
        std::snprintf(call, sizeof call, "change %lx %lux%lux%lu@%lu from %u", mode->dmFields,
                      mode->dmPelsWidth, mode->dmPelsHeight, mode->dmBitsPerPel,
                      mode->dmDisplayFrequency, unsigned(mode->dmLogPixels));
    const bool minimised = !mode && IsIconic(WindowInterface::i()->getWindowHandle());
    note(call + std::string(minimised ? " minimised" : "") +
         (flags != (mode ? DWORD(CDS_FULLSCREEN) : 0) ? " with other flags" : ""));
    const LONG result = g_script.results.empty() ? DISP_CHANGE_SUCCESSFUL : g_script.results[0];
    if (!g_script.results.empty())
        g_script.results.pop_front();
    return result;
}

// A move anywhere but to the corner, or one that changes the size or z-order, fails with code 0.
BOOL WINAPI fakeSetWindowPos(HWND window, HWND after, int x, int y, int width, int height,
                             UINT flags) {
    note("move");
    if (g_script.moveFails || x != 0 || y != 0 || flags != (SWP_NOSIZE | SWP_NOZORDER)) {
        SetLastError(g_script.moveFails ? g_script.moveError : ERROR_SUCCESS);
        return FALSE;
    }
    return SetWindowPos(window, after, x, y, width, height, flags);
}

BOOL WINAPI fakeGetVersionEx(OSVERSIONINFOA* version) {
    if (g_script.versionFails || version->dwOSVersionInfoSize != 148)
        return FALSE;
    *version = g_script.version;
    return TRUE;
}

int WINAPI fakeGetDeviceCaps(HDC context, int index) {
    const bool desktop = index == BITSPIXEL && WindowFromDC(context) == GetDesktopWindow();
    return desktop ? g_script.desktopDepth : 0;
}

void heard(const char* what) {
    note(std::string(what) + (InputInterface::i()->isKeyDown('A') ? ", A down" : ", A up"));
}

const char* const xpTrace = "Changing from a 32 bit colour depth in winNT (5.1 build 2600), SP3";
const char* const badMode = "ChangeDisplaySettings:The graphics mode is not supported.";
const char* const failed =
    "ChangeDisplaySettings:The display driver failed the specified graphics mode.";
const char* const retry = "Switch to 640x480x32bit failed, trying again";
const char* const fallback =
    "DISP warning: An error occurred trying to switch to fullscreen mode so using windowed instead";
const char* const all = "enum 0 1 2 3 4 5 6 7 8 9 0";
const char* const attempt = "change 1c0000 640x480x32@85 from 0";
const char* const depth = "change 40000 640x480x32@85 from 0";
const char* const size = "change 180000 640x480x32@85 from 0";

// A window of the test's own stays active, so the tests send the activations themselves.
class DisplayTest : public GameWindowTest {
protected:
    void SetUp() override {
        g_script = Script();
        SetForegroundWindow(m_keeper);
        for (const ImportPatch& patch : m_patches)
            ASSERT_TRUE(patch.active());
        GameWindowTest::SetUp();
    }

    static Calls timeline() {
        note("");
        return std::exchange(g_script.timeline, {});
    }

    Calls createAndDestroy(const std::vector<const char*>& switches, std::deque<LONG> results) {
        Arguments arguments(switches);
        g_script.results = results;
        EXPECT_TRUE(create(640, 480, 32, true)) << "whatever the switch did";
        EXPECT_TRUE(GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_TRUE(manager()->destroyWindow(0, 0));
        return timeline();
    }

    HWND m_keeper = CreateWindowExA(0, "STATIC", "keeper", WS_POPUP | WS_VISIBLE, 600, 600, 16, 16,
                                    nullptr, nullptr, nullptr, nullptr);
    ImportPatch m_patches[5] = {
        patchPlatform("user32.dll", "EnumDisplaySettingsA", fakeEnumDisplaySettings),
        patchPlatform("user32.dll", "ChangeDisplaySettingsA", fakeChangeDisplaySettings),
        patchPlatform("user32.dll", "SetWindowPos", fakeSetWindowPos),
        patchPlatform("kernel32.dll", "GetVersionExA", fakeGetVersionEx),
        patchPlatform("gdi32.dll", "GetDeviceCaps", fakeGetDeviceCaps)};
};

// An enumerated mode at the "-refresh" rate, else the size and depth on a template (the first
// failed match at a non-zero index, else mode 0), else the depth and then the size, undone if
// that fails. Only a switched mode is restored.
TEST_F(DisplayTest, TriesTheRefreshRateThenTheModeThenDepthAndSize) {
    const std::string at85 = "change 5c0000 640x480x32@85 from ";
    EXPECT_EQ((Calls{xpTrace, "move", all, attempt, "restore"}), createAndDestroy({}, {}));
    EXPECT_EQ((Calls{xpTrace, "move", "enum 0", at85 + "0", badMode, "enum 1 2 3 4 5 6 7",
                     at85 + "7", failed, "enum 8", at85 + "8",
                     "ChangeDisplaySettings:An invalid parameter was passed in. This can include "
                     "an invalid flag or combination of flags.",
                     "enum 9 7", "change 1c0000 640x480x32@85 from 7", "restore"}),
              createAndDestroy({"-refresh", "85"},
                               {DISP_CHANGE_BADMODE, DISP_CHANGE_FAILED, DISP_CHANGE_BADPARAM}));
    EXPECT_EQ((Calls{xpTrace, "move", all, attempt,
                     "ChangeDisplaySettings:The computer must be restarted in order for the "
                     "graphics mode to work.",
                     retry, depth, size, "restore"}),
              createAndDestroy({}, {DISP_CHANGE_RESTART}));
    EXPECT_EQ(
        (Calls{xpTrace, "move", all, attempt,
               "ChangeDisplaySettings:An invalid set of flags was passed in.", retry, depth, size,
               "restore", badMode, fallback}),
        createAndDestroy({}, {DISP_CHANGE_BADFLAGS, 0, DISP_CHANGE_FAILED, DISP_CHANGE_BADMODE}));
}

// Each activation change clears the keys, calls the main loop, then switches to the game's
// mode or (minimised first) back to the desktop's, once; a failed restore still counts.
TEST_F(DisplayTest, ActivationClearsKeysCallsTheLoopThenSwitchesOnce) {
    char text[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_WINDOW_HANDLE, 0, text,
                   sizeof text, nullptr);
    ASSERT_TRUE(InputInterface::i()->initialize());
    MainInterface::i()->setActivateCallback([](HWND) { heard("activated"); });
    MainInterface::i()->setDeactivateCallback([](HWND) { heard("deactivated"); });
    g_script.moveFails = true;
    g_script.moveError = ERROR_INVALID_WINDOW_HANDLE;
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ((Calls{xpTrace, "move", "Windows Error 1400:" + std::string(text), all, attempt}),
              timeline());
    g_script.moveError = ERROR_SUCCESS;
    g_script.results = {DISP_CHANGE_FAILED};
    for (WPARAM active : {FALSE, TRUE, TRUE, FALSE, FALSE}) {
        SendMessageA(m_window, WM_KEYDOWN, 'A', 0);
        SendMessageA(m_window, WM_ACTIVATEAPP, active, 0);
    }
    MainInterface::i()->setActivateCallback(nullptr);
    MainInterface::i()->setDeactivateCallback(nullptr);
    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    InputInterface::i()->shutdown();
    const char* const noError = "Windows Error 0:";
    EXPECT_EQ(
        (Calls{"deactivated, A up", "restore minimised", failed, "activated, A up", "move", noError,
               all, attempt, "activated, A up", "deactivated, A up", "restore minimised",
               "deactivated, A up", "move", noError, all, attempt, "restore minimised"}),
        timeline());
}

// No version, no check; Windows 9x at 256 colours or fewer is refused with the game's message.
TEST_F(DisplayTest, TracesThePlatformAndDepthAndRefusesWindows9xAtEightBits) {
    const auto traced = [this](OSVERSIONINFOA version, int depth, bool versionFails) {
        g_script.version = version;
        g_script.desktopDepth = depth;
        g_script.versionFails = versionFails;
        EXPECT_TRUE(create(64, 64, 32, false) && manager()->destroyWindow(0, 0));
        return timeline();
    };
    EXPECT_EQ(Calls{"Changing from a 16 bit colour depth in win9x (4.10 build 2222),  A"},
              traced({148, 4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, " A"}, 16, false));
    EXPECT_EQ(Calls{"Changing from a 8 bit colour depth in winNT (5.0 build 2195), Service Pack 4"},
              traced({148, 5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4"}, 8, false));
    EXPECT_EQ(Calls{}, traced({148, 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, ""}, 8, true));
    g_script.versionFails = false;
    BoxWatcher watcher;
    HWND out = reinterpret_cast<HWND>(0x77);
    EXPECT_FALSE(manager()->createWindow(&out, &m_instance, "game", 0, 640, 480, 16, true));
    watcher.join();
    EXPECT_EQ(reinterpret_cast<HWND>(0x77), out) << "nothing was created";
    EXPECT_EQ(nullptr, FindWindowA(gameClass, nullptr));
    EXPECT_NE(std::string::npos, watcher.texts.find("Needs more colours than 256"));
    EXPECT_EQ((Calls{"Changing from a 8 bit colour depth in win9x (4.0 build 950), ",
                     "Not even going to both attempting to switch colour depth"}),
              timeline());
}

} // namespace
