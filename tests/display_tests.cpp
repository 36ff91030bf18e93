// The display service on two monitors scripted through platform.dll's imports, which trace.
#include "DisplayInterface.h"
#include "PlatApp.h"
#include "support/arguments.h"
#include "support/child_process.h"
#include "support/game_window.h"
#include "support/records.h"
#include "support/text.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// The library's services exist before the program's own globals are made.
DisplayInterface* const display = DisplayInterface::i();

using ::text;
std::string text(const RECT& r) {
    return text("%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
}
std::string text(const DisplayMode& m) {
    return text("%dx%dx%d@%d", m.width, m.height, m.bitDepth, m.refresh);
}

// PlatWinMain's start-up steps, for a game that does nothing.
void startGame() {
    struct NoGame : AppInterface {
        const char* name() const override { return ""; }
        int run() override { return 0; }
    } game;
    Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &game);
}

struct Script {
    int monitors = 2, enumerations = 0, loads = 0;
    LONG result = DISP_CHANGE_SUCCESSFUL; // the next mode change's answer, then success
    int missing = 0; // how many of the newest scale calls the system lacks; -1: v2 refused
    DWORD platform = VER_PLATFORM_WIN32_NT;
} g_script;

// The traces since the last look; a warning shows as just "warning", its wording free to change.
std::string timeline() {
    std::string texts;
    for (const DbRecord& r : recordsSince(0))
        texts += "|" + std::string(r.kind == dbRecordWarning ? "warning" : r.text);
    dbClearRecords();
    return texts;
}

// Monitor 0, above left of primary 1, lists duplicates, its default rate as 0 and 1, odd rates.
const MONITORINFOEXA g_monitors[2] = {
    {{sizeof(MONITORINFOEXA), {-1280, -256, 0, 768}, {-1280, -256, 0, 728}, 0}, "\\\\.\\DISPLAY1"},
    {{sizeof(MONITORINFOEXA), {0, 0, 1024, 768}, {0, 0, 1024, 728}, 1}, "\\\\.\\DISPLAY2"}};
const char* const g_modes[2] = {"1280x1024x32@60 640x480x16@1 640x480x16@0 1280x1024x32@60 "
                                "800x600x32@75 800x600x32@59 1280x1024x16@60",
                                "1024x768x32@60"};

// Only full paths in the system folder load; the scale calls want the service's arguments.
struct Fake {
    static HMODULE WINAPI loadLibrary(LPCSTR path) {
        char folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
        ++g_script.loads;
        const bool refused = std::strncmp(path, folder, length) || path[length] != '\\';
        return refused ? nullptr : LoadLibraryA(path);
    }
    static BOOL WINAPI enumMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data) {
        for (int i = 0; i < g_script.monitors; ++i)
            proc(HMONITOR(INT_PTR(i + 1)), nullptr, nullptr, data);
        return TRUE;
    }
    static BOOL WINAPI getMonitorInfo(HMONITOR handle, MONITORINFO* info) {
        const INT_PTR i = INT_PTR(handle) - 1;
        const bool known = i >= 0 && i < g_script.monitors && info->cbSize == sizeof(g_monitors[0]);
        return known && (*reinterpret_cast<MONITORINFOEXA*>(info) = g_monitors[i], true);
    }
    static BOOL WINAPI enumSettings(LPCSTR device, DWORD index, DEVMODEA* m) {
        g_script.enumerations += index != ENUM_CURRENT_SETTINGS;
        const char* mode = g_modes[device && !std::strcmp(device, "\\\\.\\DISPLAY1") ? 0 : 1];
        for (DWORD i = index == ENUM_CURRENT_SETTINGS ? 0 : index; mode && i > 0; --i)
            mode = std::strchr(mode + 1, ' ');
        return mode && std::sscanf(mode, "%lux%lux%lu@%lu", &m->dmPelsWidth, &m->dmPelsHeight,
                                   &m->dmBitsPerPel, &m->dmDisplayFrequency) == 4;
    }
    static LONG WINAPI changeSettings(LPCSTR device, DEVMODEA* m, HWND, DWORD flags, void*) {
        const std::string mode =
            m ? text("%lux%lux%lu@%lu %lx %lu", m->dmPelsWidth, m->dmPelsHeight, m->dmBitsPerPel,
                     m->dmDisplayFrequency, m->dmFields, flags)
              : "restored";
        dbTracefAux("%s %s", device, mode.c_str());
        // As the system does, the window hears of the change before the call returns.
        SendMessageA(WindowInterface::i()->getWindowHandle(), WM_DISPLAYCHANGE, 32, 0);
        return std::exchange(g_script.result, DISP_CHANGE_SUCCESSFUL);
    }
    static HMONITOR WINAPI monitorFromWindow(HWND window, DWORD) {
        RECT r = {};
        GetWindowRect(window, &r);
        return HMONITOR(INT_PTR(r.left < 0 ? 1 : 2));
    }
    static BOOL WINAPI getVersion(OSVERSIONINFOA* v) { return v->dwPlatformId = g_script.platform; }
    static BOOL WINAPI setContext(HANDLE c) { return g_script.missing >= 0 && INT_PTR(c) == -4; }
    static HRESULT WINAPI setAwareness(int awareness) { return awareness == 2 ? S_OK : E_FAIL; }
    static BOOL WINAPI setAware() { return TRUE; }
    static int WINAPI caps(HDC dc, int i) { return i == LOGPIXELSX ? 168 : GetDeviceCaps(dc, i); }
    static HRESULT WINAPI getDpi(HMONITOR monitor, int type, UINT* x, UINT* y) {
        *x = *y = INT_PTR(monitor) == 1 ? 120 : 0; // monitor 1's then the desktop's: 168
        return type == 0 ? S_OK : E_INVALIDARG;
    }
    static FARPROC WINAPI getProcAddress(HMODULE module, LPCSTR name) {
        const char* const names[] = {"SetProcessDpiAwarenessContext", "SetProcessDpiAwareness",
                                     "SetProcessDPIAware", "GetDpiForMonitor"};
        void* const calls[] = {(void*)setContext, (void*)setAwareness, (void*)setAware,
                               (void*)getDpi};
        for (int i = 0; i < 4; ++i)
            if (!std::strcmp(name, names[i]))
                return i < g_script.missing ? nullptr : FARPROC(calls[i]);
        return GetProcAddress(module, name);
    }
};

// The real test display in a fresh process under 144 logical pixels: one named primary
// monitor, its current mode among its modes, and the scale 1.5 once start-up made the process
// scale-aware, as a game's first window would see it.
TEST(RealDisplay, ListsTheTestDisplayAndSeesThePrefixsScale) {
    HKEY desktop = nullptr;
    DWORD scaled = 144, unscaled = 96;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop));
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&scaled), 4);
    const std::string child =
        runChild("\"" + programDirectory() + "platform_display_tests.exe\" --gtest_filter=Child.*")
            .output;
    EXPECT_NE(std::string::npos, child.find("[  PASSED  ] 1 test.")) << child;
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&unscaled), 4);
    RegCloseKey(desktop);
}

TEST(Child, ReadsTheTestDisplay) {
    if (!std::strstr(GetCommandLineA(), "filter=Child"))
        GTEST_SKIP() << "run by the test above";
    startGame();
    DisplayMonitor m = {};
    DisplayMode current = {}, mode = {};
    ASSERT_TRUE(display->getMonitor(0, &m) && display->getCurrentMode(0, &current));
    int listed = 0;
    for (int i = 0; display->getMode(0, i, &mode); ++i)
        listed += text(mode) == text(current);
    EXPECT_EQ("1 0 named 0,0,1024,768 primary 1.50 1",
              text("%d %d %s %s %s %.2f %d", display->getMonitorCount(), display->getWindowMonitor(),
                   *m.friendlyName ? "named" : "", text(m.desktop).c_str(),
                   m.primary ? "primary" : "", double(display->getMonitorScale(0)), listed));
}

class ScriptedDisplayTest : public GameWindowTest {
protected:
    void SetUp() override {
        g_script = Script();
        GameWindowTest::SetUp();
        ASSERT_TRUE(create(320, 240, 32, false));
        display->setDisplayChangeCallback(nullptr);
        display->setScaleCallback(nullptr);
        SendMessageA(m_window, WM_DISPLAYCHANGE, 32, 0);
        timeline();
    }

    ImportPatch m_patches[9] = {
        patchPlatform("gdi32.dll", "GetDeviceCaps", Fake::caps),
        patchPlatform("user32.dll", "EnumDisplayMonitors", Fake::enumMonitors),
        patchPlatform("user32.dll", "GetMonitorInfoA", Fake::getMonitorInfo),
        patchPlatform("user32.dll", "EnumDisplaySettingsA", Fake::enumSettings),
        patchPlatform("user32.dll", "ChangeDisplaySettingsExA", Fake::changeSettings),
        patchPlatform("user32.dll", "MonitorFromWindow", Fake::monitorFromWindow),
        patchPlatform("kernel32.dll", "GetVersionExA", Fake::getVersion),
        patchPlatform("kernel32.dll", "LoadLibraryA", Fake::loadLibrary),
        patchPlatform("kernel32.dll", "GetProcAddress", Fake::getProcAddress)};
};

// Monitors are read once, again (and the game told) on a display or device change; a new scale
// keeps the client size and tells the game.
TEST_F(ScriptedDisplayTest, ListsMonitorsAndModesOnceAndAfterEachDisplayChange) {
    DisplayMonitor m = {};
    DisplayMode mode = {};
    const auto list = [&] {
        std::string listed;
        for (int i = 0; display->getMonitor(i, &m) && display->getCurrentMode(i, &mode); ++i) {
            listed += text("%s %s %s %d %.2f %d now %s:", m.deviceName, text(m.desktop).c_str(),
                           text(m.workArea).c_str(), m.primary, double(display->getMonitorScale(i)),
                           display->getModeCount(i), text(mode).c_str());
            for (int n = 0; display->getMode(i, n, &mode); ++n)
                listed += " " + text(mode);
        }
        return listed + text(" %d|%d %d", display->getWindowMonitor(), g_script.enumerations,
                             g_script.loads);
    };
    const std::string listed = list();
    EXPECT_EQ(listed, list()) << "read once, not per query";
    EXPECT_EQ("\\\\.\\DISPLAY1 -1280,-256,0,768 -1280,-256,0,728 0 1.25 5 now 1280x1024x32@60: "
              "640x480x16@0 800x600x32@59 800x600x32@75 1280x1024x16@60 1280x1024x32@60"
              "\\\\.\\DISPLAY2 0,0,1024,768 0,0,1024,728 1 1.75 1 now 1024x768x32@60: "
              "1024x768x32@60 1",
              listed.substr(0, listed.find('|')));
    EXPECT_FALSE(display->getMonitor(2, &m) || display->getMode(0, 5, &mode) ||
                 display->getCurrentMode(-1, &mode) || display->getModeCount(2) ||
                 display->getMonitorScale(2) != 0.0f);
    display->setDisplayChangeCallback([] { dbTracefAux("display changed"); });
    display->setScaleCallback([](HWND, float scale) { dbTracefAux("%.2f", double(scale)); });
    // Each row: the message, its parameter, the monitors there are after it; 0x02E0 is a new scale.
    const UINT changes[][3] = {{WM_DEVICECHANGE, 0x8000, 1},
                               {WM_DEVICECHANGE, 7, 1},
                               {WM_DISPLAYCHANGE, 16, 2},
                               {0x02E0, MAKEWPARAM(144, 144), 1}};
    RECT suggested = {0, 0, 480, 360}, client = {};
    for (const auto& change : changes) {
        g_script.monitors = int(change[2]);
        SendMessageA(m_window, change[0], change[1], LPARAM(&suggested));
        GetClientRect(m_window, &client);
        dbTracefAux("%d %s", display->getMonitorCount(), text(client).c_str());
    }
    EXPECT_EQ("|2 0,0,320,240|display changed|1 0,0,320,240|display changed|2 0,0,320,240|1.50"
              "|2 0,0,320,240",
              timeline());
}

// Each state first gives back the mode the last one set; a refused mode leaves it borderless.
TEST_F(ScriptedDisplayTest, SwitchesStatesOnAChosenMonitorAndGivesTheDesktopBack) {
    const DisplayMode mode = {800, 600, 32, 0};
    SetWindowLongPtrA(m_window, GWL_STYLE, GetWindowLongPtrA(m_window, GWL_STYLE) | WS_CAPTION);
    EXPECT_FALSE(display->setWindowState(DisplayInterface::borderless, 2, &mode));
    // State 9 deactivates, 10 activates; the system's calls, then place, topmost, framed, state.
    const int rows[][3] = {{1, 0, 0}, {9, 0, 0},  {10, 0, 0},
                           {2, 1, 0}, {0, -1, 0}, {1, 0, DISP_CHANGE_BADMODE},
                           {1, -1, 0}};
    for (const auto& row : rows) {
        g_script.result = row[2];
        if (row[0] < 9)
            EXPECT_TRUE(
                display->setWindowState(DisplayInterface::WindowState(row[0]), row[1], &mode));
        else
            SendMessageA(m_window, WM_ACTIVATEAPP, row[0] == 10, 0);
        RECT r = {};
        GetWindowRect(m_window, &r);
        dbTracefAux("%s%s%s %d", IsIconic(m_window) ? "minimised" : text(r).c_str(),
                    GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST ? " topmost" : "",
                    GetWindowLongPtrA(m_window, GWL_STYLE) & WS_CAPTION ? " framed" : "",
                    int(display->getWindowState()));
    }
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    const std::string change = "|\\\\.\\DISPLAY1 800x600x32@0 1c0000 4",
                      restore = "|\\\\.\\DISPLAY1 restored",
                      fullScreen = "|-1280,-256,-480,344 topmost 1";
    EXPECT_EQ(change + fullScreen + restore + "|minimised topmost 1" + change + fullScreen +
                  restore + "|0,0,1024,768 2|0,0,320,240 framed 0" + change +
                  "|ChangeDisplaySettingsEx:\\\\.\\DISPLAY1 800x600x32@0 failed with -2|warning|"
                  "-1280,-256,0,768 2" +
                  change + fullScreen + restore,
              timeline());
}

// The newest awareness the system has; the game's call or switch keeps the stretching.
TEST_F(ScriptedDisplayTest, MarksTheNewestScaleAwarenessAtStartUp) {
    const char* const off = "off, the system stretches the game";
    const std::tuple<int, const char*, const char*> rows[] = {
        {0, nullptr, "per-monitor v2"}, {-1, nullptr, "per-monitor"},
        {2, nullptr, "process-wide"},   {3, nullptr, "none on this system"},
        {0, "-noscaleaware", off},      {0, "", off}};
    std::string expected;
    for (const auto& row : rows) {
        const char* optOut = std::get<1>(row);
        g_script.missing = std::get<0>(row);
        Arguments arguments(std::vector<const char*>(optOut && *optOut, optOut));
        display->setScaleAware(!optOut || *optOut);
        startGame();
        display->setScaleAware(true);
        expected += std::string("|Scale awareness: ") + std::get<2>(row);
    }
    EXPECT_EQ(expected, timeline());
}

// Whole or not at all, in the family's own format (not the other's), lossy on 98; bad text: no
// change.
TEST_F(ScriptedDisplayTest, CopiesClipboardTextAsUtf8) {
    const std::string text = "h\xc3\xa9llo \xe2\x9c\x93";
    const unsigned before = display->getClipboardText(nullptr, 0);
    EXPECT_FALSE(display->setClipboardText("\xff"));
    EXPECT_EQ(before, display->getClipboardText(nullptr, 0));
    const std::tuple<DWORD, UINT, const void*, std::string> rows[] = {
        {VER_PLATFORM_WIN32_NT, CF_TEXT, "ansi\0\0\0", text},
        {VER_PLATFORM_WIN32_WINDOWS, CF_UNICODETEXT, L"wid", "h\xc3\xa9llo ?"}};
    for (const auto& row : rows) {
        g_script.platform = std::get<0>(row);
        ASSERT_TRUE(display->setClipboardText(text.c_str()));
        HGLOBAL other = GlobalAlloc(GMEM_MOVEABLE, 8);
        std::memcpy(GlobalLock(other), std::get<2>(row), 8);
        GlobalUnlock(other);
        ASSERT_TRUE(OpenClipboard(nullptr) && SetClipboardData(std::get<1>(row), other) &&
                    CloseClipboard());
        const unsigned needed = display->getClipboardText(nullptr, 0);
        std::string got(needed, 'x');
        EXPECT_EQ(needed, display->getClipboardText(&got[0], needed - 1));
        EXPECT_EQ(std::string(needed, 'x'), got) << "nothing is cut";
        EXPECT_EQ(needed, display->getClipboardText(&got[0], needed));
        EXPECT_EQ(std::get<3>(row) + '\0', got);
    }
}

} // namespace
