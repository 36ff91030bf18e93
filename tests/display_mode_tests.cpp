// Full-screen display modes and the desktop check, with the platform DLL's display, version
// and device-capability imports answered by scripts, so that the shipped code path meets
// failures, mode lists and platforms that this machine cannot produce.
#include "support/box_watcher.h"
#include "support/import_patch.h"
#include "support/records.h"
#include "window_fixture.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Mode {
    DWORD width, height, bits, frequency;
};

const DWORD enumeratedFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;

struct Script {
    std::vector<Mode> modes;
    std::deque<LONG> results; // an empty queue answers DISP_CHANGE_SUCCESSFUL
    // The display calls in order: "move", "enum 0 1 2" (a run of enumerations), "change ...",
    // "restore".
    std::vector<std::string> calls;
    DWORD moveError = ERROR_SUCCESS;
    bool moveFails = false;
    OSVERSIONINFOA version = {};
    bool versionFails = false;
    int desktopDepth = 32;
    int depthQueries = 0;
} g_script;

BOOL WINAPI fakeEnumDisplaySettings(LPCSTR device, DWORD index, DEVMODEA* mode) {
    if (g_script.calls.empty() || g_script.calls.back().compare(0, 4, "enum") != 0)
        g_script.calls.push_back("enum");
    g_script.calls.back() += " " + std::to_string(index);
    if (device || mode->dmSize != sizeof(DEVMODEA) || mode->dmDriverExtra != 0)
        g_script.calls.push_back("bad enumeration");
    if (index >= g_script.modes.size())
        return FALSE;
    const Mode& listed = g_script.modes[index];
    mode->dmFields = enumeratedFields;
    mode->dmPelsWidth = listed.width;
    mode->dmPelsHeight = listed.height;
    mode->dmBitsPerPel = listed.bits;
    mode->dmDisplayFrequency = listed.frequency;
    // Marks the record, so that a change shows which enumerated mode it started from.
    mode->dmLogPixels = WORD(index);
    return TRUE;
}

// "change <fields> <width>x<height>x<bits>@<rate> from <mode>", or "restore" for the return to
// the registry's mode; any other flags are added.
LONG WINAPI fakeChangeDisplaySettings(DEVMODEA* mode, DWORD flags) {
    char call[128] = "restore";
    if (mode)
        std::snprintf(call, sizeof call, "change %lx %lux%lux%lu@%lu from %u", mode->dmFields,
                      mode->dmPelsWidth, mode->dmPelsHeight, mode->dmBitsPerPel,
                      mode->dmDisplayFrequency, unsigned(mode->dmLogPixels));
    if (flags != (mode ? DWORD(CDS_FULLSCREEN) : 0))
        std::snprintf(call + std::strlen(call), sizeof call - std::strlen(call), " flags %lx",
                      flags);
    g_script.calls.push_back(call);
    if (g_script.results.empty())
        return DISP_CHANGE_SUCCESSFUL;
    LONG result = g_script.results.front();
    g_script.results.pop_front();
    return result;
}

// A move anywhere but to the corner, or one that changes the size or z-order, fails with code 0.
BOOL WINAPI fakeSetWindowPos(HWND window, HWND after, int x, int y, int width, int height,
                             UINT flags) {
    g_script.calls.push_back("move");
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
    ++g_script.depthQueries;
    if (index != BITSPIXEL || WindowFromDC(context) != GetDesktopWindow())
        return 0;
    return g_script.desktopDepth;
}

OSVERSIONINFOA versionRecord(DWORD platform, DWORD major, DWORD minor, DWORD build,
                             const char* servicePack) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = platform;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = build;
    lstrcpynA(version.szCSDVersion, servicePack, sizeof version.szCSDVersion);
    return version;
}

const char* const xpTrace = "Changing from a 32 bit colour depth in winNT (5.1 build 2600), SP3";

// Puts "-refresh <rate>" on the runtime's argument vector, which the library's command line
// reads at the moment of the switch, for the life of the object.
class RefreshSwitch {
public:
    explicit RefreshSwitch(const char* rate)
        : m_count(__argc), m_vector(__argv),
          m_rate(rate), m_arguments{const_cast<char*>("game.exe"), const_cast<char*>("-refresh"),
                                    &m_rate[0], nullptr} {
        __argc = 3;
        __argv = m_arguments;
    }
    ~RefreshSwitch() {
        __argc = m_count;
        __argv = m_vector;
    }

private:
    int m_count;
    char** m_vector;
    std::string m_rate;
    char* m_arguments[4];
};

// A window of the test's own stays active, so creating or destroying the game window does
// not switch the active application; the tests send the activations themselves.
class KeeperWindow {
public:
    KeeperWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DisplayModeKeeper";
        RegisterClassA(&windowClass);
        m_window =
            CreateWindowExA(0, "DisplayModeKeeper", "keeper", WS_POPUP | WS_VISIBLE, 600, 600, 16,
                            16, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(m_window);
    }
    ~KeeperWindow() { DestroyWindow(m_window); }

private:
    HWND m_window;
};

class DisplayModeTest : public GameWindowTest {
protected:
    void SetUp() override {
        g_script = Script();
        g_script.modes = {{640, 480, 16, 60}, {800, 600, 32, 60}, {640, 480, 32, 85}};
        g_script.version = versionRecord(VER_PLATFORM_WIN32_NT, 5, 1, 2600, "SP3");
        for (const ImportPatch& patch : m_patches)
            ASSERT_TRUE(patch.active());
        GameWindowTest::SetUp();
        m_firstRecord = dbRecordCount();
    }

    // What was traced since the test began; warnings are marked with their channel.
    std::vector<std::string> textsSince() const {
        std::vector<std::string> texts;
        for (const DbRecord& record : recordsSince(m_firstRecord)) {
            std::string prefix;
            if (record.kind == dbRecordWarning)
                prefix = record.channel == 0x44495350 ? "DISP warning: " : "other warning: ";
            texts.push_back(prefix + record.text);
        }
        m_firstRecord = dbRecordCount();
        return texts;
    }

    static HMODULE platform() { return GetModuleHandleA("platform.dll"); }

    KeeperWindow m_keeper;
    ImportPatch m_patches[5] = {
        {platform(), "user32.dll", "EnumDisplaySettingsA",
         reinterpret_cast<void*>(fakeEnumDisplaySettings)},
        {platform(), "user32.dll", "ChangeDisplaySettingsA",
         reinterpret_cast<void*>(fakeChangeDisplaySettings)},
        {platform(), "user32.dll", "SetWindowPos", reinterpret_cast<void*>(fakeSetWindowPos)},
        {platform(), "kernel32.dll", "GetVersionExA", reinterpret_cast<void*>(fakeGetVersionEx)},
        {platform(), "gdi32.dll", "GetDeviceCaps", reinterpret_cast<void*>(fakeGetDeviceCaps)},
    };
    mutable unsigned m_firstRecord = 0;
};

using FullScreen = DisplayModeTest;

using Calls = std::vector<std::string>;

const char* const fallbackWarning =
    "DISP warning: An error occurred trying to switch to fullscreen mode so using windowed instead";

TEST_F(FullScreen, WithoutRefreshTheFirstChangeIsTheExplicitAttemptOnModeZero) {
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((Calls{"move", "enum 0 1 2 3 0", "change 1c0000 640x480x32@60 from 0"}),
              g_script.calls);
    EXPECT_EQ(Calls{xpTrace}, textsSince());
    EXPECT_NE(0, GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ("restore", g_script.calls.back()) << "the desktop gets its mode back";
}

TEST_F(FullScreen, AMatchingModeAtTheRefreshRateIsSetAsEnumerated) {
    RefreshSwitch refresh("85");
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((Calls{"move", "enum 0 1 2", "change 5c0000 640x480x32@85 from 2"}), g_script.calls);
}

TEST_F(FullScreen, FailedMatchesMakeTheFirstNonZeroIndexTheTemplate) {
    RefreshSwitch refresh("85");
    g_script.modes.assign(9, Mode{1024, 768, 16, 60});
    g_script.modes[0] = g_script.modes[7] = g_script.modes[8] = Mode{640, 480, 32, 85};
    g_script.results = {DISP_CHANGE_BADMODE, DISP_CHANGE_FAILED, DISP_CHANGE_BADPARAM};
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ(
        (Calls{"move", "enum 0", "change 5c0000 640x480x32@85 from 0", "enum 1 2 3 4 5 6 7",
               "change 5c0000 640x480x32@85 from 7", "enum 8", "change 5c0000 640x480x32@85 from 8",
               "enum 9 7", "change 1c0000 640x480x32@85 from 7"}),
        g_script.calls);
    EXPECT_EQ((Calls{xpTrace, "ChangeDisplaySettings:The graphics mode is not supported.",
                     "ChangeDisplaySettings:The display driver failed the specified graphics mode.",
                     "ChangeDisplaySettings:An invalid parameter was passed in. This can include "
                     "an invalid flag or combination of flags."}),
              textsSince());
}

TEST_F(FullScreen, AFailedAttemptTriesDepthThenSizeAndElseStaysWindowed) {
    const char* const attempt = "change 1c0000 800x600x16@60 from 0";
    const char* const depth = "change 40000 800x600x16@60 from 0";
    const char* const size = "change 180000 800x600x16@60 from 0";
    const char* const retry = "Switch to 800x600x16bit failed, trying again";
    const struct {
        std::deque<LONG> results;
        Calls calls;
        Calls traces;
        bool switched;
    } cases[] = {
        {{DISP_CHANGE_RESTART},
         {"move", "enum 0 1 2 3 0", attempt, depth, size},
         {xpTrace,
          "ChangeDisplaySettings:The computer must be restarted in order for the graphics mode "
          "to work.",
          retry},
         true},
        {{-6, DISP_CHANGE_NOTUPDATED},
         {"move", "enum 0 1 2 3 0", attempt, depth},
         {xpTrace, "ChangeDisplaySettings:unknown error: -6", retry,
          "ChangeDisplaySettings:Unable to write settings to the registry.", fallbackWarning},
         false},
        // The failed size change is not traced; the undo of the depth is.
        {{DISP_CHANGE_BADFLAGS, DISP_CHANGE_SUCCESSFUL, DISP_CHANGE_FAILED, DISP_CHANGE_BADMODE},
         {"move", "enum 0 1 2 3 0", attempt, depth, size, "restore"},
         {xpTrace, "ChangeDisplaySettings:An invalid set of flags was passed in.", retry,
          "ChangeDisplaySettings:The graphics mode is not supported.", fallbackWarning},
         false},
    };
    for (const auto& c : cases) {
        g_script.calls.clear();
        g_script.results = c.results;
        ASSERT_TRUE(create(800, 600, 16, true)) << "creation succeeds whatever the switch did";
        EXPECT_EQ(c.calls, g_script.calls);
        EXPECT_EQ(c.traces, textsSince());
        EXPECT_NE(0, GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        Calls afterDestroy = c.calls;
        if (c.switched)
            afterDestroy.push_back("restore");
        EXPECT_TRUE(manager()->destroyWindow(0, 0));
        EXPECT_EQ(afterDestroy, g_script.calls) << "only a switched mode is restored";
    }
}

TEST_F(FullScreen, AFailedMoveIsTracedAndTheSwitchGoesOn) {
    g_script.moveFails = true;
    g_script.moveError = ERROR_INVALID_WINDOW_HANDLE;
    char text[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_WINDOW_HANDLE, 0, text,
                   sizeof text, nullptr);
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((Calls{xpTrace, "Windows Error 1400:" + std::string(text)}), textsSince());
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ("change 1c0000 640x480x32@60 from 0", g_script.calls.back());

    // Without an error code the text is empty.
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    g_script.moveError = ERROR_SUCCESS;
    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ("Windows Error 0:", lastText());
}

using Activation = DisplayModeTest;

TEST_F(Activation, DeactivationMinimisesAndRestoresActivationSwitchesOnce) {
    ASSERT_TRUE(create(640, 480, 32, true));
    g_script.calls.clear();
    textsSince();
    g_script.results = {DISP_CHANGE_FAILED};
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(IsIconic(m_window));
    EXPECT_EQ(Calls{"restore"}, g_script.calls);
    EXPECT_EQ(Calls{"ChangeDisplaySettings:The display driver failed the specified graphics mode."},
              textsSince())
        << "a failed restore is traced and still counts, so the next activation switches anew";

    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ((Calls{"restore", "move", "enum 0 1 2 3 0", "change 1c0000 640x480x32@60 from 0"}),
              g_script.calls)
        << "the second activation finds the mode still switched";

    // A restore after a restore changes nothing.
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(5u, g_script.calls.size());
    EXPECT_EQ("restore", g_script.calls.back());
}

using DesktopCheck = DisplayModeTest;

TEST_F(DesktopCheck, TracesThePlatformAndDepthAndGoesOn) {
    const struct {
        OSVERSIONINFOA version;
        int depth;
        const char* trace;
    } cases[] = {
        {versionRecord(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222, " A"), 16,
         "Changing from a 16 bit colour depth in win9x (4.10 build 2222),  A"},
        {versionRecord(VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4"), 8,
         "Changing from a 8 bit colour depth in winNT (5.0 build 2195), Service Pack 4"},
        {versionRecord(3, 1, 2, 3, ""), 4,
         "Changing from a 4 bit colour depth in an unknown windows platform (1.2 build 3), "},
    };
    for (const auto& c : cases) {
        g_script.version = c.version;
        g_script.desktopDepth = c.depth;
        unsigned first = dbRecordCount();
        ASSERT_TRUE(create(64, 64, 32, false));
        EXPECT_EQ(c.trace, lastText());
        EXPECT_EQ(first + 1, dbRecordCount());
        EXPECT_TRUE(manager()->destroyWindow(0, 0));
    }
    g_script.versionFails = true;
    unsigned first = dbRecordCount();
    ASSERT_TRUE(create(64, 64, 32, false));
    EXPECT_EQ(first, dbRecordCount()) << "no version, no check";
    EXPECT_EQ(3, g_script.depthQueries);
}

TEST_F(DesktopCheck, Windows9xAtEightBitsIsRefusedWithTheGamesMessage) {
    g_script.version = versionRecord(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, "");
    g_script.desktopDepth = 8;
    BoxWatcher watcher(IDOK);
    HWND out = reinterpret_cast<HWND>(0x77);
    EXPECT_FALSE(manager()->createWindow(&out, &m_instance, "game", 0, 640, 480, 16, true));
    watcher.join();
    EXPECT_EQ(reinterpret_cast<HWND>(0x77), out) << "nothing was created";
    EXPECT_EQ(nullptr, FindWindowA(gameClass, nullptr));
    EXPECT_TRUE(g_script.calls.empty()) << "no mode change is attempted";
    ASSERT_TRUE(watcher.found());
    EXPECT_NE(std::string::npos, watcher.texts().find("Needs more colours than 256"));
    EXPECT_EQ(
        (std::vector<std::string>{"Changing from a 8 bit colour depth in win9x (4.0 build 950), ",
                                  "Not even going to both attempting to switch colour depth"}),
        textsSince());
}

} // namespace
