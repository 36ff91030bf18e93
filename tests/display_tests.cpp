// The display service on the test display's real calls, and on two monitors scripted through
// platform.dll's imports; the scripted system traces what it sees beside the service's traces.
#include "DisplayInterface.h"
#include "PlatApp.h"
#include "support/arguments.h"
#include "support/child_process.h"
#include "support/game_window.h"
#include "support/records.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {

using Calls = std::vector<std::string>;

// The library's services exist before the program's own globals are made.
DisplayInterface* const display = DisplayInterface::i();

__attribute__((format(printf, 1, 2))) std::string text(const char* format, ...) {
    char s[256];
    va_list values;
    va_start(values, format);
    std::vsnprintf(s, sizeof s, format, values);
    va_end(values);
    return s;
}

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

// What the scripted system answers and counts.
struct Script {
    int monitors = 2, enumerations = 0, loads = 0;
    LONG result = DISP_CHANGE_SUCCESSFUL; // the next mode change's answer, then success
    int missing = 0;       // how many of the newest scale calls the system lacks; -1: v2 refused
    bool noShcore = false; // as before Windows 8.1
    DWORD platform = VER_PLATFORM_WIN32_NT;
} g_script;

// The traces since the last look; a warning shows as just "warning", its wording free to change.
Calls timeline() {
    Calls texts;
    for (const DbRecord& r : recordsSince(0))
        texts.push_back(r.kind == dbRecordWarning ? "warning" : r.text);
    dbClearRecords();
    return texts;
}

// Monitor 0, left of and above the primary monitor 1, lists duplicates, its default rate as 0
// and as 1, and odd rates; the current mode comes first.
const MONITORINFOEXA g_monitors[2] = {
    {{sizeof(MONITORINFOEXA), {-1280, -256, 0, 768}, {-1280, -256, 0, 728}, 0}, "\\\\.\\DISPLAY1"},
    {{sizeof(MONITORINFOEXA), {0, 0, 1024, 768}, {0, 0, 1024, 728}, 1}, "\\\\.\\DISPLAY2"}};
const char* const g_modes[2] = {"1280x1024x32@60 640x480x16@1 640x480x16@0 1280x1024x32@60 "
                                "800x600x32@75 800x600x32@59 1280x1024x16@60",
                                "1024x768x32@60"};
const UINT g_dpis[2] = {120, 144};

// Only a library named by its full path in the system folder loads; the newer scale calls
// succeed only with the arguments the service must pass.
struct Fake {
    static HMODULE WINAPI loadLibrary(LPCSTR path) {
        char folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
        ++g_script.loads;
        const bool refused = std::strncmp(path, folder, length) || path[length] != '\\' ||
                             (g_script.noShcore && std::strstr(path, "shcore"));
        return refused ? nullptr : LoadLibraryA(path);
    }
    static BOOL WINAPI enumMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data) {
        for (int i = 0; i < g_script.monitors; ++i)
            proc(HMONITOR(INT_PTR(i + 1)), nullptr, nullptr, data);
        return TRUE;
    }
    static BOOL WINAPI getMonitorInfo(HMONITOR handle, MONITORINFO* info) {
        const INT_PTR i = INT_PTR(handle) - 1;
        if (i < 0 || i >= g_script.monitors || info->cbSize != sizeof(MONITORINFOEXA))
            return FALSE;
        *reinterpret_cast<MONITORINFOEXA*>(info) = g_monitors[i];
        return TRUE;
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
        dbTracefAux("%s %s", device,
                    m ? text("%lux%lux%lu@%lu %lx %lu", m->dmPelsWidth, m->dmPelsHeight,
                             m->dmBitsPerPel, m->dmDisplayFrequency, m->dmFields, flags)
                            .c_str()
                      : "restored");
        // As the system does, the window hears of the change before the call returns.
        SendMessageA(WindowInterface::i()->getWindowHandle(), WM_DISPLAYCHANGE, 32, 0);
        return std::exchange(g_script.result, DISP_CHANGE_SUCCESSFUL);
    }
    static HMONITOR WINAPI monitorFromWindow(HWND window, DWORD) {
        RECT r = {};
        GetWindowRect(window, &r);
        return HMONITOR(INT_PTR(r.left < 0 ? 1 : 2));
    }
    static BOOL WINAPI getVersion(OSVERSIONINFOA* version) {
        version->dwPlatformId = g_script.platform;
        return TRUE;
    }
    static BOOL WINAPI setContext(HANDLE context) {
        return g_script.missing >= 0 && context == HANDLE(INT_PTR(-4));
    }
    static HRESULT WINAPI setAwareness(int awareness) { return awareness == 2 ? S_OK : E_FAIL; }
    static BOOL WINAPI setAware() { return TRUE; }
    static HRESULT WINAPI getDpi(HMONITOR monitor, int type, UINT* x, UINT* y) {
        *x = *y = g_dpis[INT_PTR(monitor) - 1];
        return type == 0 ? S_OK : E_INVALIDARG;
    }
    static FARPROC WINAPI getProcAddress(HMODULE module, LPCSTR name) {
        const std::pair<const char*, void*> calls[] = {
            {"SetProcessDpiAwarenessContext", (void*)setContext},
            {"SetProcessDpiAwareness", (void*)setAwareness},
            {"SetProcessDPIAware", (void*)setAware},
            {"GetDpiForMonitor", (void*)getDpi}};
        for (int i = 0; i < 4; ++i) {
            if (!std::strcmp(name, calls[i].first))
                return i < g_script.missing ? nullptr : FARPROC(calls[i].second);
        }
        return GetProcAddress(module, name);
    }
};

// In a fresh process under 144 logical pixels, with and without shcore (its scale then the
// desktop's): the test display's one named primary monitor, its current mode once among its
// modes, the scale 1.5 once start-up made the process scale-aware.
TEST(RealDisplay, ListsTheTestDisplayAndSeesThePrefixsScale) {
    HKEY desktop = nullptr;
    DWORD scaled = 144, unscaled = 96;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop));
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE*)&scaled, 4);
    for (const char* shcore : {"", " noshcore"}) {
        const std::string child =
            runChild("\"" + programDirectory() +
                     "platform_display_tests.exe\" --gtest_filter=Child.*" + shcore)
                .output;
        EXPECT_NE(std::string::npos, child.find("[  PASSED  ] 1 test.")) << child;
    }
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE*)&unscaled, 4);
    RegCloseKey(desktop);
}

TEST(Child, ReadsTheTestDisplay) {
    if (!std::strstr(GetCommandLineA(), "filter=Child"))
        GTEST_SKIP() << "run by the test above";
    g_script.noShcore = std::strstr(GetCommandLineA(), "noshcore") != nullptr;
    const ImportPatch load = patchPlatform("kernel32.dll", "LoadLibraryA", Fake::loadLibrary);
    startGame();
    // "per-monitor..." or "process-wide" (Wine 8 takes only the last).
    EXPECT_EQ(0u, std::string(lastRecord().text).find("Scale awareness: p"));
    DisplayMonitor m = {};
    DisplayMode current = {}, mode = {};
    ASSERT_TRUE(display->getMonitor(0, &m) && display->getCurrentMode(0, &current));
    int listed = 0;
    for (int i = 0; display->getMode(0, i, &mode); ++i)
        listed += text(mode) == text(current);
    EXPECT_EQ("1 0 \\\\.\\DISPLAY1 named 0,0,1024,768 primary 1.50 1",
              text("%d %d %s %s %s %s %.2f %d", display->getMonitorCount(),
                   display->getWindowMonitor(), m.deviceName, *m.friendlyName ? "named" : "",
                   text(m.desktop).c_str(), m.primary ? "primary" : "",
                   double(display->getMonitorScale(0)), listed));
}

class ScriptedDisplayTest : public GameWindowTest {
protected:
    void SetUp() override {
        g_script = Script();
        for (const ImportPatch& patch : m_patches)
            ASSERT_TRUE(patch.active());
        GameWindowTest::SetUp();
        ASSERT_TRUE(create(320, 240, 32, false));
        display->setDisplayChangeCallback(nullptr);
        display->setScaleCallback(nullptr);
        SendMessageA(m_window, WM_DISPLAYCHANGE, 32, 0);
        timeline();
    }

    bool set(int state, int monitor, const DisplayMode* mode) {
        return display->setWindowState(DisplayInterface::WindowState(state), monitor, mode);
    }
    // The window's place or "minimised", topmost, framed, and its state.
    std::string place() {
        RECT r = {};
        GetWindowRect(m_window, &r);
        return text("%s%s%s %d", IsIconic(m_window) ? "minimised" : text(r).c_str(),
                    GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST ? " topmost" : "",
                    GetWindowLongPtrA(m_window, GWL_STYLE) & WS_CAPTION ? " framed" : "",
                    int(display->getWindowState()));
    }

    ImportPatch m_patches[8] = {
        patchPlatform("user32.dll", "EnumDisplayMonitors", Fake::enumMonitors),
        patchPlatform("user32.dll", "GetMonitorInfoA", Fake::getMonitorInfo),
        patchPlatform("user32.dll", "EnumDisplaySettingsA", Fake::enumSettings),
        patchPlatform("user32.dll", "ChangeDisplaySettingsExA", Fake::changeSettings),
        patchPlatform("user32.dll", "MonitorFromWindow", Fake::monitorFromWindow),
        patchPlatform("kernel32.dll", "GetVersionExA", Fake::getVersion),
        patchPlatform("kernel32.dll", "LoadLibraryA", Fake::loadLibrary),
        patchPlatform("kernel32.dll", "GetProcAddress", Fake::getProcAddress)};
};

// Monitors, their scales and modes are read once, and again on a display change or a new device
// node, which the game hears of; a move to another scale keeps the client size and tells it.
TEST_F(ScriptedDisplayTest, ListsMonitorsAndModesOnceAndAfterEachDisplayChange) {
    const auto list = [] {
        Calls listed;
        DisplayMonitor m = {};
        DisplayMode mode = {};
        for (int i = 0; display->getMonitor(i, &m) && display->getCurrentMode(i, &mode); ++i) {
            listed.push_back(text("%s %s %s%s %.2f, %d modes, now %s:", m.deviceName,
                                  text(m.desktop).c_str(), text(m.workArea).c_str(),
                                  m.primary ? " primary" : "", double(display->getMonitorScale(i)),
                                  display->getModeCount(i), text(mode).c_str()));
            for (int n = 0; display->getMode(i, n, &mode); ++n)
                listed.back() += " " + text(mode);
        }
        return listed;
    };
    const Calls monitors = {
        "\\\\.\\DISPLAY1 -1280,-256,0,768 -1280,-256,0,728 1.25, 5 modes, now 1280x1024x32@60: "
        "640x480x16@0 800x600x32@59 800x600x32@75 1280x1024x16@60 1280x1024x32@60",
        "\\\\.\\DISPLAY2 0,0,1024,768 0,0,1024,728 primary 1.50, 1 modes, now 1024x768x32@60: "
        "1024x768x32@60"};
    EXPECT_EQ(monitors, list());
    const std::string counts = text("%d %d", g_script.enumerations, g_script.loads);
    EXPECT_EQ(monitors, list());
    EXPECT_EQ(counts, text("%d %d", g_script.enumerations, g_script.loads)) << "not per query";
    EXPECT_EQ(1, display->getWindowMonitor());
    DisplayMonitor m = {};
    DisplayMode mode = {};
    for (int bad : {-1, 2})
        EXPECT_FALSE(display->getMonitor(bad, &m) || display->getMode(bad, 0, &mode) ||
                     display->getCurrentMode(bad, &mode) || display->getModeCount(bad) ||
                     display->getMonitorScale(bad) != 0.0f || display->getMode(0, 5, &mode) ||
                     display->getMode(0, -1, &mode) || display->getMonitor(0, nullptr));
    display->setDisplayChangeCallback([] { dbTracefAux("display changed"); });
    display->setScaleCallback([](HWND, float scale) { dbTracefAux("%.2f", double(scale)); });
    const std::tuple<UINT, WPARAM, int> changes[] = {{WM_DEVICECHANGE, 0x8000, 1},
                                                     {WM_DEVICECHANGE, 7, 1},
                                                     {WM_DISPLAYCHANGE, 16, 2},
                                                     {0x02E0, MAKEWPARAM(144, 144), 1}};
    RECT suggested = {0, 0, 480, 360}, client = {};
    for (const auto& change : changes) {
        g_script.monitors = std::get<2>(change);
        SendMessageA(m_window, std::get<0>(change), std::get<1>(change), LPARAM(&suggested));
        dbTracefAux("%d", display->getMonitorCount());
    }
    GetClientRect(m_window, &client);
    EXPECT_EQ("0,0,320,240", text(client));
    EXPECT_EQ((Calls{"2", "display changed", "1", "display changed", "2", "1.50", "2"}),
              timeline());
}

// Each state first gives back the mode the last one set; a refused mode leaves the game
// borderless full screen. Bad arguments and a window made full screen change nothing.
TEST_F(ScriptedDisplayTest, SwitchesStatesOnAChosenMonitorAndGivesTheDesktopBack) {
    const DisplayMode mode = {800, 600, 32, 0}, narrow = {0, 600, 32, 60},
                      badRate = {800, 600, 32, -1};
    SetWindowLongPtrA(m_window, GWL_STYLE, GetWindowLongPtrA(m_window, GWL_STYLE) | WS_CAPTION);
    const std::tuple<int, int, const DisplayMode*> refused[] = {{1, 0, nullptr},  {1, 0, &narrow},
                                                                {1, 0, &badRate}, {2, 2, &mode},
                                                                {2, -2, &mode},   {3, 0, &mode}};
    for (const auto& r : refused)
        EXPECT_FALSE(set(std::get<0>(r), std::get<1>(r), std::get<2>(r)));
    EXPECT_EQ("0,0,320,240 framed 0", place());
    const std::string change = "\\\\.\\DISPLAY1 800x600x32@0 1c0000 4",
                      restore = "\\\\.\\DISPLAY1 restored",
                      fullScreen = "-1280,-256,-480,344 topmost 1";
    const Calls refusal = {change,
                           "ChangeDisplaySettingsEx:\\\\.\\DISPLAY1 800x600x32@0 failed with -2",
                           "warning", "-1280,-256,0,768 2"};
    // State 9 deactivates, 10 activates; the system's calls and the traces, then the place.
    const std::tuple<int, int, LONG, Calls> rows[] = {
        {1, 0, 0, {change, fullScreen}},      {9, 0, 0, {restore, "minimised topmost 1"}},
        {10, 0, 0, {change, fullScreen}},     {2, 1, 0, {restore, "0,0,1024,768 2"}},
        {0, -1, 0, {"0,0,320,240 framed 0"}}, {1, 0, DISP_CHANGE_BADMODE, refusal},
        {1, -1, 0, {change, fullScreen}}};
    for (const auto& row : rows) {
        g_script.result = std::get<2>(row);
        if (std::get<0>(row) < 9)
            EXPECT_TRUE(set(std::get<0>(row), std::get<1>(row), &mode));
        else
            SendMessageA(m_window, WM_ACTIVATEAPP, std::get<0>(row) == 10, 0);
        dbTracefAux("%s", place().c_str());
        EXPECT_EQ(std::get<3>(row), timeline()) << std::get<0>(row);
    }
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(Calls{restore}, timeline());
    EXPECT_FALSE(set(2, 0, &mode));
    ASSERT_TRUE(create(320, 240, 32, true));
    EXPECT_FALSE(set(2, 0, &mode));
}

// The newest awareness the system has; the game's call or switch keeps the stretching.
TEST_F(ScriptedDisplayTest, MarksTheNewestScaleAwarenessAtStartUp) {
    const char* const off = "off, the system stretches the game";
    const std::tuple<int, const char*, const char*> rows[] = {
        {0, nullptr, "per-monitor v2"}, {-1, nullptr, "per-monitor"},
        {2, nullptr, "process-wide"},   {3, nullptr, "none on this system"},
        {0, "-noscaleaware", off},      {0, "", off}};
    for (const auto& row : rows) {
        const char* optOut = std::get<1>(row);
        g_script.missing = std::get<0>(row);
        Arguments arguments(std::vector<const char*>(optOut && *optOut, optOut));
        display->setScaleAware(!optOut || *optOut);
        startGame();
        display->setScaleAware(true);
        EXPECT_EQ(Calls{std::string("Scale awareness: ") + std::get<2>(row)}, timeline());
    }
}

// Whole or not at all, in the family's own format (the other one says something else); the 98
// family's code page loses a character. Bad text or no window leave the clipboard as it was.
TEST_F(ScriptedDisplayTest, CopiesClipboardTextAsUtf8) {
    const std::string text = "h\xc3\xa9llo \xe2\x9c\x93", lossy = "h\xc3\xa9llo ?";
    const std::tuple<DWORD, UINT, const void*, std::string> rows[] = {
        {VER_PLATFORM_WIN32_NT, CF_TEXT, "ansi\0\0\0", text},
        {VER_PLATFORM_WIN32_WINDOWS, CF_UNICODETEXT, L"wid", lossy}};
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
    g_script.platform = VER_PLATFORM_WIN32_NT;
    const unsigned before = display->getClipboardText(nullptr, 0);
    EXPECT_FALSE(display->setClipboardText("\xff") || display->setClipboardText(nullptr));
    manager()->destroyWindow(0, 0);
    EXPECT_FALSE(display->setClipboardText("new"));
    EXPECT_EQ(before, display->getClipboardText(nullptr, 0));
}

} // namespace
