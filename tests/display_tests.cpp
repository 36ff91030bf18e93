// The display service on the test display's real calls, and on two monitors scripted through
// platform.dll's imports: modes, window states, scale awareness and the 98/2000 fallbacks.
#include "DisplayInterface.h"
#include "PlatApp.h"
#include "support/arguments.h"
#include "support/child_process.h"
#include "support/game_window.h"
#include "support/records.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <utility>

namespace {

using Calls = std::vector<std::string>;

DisplayInterface* display() {
    return DisplayInterface::i();
}

std::string text(long a, long b, long c, long d, const char* format = "%ld,%ld,%ld,%ld") {
    char s[64];
    std::snprintf(s, sizeof s, format, a, b, c, d);
    return s;
}

std::string text(const RECT& r) {
    return text(r.left, r.top, r.right, r.bottom);
}

std::string text(const DisplayMode& m) {
    return text(m.width, m.height, m.bitDepth, m.refresh, "%ldx%ldx%ld@%ld");
}

Calls modesOf(int monitor) {
    Calls modes;
    DisplayMode m = {};
    for (int i = 0; display()->getMode(monitor, i, &m); ++i)
        modes.push_back(text(m));
    EXPECT_EQ(display()->getModeCount(monitor), int(modes.size()));
    return modes;
}

// PlatWinMain's start-up steps, for a game that does nothing.
void startGame() {
    struct NoGame : AppInterface {
        const char* name() const override { return ""; }
        int run() override { return 0; }
    } game;
    Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &game);
}

class DisplayTest : public GameWindowTest {
protected:
    void SetUp() override {
        GameWindowTest::SetUp();
        ASSERT_TRUE(create(320, 240, 32, false));
        // Whatever an earlier test scripted, the service reads the monitors again.
        SendMessageA(m_window, WM_DISPLAYCHANGE, 32, 0);
    }
};

// The test display for real: one primary monitor at the origin, its current mode once among
// its modes, and a new process under the prefix's 144 logical pixels, once scale-aware, at 1.5.
TEST_F(DisplayTest, ListsTheTestDisplayAndSeesThePrefixsScale) {
    DisplayMonitor m = {};
    DisplayMode current = {};
    ASSERT_TRUE(display()->getMonitor(0, &m) && display()->getCurrentMode(0, &current));
    const Calls modes = modesOf(0);
    EXPECT_EQ("1 \\\\.\\DISPLAY1 named 0,0,1024,768 primary 0 1",
              std::to_string(display()->getMonitorCount()) + " " + m.deviceName +
                  (*m.friendlyName ? " named " : " ") + text(m.desktop) +
                  (m.primary ? " primary " : " ") + std::to_string(display()->getWindowMonitor()) +
                  " " + std::to_string(std::count(modes.begin(), modes.end(), text(current))));
    HKEY desktop = nullptr;
    const DWORD scaled = 144, unscaled = 96;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop));
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE*)&scaled, 4);
    SetEnvironmentVariableA("DISPLAY_SCALE_CHILD", "1");
    const std::string child =
        runChild("\"" + programDirectory() + "platform_display_tests.exe\" --gtest_filter=Child.*")
            .output;
    SetEnvironmentVariableA("DISPLAY_SCALE_CHILD", nullptr);
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, (const BYTE*)&unscaled, 4);
    RegCloseKey(desktop);
    // Some awareness took ("per-monitor..." or "process-wide": Wine 8 takes only the last).
    EXPECT_NE(std::string::npos, child.find("scale 1.50, Scale awareness: p")) << child;
}

// The child's half: start-up marks the process before it has a window.
TEST(Child, StartsAndReadsTheScale) {
    if (!GetEnvironmentVariableA("DISPLAY_SCALE_CHILD", nullptr, 0))
        GTEST_SKIP() << "run by the test above";
    startGame();
    std::printf("scale %.2f, %s\n", display()->getMonitorScale(0), lastRecord().text);
}

// What the scripted system answers, and the calls and traces it saw in order.
struct Script {
    Calls timeline;
    unsigned nextRecord = dbRecordCount();
    int monitors = 2, enumerations = 0;
    LONG result = DISP_CHANGE_SUCCESSFUL; // the next mode change's answer, then success
    int missing = 0;                      // how many of the newest awareness calls the system lacks
    bool noDpiCall = false;
    DWORD platform = VER_PLATFORM_WIN32_NT;
} g_script;

void note(const std::string& call) {
    for (const DbRecord& record : recordsSince(g_script.nextRecord))
        g_script.timeline.push_back((record.kind == dbRecordWarning ? "warning: " : "") +
                                    std::string(record.text));
    g_script.nextRecord = dbRecordCount();
    if (!call.empty())
        g_script.timeline.push_back(call);
}

Calls timeline() {
    note("");
    return std::exchange(g_script.timeline, {});
}

// Monitor 0, left of and above the primary monitor 1, lists duplicates, its default rate as 0
// and as 1, and odd rates; the current mode comes first.
const struct {
    RECT area;
    const char* modes;
    UINT dpi;
} g_monitors[2] = {{{-1280, -256, 0, 768},
                    "1280x1024x32@60 640x480x16@1 640x480x16@0 1280x1024x32@60 800x600x32@75 "
                    "800x600x32@59 1280x1024x16@60",
                    120},
                   {{0, 0, 1024, 768}, "1024x768x32@60", 144}};

int monitorIndex(const char* device) {
    return device && std::string(device) == "\\\\.\\DISPLAY1" ? 0 : 1;
}

BOOL WINAPI fakeEnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data) {
    for (int i = 0; i < g_script.monitors; ++i)
        proc(HMONITOR(INT_PTR(i + 1)), nullptr, const_cast<RECT*>(&g_monitors[i].area), data);
    return TRUE;
}

BOOL WINAPI fakeGetMonitorInfo(HMONITOR handle, MONITORINFO* info) {
    auto* ex = reinterpret_cast<MONITORINFOEXA*>(info);
    const INT_PTR i = INT_PTR(handle) - 1;
    if (i < 0 || i >= g_script.monitors || info->cbSize != sizeof *ex)
        return FALSE;
    ex->rcMonitor = ex->rcWork = g_monitors[i].area;
    ex->rcWork.bottom -= 40;
    ex->dwFlags = i == 1 ? MONITORINFOF_PRIMARY : 0;
    std::snprintf(ex->szDevice, sizeof ex->szDevice, "\\\\.\\DISPLAY%d", int(i + 1));
    return TRUE;
}

BOOL WINAPI fakeEnumDisplaySettings(LPCSTR device, DWORD index, DEVMODEA* m) {
    g_script.enumerations += index != ENUM_CURRENT_SETTINGS;
    std::istringstream modes(g_monitors[monitorIndex(device)].modes);
    std::string mode;
    for (DWORD i = 0; i <= (index == ENUM_CURRENT_SETTINGS ? 0 : index); ++i) {
        if (!(modes >> mode))
            return FALSE;
    }
    return std::sscanf(mode.c_str(), "%lux%lux%lu@%lu", &m->dmPelsWidth, &m->dmPelsHeight,
                       &m->dmBitsPerPel, &m->dmDisplayFrequency) == 4;
}

LONG WINAPI fakeChangeDisplaySettingsEx(LPCSTR device, DEVMODEA* m, HWND, DWORD flags, void*) {
    note(std::string(m ? "change " : "restore ") + device +
         (m ? text(m->dmPelsWidth, m->dmPelsHeight, m->dmBitsPerPel, m->dmDisplayFrequency,
                   " %ldx%ldx%ld@%ld") +
                  text(m->dmFields, flags, 0, 0, " %lx %ld")
            : ""));
    // As the system does, the window hears of the change before the call returns.
    SendMessageA(WindowInterface::i()->getWindowHandle(), WM_DISPLAYCHANGE, 32, 0);
    return std::exchange(g_script.result, DISP_CHANGE_SUCCESSFUL);
}

HMONITOR WINAPI fakeMonitorFromWindow(HWND window, DWORD) {
    RECT r = {};
    GetWindowRect(window, &r);
    return HMONITOR(INT_PTR(r.left < 0 ? 1 : 2));
}

BOOL WINAPI fakeGetVersionEx(OSVERSIONINFOA* version) {
    version->dwPlatformId = g_script.platform;
    return TRUE;
}

// The newer calls, each noting itself.
BOOL WINAPI fakeSetContext(HANDLE context) {
    note("SetProcessDpiAwarenessContext " + std::to_string(INT_PTR(context)));
    return g_script.missing >= 0; // -1: a system that knows the call but not this context
}
HRESULT WINAPI fakeSetAwareness(int awareness) {
    note("SetProcessDpiAwareness " + std::to_string(awareness));
    return S_OK;
}
BOOL WINAPI fakeSetAware() {
    note("SetProcessDPIAware");
    return TRUE;
}
HRESULT WINAPI fakeGetDpi(HMONITOR monitor, int type, UINT* x, UINT* y) {
    *x = *y = g_monitors[INT_PTR(monitor) - 1].dpi;
    return type == 0 ? S_OK : E_INVALIDARG;
}

// Only a library named by its full path in the system folder is loaded.
HMODULE WINAPI fakeLoadLibrary(LPCSTR path) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    const bool system = std::string(path).compare(0, length, folder) == 0 && path[length] == '\\';
    return system ? LoadLibraryA(path) : nullptr;
}

FARPROC WINAPI fakeGetProcAddress(HMODULE module, LPCSTR name) {
    const std::pair<const char*, void*> fakes[] = {
        {"SetProcessDpiAwarenessContext", (void*)fakeSetContext},
        {"SetProcessDpiAwareness", (void*)fakeSetAwareness},
        {"SetProcessDPIAware", (void*)fakeSetAware},
        {"GetDpiForMonitor", (void*)fakeGetDpi}};
    for (int i = 0; i < 4; ++i) {
        if (std::string(name) == fakes[i].first)
            return i < g_script.missing || (i == 3 && g_script.noDpiCall)
                       ? nullptr
                       : FARPROC(fakes[i].second);
    }
    return GetProcAddress(module, name);
}

class ScriptedDisplayTest : public DisplayTest {
protected:
    void SetUp() override {
        g_script = Script();
        for (const ImportPatch& patch : m_patches)
            ASSERT_TRUE(patch.active());
        DisplayTest::SetUp();
        display()->setDisplayChangeCallback(nullptr);
        display()->setScaleCallback(nullptr);
        timeline();
    }

    // The window's place (or that it is minimised), whether it is topmost or framed, the state.
    std::string place() {
        RECT r = {};
        GetWindowRect(m_window, &r);
        const LONG_PTR exStyle = GetWindowLongPtrA(m_window, GWL_EXSTYLE);
        return (IsIconic(m_window) ? "minimised" : text(r)) +
               (exStyle & WS_EX_TOPMOST ? " topmost" : "") +
               (GetWindowLongPtrA(m_window, GWL_STYLE) & WS_CAPTION ? " framed" : "") + " " +
               std::to_string(display()->getWindowState());
    }

    ImportPatch m_patches[8] = {
        patchPlatform("user32.dll", "EnumDisplayMonitors", fakeEnumDisplayMonitors),
        patchPlatform("user32.dll", "GetMonitorInfoA", fakeGetMonitorInfo),
        patchPlatform("user32.dll", "EnumDisplaySettingsA", fakeEnumDisplaySettings),
        patchPlatform("user32.dll", "ChangeDisplaySettingsExA", fakeChangeDisplaySettingsEx),
        patchPlatform("user32.dll", "MonitorFromWindow", fakeMonitorFromWindow),
        patchPlatform("kernel32.dll", "GetVersionExA", fakeGetVersionEx),
        patchPlatform("kernel32.dll", "LoadLibraryA", fakeLoadLibrary),
        patchPlatform("kernel32.dll", "GetProcAddress", fakeGetProcAddress)};
};

// Both monitors as listed, their modes read once, sorted, without duplicates, their scales, or
// the desktop's (the test display's 96) without the per-monitor call; a display change or a
// changed device node lists them again and tells the game, and a move to another scale keeps
// the client size in real pixels and tells the game.
TEST_F(ScriptedDisplayTest, ListsTwoMonitorsAndTheirModesOnce) {
    Calls listed;
    DisplayMonitor m = {};
    for (int i = 0; display()->getMonitor(i, &m); ++i)
        listed.push_back(m.deviceName + (" " + text(m.desktop)) + " " + text(m.workArea) +
                         (m.primary ? " primary" : ""));
    EXPECT_EQ((Calls{"\\\\.\\DISPLAY1 -1280,-256,0,768 -1280,-256,0,728",
                     "\\\\.\\DISPLAY2 0,0,1024,768 0,0,1024,728 primary"}),
              listed);
    DisplayMode mode = {};
    EXPECT_TRUE(display()->getCurrentMode(0, &mode) && text(mode) == "1280x1024x32@60" &&
                display()->getWindowMonitor() == 1);
    for (int bad : {-1, 2})
        EXPECT_FALSE(display()->getMonitor(bad, &m) || display()->getMode(bad, 0, &mode) ||
                     display()->getCurrentMode(bad, &mode) || display()->getModeCount(bad) ||
                     display()->getMonitorScale(bad) != 0.0f || display()->getMode(0, 5, &mode) ||
                     display()->getMode(0, -1, &mode) || display()->getMonitor(0, nullptr));
    EXPECT_TRUE(display()->getMonitorScale(0) == 1.25f && display()->getMonitorScale(1) == 1.5f);
    g_script.noDpiCall = true;
    EXPECT_TRUE(display()->getMonitorScale(0) == 1.0f && display()->getMonitorScale(1) == 1.0f);
    display()->setDisplayChangeCallback([] { note("display changed"); });
    display()->setScaleCallback([](HWND, float scale) { note(std::to_string(scale)); });
    const int enumerations = g_script.enumerations;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ((Calls{"640x480x16@0", "800x600x32@59", "800x600x32@75", "1280x1024x16@60",
                         "1280x1024x32@60"}),
                  modesOf(0));
    EXPECT_EQ(Calls{"1024x768x32@60"}, modesOf(1));
    EXPECT_EQ(enumerations, g_script.enumerations) << "listed once, not per query";
    const std::tuple<UINT, WPARAM, int> changes[] = {{WM_DEVICECHANGE, 0x8000, 1},
                                                     {WM_DEVICECHANGE, 7, 1},
                                                     {WM_DISPLAYCHANGE, 16, 2},
                                                     {0x02E0, MAKEWPARAM(144, 144), 1}};
    RECT suggested = {0, 0, 480, 360}, client = {};
    for (const auto& change : changes) {
        g_script.monitors = std::get<2>(change);
        SendMessageA(m_window, std::get<0>(change), std::get<1>(change), LPARAM(&suggested));
        note(std::to_string(display()->getMonitorCount()));
    }
    GetClientRect(m_window, &client);
    EXPECT_EQ("0,0,320,240", text(client));
    EXPECT_EQ((Calls{"2", "display changed", "1", "display changed", "2", "1.500000", "2"}),
              timeline());
}

// Full screen on monitor 0 changes its device and covers it, steps aside in the background;
// each later state gives the mode back first, windowed restores the frame. A refused mode
// leaves the game borderless there; destroying the window gives the mode back. Bad arguments
// and a window the window manager made full screen change nothing.
TEST_F(ScriptedDisplayTest, SwitchesStatesOnAChosenMonitorAndGivesTheDesktopBack) {
    const DisplayMode mode = {800, 600, 32, 0}, narrow = {0, 600, 32, 60},
                      badRate = {800, 600, 32, -1};
    SetWindowLongPtrA(m_window, GWL_STYLE, GetWindowLongPtrA(m_window, GWL_STYLE) | WS_CAPTION);
    const std::string change = "change \\\\.\\DISPLAY1 800x600x32@0 1c0000 4";
    const std::string restore = "restore \\\\.\\DISPLAY1";
    const Calls refusedMode = {
        change, "ChangeDisplaySettingsEx:\\\\.\\DISPLAY1 800x600x32@0 failed with -2",
        "warning: An error occurred trying to switch \\\\.\\DISPLAY1 to fullscreen mode so "
        "using borderless full screen instead"};
    const std::tuple<int, int, const DisplayMode*> refused[] = {{1, 0, nullptr},  {1, 0, &narrow},
                                                                {1, 0, &badRate}, {2, 2, &mode},
                                                                {2, -2, &mode},   {3, 0, &mode}};
    for (const auto& r : refused)
        EXPECT_FALSE(display()->setWindowState(DisplayInterface::WindowState(std::get<0>(r)),
                                               std::get<1>(r), std::get<2>(r)));
    EXPECT_EQ("0,0,320,240 framed 0", place());
    struct Row {
        int state, monitor; // 9 deactivates, 10 activates
        const DisplayMode* mode;
        LONG result;
        std::string place;
        Calls calls;
    } rows[] = {
        {1, 0, &mode, 0, "-1280,-256,-480,344 topmost 1", {change}},
        {9, 0, &mode, 0, "minimised topmost 1", {restore}},
        {10, 0, &mode, 0, "-1280,-256,-480,344 topmost 1", {change}},
        {2, 1, &mode, 0, "0,0,1024,768 2", {restore}},
        {0, -1, &mode, 0, "0,0,320,240 framed 0", {}},
        {1, 0, &mode, DISP_CHANGE_BADMODE, "-1280,-256,0,768 2", refusedMode},
        {1, -1, &mode, 0, "-1280,-256,-480,344 topmost 1", {change}},
    };
    for (const Row& row : rows) {
        g_script.result = row.result;
        if (row.state < 9)
            EXPECT_TRUE(display()->setWindowState(DisplayInterface::WindowState(row.state),
                                                  row.monitor, row.mode));
        else
            SendMessageA(m_window, WM_ACTIVATEAPP, row.state == 10, 0);
        EXPECT_EQ(row.place, place()) << row.state;
        EXPECT_EQ(row.calls, timeline()) << row.state;
    }
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(Calls{restore}, timeline());
    EXPECT_FALSE(display()->setWindowState(DisplayInterface::borderless, 0, &mode));
    ASSERT_TRUE(create(320, 240, 32, true));
    EXPECT_FALSE(display()->setWindowState(DisplayInterface::borderless, 0, &mode));
}

// The newest awareness the system has, from the system folder, at PlatWinMain; older systems
// get nothing, and the game's call or switch keeps the system's stretching.
TEST_F(ScriptedDisplayTest, MarksTheNewestScaleAwarenessAtStartUp) {
    const std::string context = "SetProcessDpiAwarenessContext -4",
                      awareness = "SetProcessDpiAwareness 2";
    const char* const off = "Scale awareness: off, the system stretches the game";
    struct Row {
        int missing;
        const char* optOut;
        Calls calls;
    } rows[] = {
        {0, nullptr, {context, "Scale awareness: per-monitor v2"}},
        {-1, nullptr, {context, awareness, "Scale awareness: per-monitor"}},
        {2, nullptr, {"SetProcessDPIAware", "Scale awareness: process-wide"}},
        {3, nullptr, {"Scale awareness: none on this system"}},
        {0, "-noscaleaware", {off}},
        {0, "", {off}},
    };
    for (const Row& row : rows) {
        g_script.missing = row.missing;
        Arguments arguments(std::vector<const char*>(row.optOut && *row.optOut, row.optOut));
        display()->setScaleAware(!row.optOut || *row.optOut);
        startGame();
        display()->setScaleAware(true);
        EXPECT_EQ(row.calls, timeline());
    }
}

// UTF-8 in and out, whole or not at all, in the family's own format (the other one, which
// the system would make from it, says something else here); the 98 family's 8-bit text loses
// what its code page lacks. Null, invalid UTF-8 or no window leave the clipboard as it was.
TEST_F(ScriptedDisplayTest, CopiesClipboardTextAsUtf8) {
    const std::string text = "h\xc3\xa9llo \xe2\x9c\x93", lossy = "h\xc3\xa9llo ?";
    const std::tuple<DWORD, UINT, const void*, std::string> rows[] = {
        {VER_PLATFORM_WIN32_NT, CF_TEXT, "ansi\0\0\0", text},
        {VER_PLATFORM_WIN32_WINDOWS, CF_UNICODETEXT, L"wid", lossy}};
    for (const auto& row : rows) {
        g_script.platform = std::get<0>(row);
        ASSERT_TRUE(display()->setClipboardText(text.c_str()));
        HGLOBAL other = GlobalAlloc(GMEM_MOVEABLE, 8);
        std::memcpy(GlobalLock(other), std::get<2>(row), 8);
        GlobalUnlock(other);
        ASSERT_TRUE(OpenClipboard(nullptr) && SetClipboardData(std::get<1>(row), other) &&
                    CloseClipboard());
        const unsigned needed = display()->getClipboardText(nullptr, 0);
        std::string got(needed, 'x');
        EXPECT_EQ(needed, display()->getClipboardText(&got[0], needed - 1));
        EXPECT_EQ(std::string(needed, 'x'), got) << "nothing is cut";
        EXPECT_EQ(needed, display()->getClipboardText(&got[0], needed));
        EXPECT_EQ(std::get<3>(row) + '\0', got);
    }
    g_script.platform = VER_PLATFORM_WIN32_NT;
    const unsigned before = display()->getClipboardText(nullptr, 0);
    EXPECT_FALSE(display()->setClipboardText("\xff") || display()->setClipboardText(nullptr));
    manager()->destroyWindow(0, 0);
    EXPECT_FALSE(display()->setClipboardText("new"));
    EXPECT_EQ(before, display()->getClipboardText(nullptr, 0));
}

} // namespace
