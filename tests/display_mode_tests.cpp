// Full-screen display modes and the desktop check, with the platform DLL's display, version
// and device-capability imports answered by scripts, so that the shipped code path meets
// failures, mode lists and platforms that this machine cannot produce.
#include "support/box_watcher.h"
#include "support/import_patch.h"
#include "support/records.h"
#include "window_fixture.h"

#include <deque>
#include <string>
#include <vector>

namespace {

struct Mode {
    DWORD width, height, bits, frequency;
};

// One ChangeDisplaySettingsA call as the library made it; tag is the index of the enumerated
// record it started from.
struct Change {
    bool toRegistry;
    DWORD fields, width, height, bits, frequency, tag, flags;

    bool operator==(const Change& other) const {
        return toRegistry == other.toRegistry && fields == other.fields && width == other.width &&
               height == other.height && bits == other.bits && frequency == other.frequency &&
               tag == other.tag && flags == other.flags;
    }
};

std::ostream& operator<<(std::ostream& out, const Change& change) {
    if (change.toRegistry)
        return out << "{registry}";
    return out << "{fields " << std::hex << change.fields << std::dec << " " << change.width << "x"
               << change.height << "x" << change.bits << " @" << change.frequency << " from mode "
               << change.tag << " flags " << change.flags << "}";
}

const DWORD enumeratedFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;

Change registryChange() {
    return Change{true, 0, 0, 0, 0, 0, 0, 0};
}

Change fullScreenChange(DWORD fields, DWORD width, DWORD height, DWORD bits, DWORD frequency,
                        DWORD fromMode) {
    return Change{false, fields, width, height, bits, frequency, fromMode, CDS_FULLSCREEN};
}

struct Script {
    std::vector<Mode> modes;
    std::deque<LONG> results; // an empty queue answers DISP_CHANGE_SUCCESSFUL
    std::vector<DWORD> enumerated;
    std::vector<Change> changes;
    bool badRecord = false;
    int moves = 0;
    DWORD moveError = ERROR_SUCCESS; // the move fails with this code when not 0
    bool moveFails = false;
    OSVERSIONINFOA version = {};
    bool versionFails = false;
    int desktopDepth = 32;
    int depthQueries = 0;
} g_script;

BOOL WINAPI fakeEnumDisplaySettings(LPCSTR device, DWORD index, DEVMODEA* mode) {
    g_script.enumerated.push_back(index);
    if (device || mode->dmSize != sizeof(DEVMODEA) || mode->dmDriverExtra != 0)
        g_script.badRecord = true;
    if (index >= g_script.modes.size())
        return FALSE;
    const Mode& listed = g_script.modes[index];
    mode->dmFields = enumeratedFields;
    mode->dmPelsWidth = listed.width;
    mode->dmPelsHeight = listed.height;
    mode->dmBitsPerPel = listed.bits;
    mode->dmDisplayFrequency = listed.frequency;
    mode->dmLogPixels = WORD(index);
    return TRUE;
}

LONG WINAPI fakeChangeDisplaySettings(DEVMODEA* mode, DWORD flags) {
    if (mode)
        g_script.changes.push_back(Change{false, mode->dmFields, mode->dmPelsWidth,
                                          mode->dmPelsHeight, mode->dmBitsPerPel,
                                          mode->dmDisplayFrequency, mode->dmLogPixels, flags});
    else
        g_script.changes.push_back(Change{true, 0, 0, 0, 0, 0, 0, flags});
    if (g_script.results.empty())
        return DISP_CHANGE_SUCCESSFUL;
    LONG result = g_script.results.front();
    g_script.results.pop_front();
    return result;
}

BOOL WINAPI fakeSetWindowPos(HWND window, HWND after, int x, int y, int width, int height,
                             UINT flags) {
    ++g_script.moves;
    if (g_script.moveFails || x != 0 || y != 0 || flags != (SWP_NOSIZE | SWP_NOZORDER)) {
        SetLastError(g_script.moveError);
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

    std::vector<std::string> textsSince() const {
        std::vector<std::string> texts;
        for (const DbRecord& record : recordsSince(m_firstRecord))
            texts.push_back((record.kind == dbRecordWarning ? "warning: " : "") +
                            std::string(record.text));
        return texts;
    }

    static void expectFallbackWarningChannel() {
        DbRecord warning = lastRecord();
        EXPECT_EQ(dbRecordWarning, warning.kind);
        EXPECT_EQ(0x44495350u, warning.channel) << "'DISP'";
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
    unsigned m_firstRecord = 0;
};

using FullScreen = DisplayModeTest;

TEST_F(FullScreen, WithoutRefreshTheFirstChangeIsTheExplicitAttemptOnModeZero) {
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ(1, g_script.moves);
    EXPECT_EQ((std::vector<DWORD>{0, 1, 2, 3, 0}), g_script.enumerated);
    EXPECT_FALSE(g_script.badRecord);
    EXPECT_EQ(std::vector<Change>{fullScreenChange(0x1C0000, 640, 480, 32, 60, 0)},
              g_script.changes);
    EXPECT_EQ(std::vector<std::string>{xpTrace}, textsSince());
    EXPECT_NE(0, GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(registryChange(), g_script.changes.back()) << "the desktop gets its mode back";
}

TEST_F(FullScreen, AMatchingModeAtTheRefreshRateIsSetAsEnumerated) {
    RefreshSwitch refresh("85");
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((std::vector<DWORD>{0, 1, 2}), g_script.enumerated);
    EXPECT_EQ(std::vector<Change>{fullScreenChange(enumeratedFields, 640, 480, 32, 85, 2)},
              g_script.changes);
}

TEST_F(FullScreen, FailedMatchesMakeTheFirstNonZeroIndexTheTemplate) {
    RefreshSwitch refresh("85");
    g_script.modes.assign(9, Mode{1024, 768, 16, 60});
    g_script.modes[0] = g_script.modes[7] = g_script.modes[8] = Mode{640, 480, 32, 85};
    g_script.results = {DISP_CHANGE_BADMODE, DISP_CHANGE_FAILED, DISP_CHANGE_BADPARAM,
                        DISP_CHANGE_SUCCESSFUL};
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((std::vector<DWORD>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 7}), g_script.enumerated);
    EXPECT_EQ((std::vector<Change>{fullScreenChange(enumeratedFields, 640, 480, 32, 85, 0),
                                   fullScreenChange(enumeratedFields, 640, 480, 32, 85, 7),
                                   fullScreenChange(enumeratedFields, 640, 480, 32, 85, 8),
                                   fullScreenChange(0x1C0000, 640, 480, 32, 85, 7)}),
              g_script.changes);
    EXPECT_EQ((std::vector<std::string>{
                  xpTrace, "ChangeDisplaySettings:The graphics mode is not supported.",
                  "ChangeDisplaySettings:The display driver failed the specified graphics mode.",
                  "ChangeDisplaySettings:An invalid parameter was passed in. This can include an "
                  "invalid flag or combination of flags."}),
              textsSince());
}

TEST_F(FullScreen, ARestartIsAFailureSoDepthThenSizeAreTried) {
    g_script.results = {DISP_CHANGE_RESTART};
    ASSERT_TRUE(create(800, 600, 16, true));
    EXPECT_EQ((std::vector<Change>{fullScreenChange(0x1C0000, 800, 600, 16, 60, 0),
                                   fullScreenChange(DM_BITSPERPEL, 800, 600, 16, 60, 0),
                                   fullScreenChange(0x180000, 800, 600, 16, 60, 0)}),
              g_script.changes);
    EXPECT_EQ((std::vector<std::string>{
                  xpTrace,
                  "ChangeDisplaySettings:The computer must be restarted in order for the "
                  "graphics mode to work.",
                  "Switch to 800x600x16bit failed, trying again"}),
              textsSince());
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(registryChange(), g_script.changes.back()) << "the size change switched the mode";
}

TEST_F(FullScreen, AFailedDepthChangeFallsBackToTheWindowWithAWarning) {
    g_script.results = {-6, DISP_CHANGE_NOTUPDATED};
    ASSERT_TRUE(create(640, 480, 8, true)) << "creation succeeds all the same";
    EXPECT_EQ(2u, g_script.changes.size());
    EXPECT_EQ((std::vector<std::string>{
                  xpTrace, "ChangeDisplaySettings:unknown error: -6",
                  "Switch to 640x480x8bit failed, trying again",
                  "ChangeDisplaySettings:Unable to write settings to the registry.",
                  "warning: An error occurred trying to switch to fullscreen mode so using "
                  "windowed instead"}),
              textsSince());
    expectFallbackWarningChannel();
    EXPECT_NE(0, GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // Nothing was switched, so nothing is restored; the next activation tries again.
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(2u, g_script.changes.size());
}

TEST_F(FullScreen, AFailedSizeChangeUndoesTheDepth) {
    g_script.results = {DISP_CHANGE_BADFLAGS, DISP_CHANGE_SUCCESSFUL, DISP_CHANGE_FAILED,
                        DISP_CHANGE_BADMODE};
    ASSERT_TRUE(create(640, 480, 32, true));
    ASSERT_EQ(4u, g_script.changes.size());
    EXPECT_EQ(registryChange(), g_script.changes[3]);
    EXPECT_EQ((std::vector<std::string>{
                  xpTrace, "ChangeDisplaySettings:An invalid set of flags was passed in.",
                  "Switch to 640x480x32bit failed, trying again",
                  "ChangeDisplaySettings:The graphics mode is not supported.",
                  "warning: An error occurred trying to switch to fullscreen mode so using "
                  "windowed instead"}),
              textsSince());
    expectFallbackWarningChannel();
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(4u, g_script.changes.size());
}

TEST_F(FullScreen, AFailedMoveIsTracedAndTheSwitchGoesOn) {
    g_script.moveFails = true;
    g_script.moveError = ERROR_INVALID_WINDOW_HANDLE;
    char text[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_WINDOW_HANDLE, 0, text,
                   sizeof text, nullptr);
    ASSERT_TRUE(create(640, 480, 32, true));
    EXPECT_EQ((std::vector<std::string>{xpTrace, "Windows Error 1400:" + std::string(text)}),
              textsSince());
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(1u, g_script.changes.size());

    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    g_script.moveError = ERROR_SUCCESS;
    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ("Windows Error 0:", lastText());
}

using Activation = DisplayModeTest;

TEST_F(Activation, DeactivationMinimisesAndRestoresActivationSwitchesOnce) {
    ASSERT_TRUE(create(640, 480, 32, true));
    ASSERT_EQ(1u, g_script.changes.size());

    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(IsIconic(m_window));
    ASSERT_EQ(2u, g_script.changes.size());
    EXPECT_EQ(registryChange(), g_script.changes[1]);

    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(2, g_script.moves);
    ASSERT_EQ(3u, g_script.changes.size());
    EXPECT_EQ(fullScreenChange(0x1C0000, 640, 480, 32, 60, 0), g_script.changes[2]);

    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(2, g_script.moves) << "the mode is still switched";
    EXPECT_EQ(3u, g_script.changes.size());

    // A restore after a restore changes nothing.
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(4u, g_script.changes.size());
    EXPECT_EQ(registryChange(), g_script.changes[3]);
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
    EXPECT_TRUE(g_script.changes.empty());
    EXPECT_TRUE(g_script.enumerated.empty());
    ASSERT_TRUE(watcher.found());
    EXPECT_NE(std::string::npos, watcher.texts().find("Needs more colours than 256"));
    EXPECT_EQ(
        (std::vector<std::string>{"Changing from a 8 bit colour depth in win9x (4.0 build 950), ",
                                  "Not even going to both attempting to switch colour depth"}),
        textsSince());
}

} // namespace
