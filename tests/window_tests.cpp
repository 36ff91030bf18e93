// The window manager with real windows and real messages: geometry, class and styles, the
// close protocol and refusals, the cursor count, activation callbacks and attaching.
#include "support/game_window.h"

#include <vector>

namespace {

// x, y, width, height and the aspect ratio, as the manager and its screen getters read them.
std::vector<float> geometry() {
    WindowInterface* manager = WindowInterface::i();
    int x = -1, y = -1;
    manager->getWindowPosition(&x, &y);
    EXPECT_EQ(manager->getWidth(), manager->getScreenWidth());
    EXPECT_EQ(manager->getHeight(), manager->getScreenHeight());
    EXPECT_EQ(manager->getBitDepth(), manager->getScreenBitDepth());
    EXPECT_EQ(manager->getAspectRatio(), manager->getScreenAspectRatio());
    return {float(x), float(y), float(manager->getWidth()), float(manager->getHeight()),
            manager->getAspectRatio()};
}

using Geometry = GameWindowTest;

// First, so it runs before any window of this process has had a WM_SIZE.
TEST_F(Geometry, ReadsZeroUntilTheFirstSizeThenFollowsTheWindow) {
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0, 1.0f}), geometry());
    EXPECT_EQ(0, manager()->getBitDepth());
    manager()->getWindowPosition(nullptr, nullptr);
    ASSERT_TRUE(create(320, 200, 16, false));
    EXPECT_EQ(m_window, manager()->getWindowHandle());
    EXPECT_EQ(16, manager()->getBitDepth()) << "the depth asked for, not the desktop's";
    EXPECT_EQ((std::vector<float>{0, 0, 320, 200, 1.6f}), geometry());
    const struct {
        int x, y, width, height;
        UINT flags;
        std::vector<float> read;
    } moves[] = {
        {30, 40, 400, 300, 0, {30, 40, 400, 300, asFloat(400.0 / 300)}},
        {50, 60, 0, 0, SWP_NOSIZE, {50, 60, 400, 300, asFloat(400.0 / 300)}},
        {0, 0, 500, 250, SWP_NOMOVE, {50, 60, 500, 250, 2.0f}},
    };
    for (const auto& move : moves) {
        SetWindowPos(m_window, nullptr, move.x, move.y, move.width, move.height,
                     move.flags | SWP_NOZORDER);
        EXPECT_EQ(move.read, geometry());
    }
    ShowWindow(m_window, SW_MINIMIZE);
    EXPECT_EQ(0, manager()->getHeight());
    EXPECT_EQ(1.0f, manager()->getAspectRatio()) << "a minimised window has no height";
}

using GameWindow = GameWindowTest;

TEST_F(GameWindow, IsABlackPopupAtTheCornerWithTheGamesIcon) {
    WNDCLASSA windowClass = {};
    ASSERT_TRUE(GetClassInfoA(static_cast<HINSTANCE>(m_instance), gameClass, &windowClass));
    EXPECT_EQ(UINT(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS), windowClass.style);
    EXPECT_NE(nullptr, windowClass.hIcon) << "icon 101 of the test program";
    EXPECT_EQ(nullptr, windowClass.hCursor);
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), windowClass.hbrBackground);
    EXPECT_FALSE(manager()->registerWindowClass(&m_instance, gameClass)) << "already registered";
    EXPECT_FALSE(manager()->registerWindowClass(nullptr, "Other"));
    EXPECT_FALSE(manager()->unregisterWindowClass(&m_instance, nullptr));

    ASSERT_TRUE(create(256, 128, 32, false));
    EXPECT_EQ(WS_POPUP, GetWindowLongPtrA(m_window, GWL_STYLE) & (WS_POPUP | WS_CAPTION));
    EXPECT_EQ(WS_EX_APPWINDOW,
              GetWindowLongPtrA(m_window, GWL_EXSTYLE) & (WS_EX_APPWINDOW | WS_EX_TOPMOST));
    RECT bounds = {};
    GetWindowRect(m_window, &bounds);
    EXPECT_EQ((Pixels{0, 0, 256, 128}),
              (Pixels{bounds.left, bounds.top, bounds.right, bounds.bottom}));
    EXPECT_TRUE(IsWindowVisible(m_window));
    EXPECT_TRUE(manager()->showWindow(&m_window, false));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_FALSE(manager()->showWindow(nullptr, true));
}

// Only close values 100 and 101 end the window; the screen saver, the window menu, monitor
// power-down and suspend are refused, other system commands reach the system.
TEST_F(GameWindow, ClosesOnlyOnOneHundredOrOneHundredOneAndRefusesInterruptions) {
    const struct {
        UINT message;
        WPARAM wParam;
        LRESULT result;
        bool alive;
    } rows[] = {
        {WM_CLOSE, 0, 1, true},
        {WM_CLOSE, 102, 1, true},
        {WM_COMMAND, 99, 0, true},
        {WM_COMMAND, 101, 0, false}, // posts WM_CLOSE 101, which the pump then dispatches
        {WM_CLOSE, 100, 0, false},
        {WM_CLOSE, 101, 0, false},
        {WM_SYSCOMMAND, SC_SCREENSAVE | 1, 1, true},
        {WM_SYSCOMMAND, SC_KEYMENU, 1, true},
        {WM_SYSCOMMAND, SC_MONITORPOWER | 2, 1, true},
        {WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, BROADCAST_QUERY_DENY, true},
        {WM_POWERBROADCAST, PBT_APMSUSPEND, BROADCAST_QUERY_DENY, true},
        {WM_SETCURSOR, 0, 1, true},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(create(64, 64, 32, false));
        EXPECT_EQ(row.result, SendMessageA(m_window, row.message, row.wParam, 0)) << row.wParam;
        pump();
        EXPECT_EQ(row.alive, bool(IsWindow(m_window))) << row.message << " " << row.wParam;
        if (row.alive) {
            EXPECT_TRUE(manager()->destroyWindow(0, 0));
        }
    }
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        << "a destroyed window does not quit the game";
    ASSERT_TRUE(create(64, 64, 32, false));
    SendMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(m_window));
}

// The system's cursor display count, read without changing it.
int cursorCount() {
    int count = ShowCursor(FALSE) + 1;
    ShowCursor(TRUE);
    return count;
}

TEST(Cursor, ShowingEndsAtZeroAndHidingAtMinusOne) {
    const struct {
        int before;
        bool show;
        int after;
    } rows[] = {{-3, true, 0},  {2, true, 0},    {0, true, 0},
                {0, false, -1}, {-4, false, -1}, {3, false, -1}};
    for (const auto& row : rows) {
        while (cursorCount() != row.before)
            ShowCursor(cursorCount() < row.before);
        EXPECT_TRUE(WindowInterface::i()->showCursor(row.show));
        EXPECT_EQ(row.after, cursorCount()) << "from " << row.before;
    }
    WindowInterface::i()->showCursor(true);
}

std::vector<HWND> g_activated, g_deactivated;

using Activation = GameWindowTest;

// This process has no other window, so creating and destroying the game window switches the
// system's active application to it and away from it.
TEST_F(Activation, CallsTheMainLoopsCallbacksAndSkipsANullOne) {
    MainInterface::i()->setActivateCallback([](HWND window) { g_activated.push_back(window); });
    MainInterface::i()->setDeactivateCallback([](HWND window) { g_deactivated.push_back(window); });
    ASSERT_TRUE(create(64, 64, 32, false));
    const std::vector<HWND> first = {m_window};
    EXPECT_EQ(first, g_activated);
    EXPECT_TRUE(g_deactivated.empty());
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(first, g_deactivated);

    MainInterface::i()->setActivateCallback(nullptr);
    MainInterface::i()->setDeactivateCallback(nullptr);
    ASSERT_TRUE(create(64, 64, 32, false));
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(first, g_activated);
    EXPECT_EQ(first, g_deactivated);
}

int g_ownProcCalls = 0;

LRESULT CALLBACK ownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_ownProcCalls;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createOwnWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ownProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OwnWindow";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "OwnWindow", "own", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Last: nothing ever detaches, so every later destroyWindow of this process gives false.
TEST(Attach, TakesOverOneWindowForGoodAndNeverDestroysIt) {
    WindowInterface* manager = WindowInterface::i();
    HWND own = createOwnWindow();
    HWND other = createOwnWindow();
    HWND invalid = reinterpret_cast<HWND>(0x4321);
    EXPECT_FALSE(manager->attachWindow(&invalid, nullptr));
    EXPECT_FALSE(manager->attachWindow(nullptr, nullptr));

    LONG_PTR previous = 0;
    ASSERT_TRUE(manager->attachWindow(&own, &previous));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ownProc), previous);
    EXPECT_EQ(own, manager->getWindowHandle());
    g_ownProcCalls = 0;
    EXPECT_EQ(1, SendMessageA(own, WM_CLOSE, 0, 0)) << "the close protocol holds";
    EXPECT_EQ(0, SendMessageA(own, WM_NULL, 0, 0));
    EXPECT_EQ(0, g_ownProcCalls) << "unhandled messages go to the default procedure";

    EXPECT_FALSE(manager->attachWindow(&other, &previous));
    EXPECT_EQ(own, manager->getWindowHandle());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ownProc), GetWindowLongPtrA(other, GWLP_WNDPROC));
    EXPECT_FALSE(manager->destroyWindow(0, 0));
    EXPECT_TRUE(IsWindow(own));

    const LONG_PTR attachedProc = GetWindowLongPtrA(own, GWLP_WNDPROC);
    EXPECT_EQ(attachedProc, manager->setWindowProc(&own, ownProc));
    EXPECT_EQ(previous, GetWindowLongPtrA(own, GWLP_WNDPROC));
    EXPECT_EQ(0, manager->setWindowProc(nullptr, ownProc));
    DestroyWindow(own);
    DestroyWindow(other);
}

} // namespace
