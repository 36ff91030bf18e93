// The window manager with real windows and real messages: geometry, class and styles, the
// close protocol and refusals, the cursor count and attaching a window of the game's own.
#include "support/game_window.h"

namespace {

// x, y, width, height and the aspect ratio; the screen getters must read the same.
std::vector<float> geometry() {
    WindowInterface* manager = WindowInterface::i();
    int x = -1, y = -1;
    manager->getWindowPosition(&x, &y);
    EXPECT_EQ(
        (std::vector<float>{float(manager->getWidth()), float(manager->getHeight()),
                            float(manager->getBitDepth()), manager->getAspectRatio()}),
        (std::vector<float>{float(manager->getScreenWidth()), float(manager->getScreenHeight()),
                            float(manager->getScreenBitDepth()), manager->getScreenAspectRatio()}));
    return {float(x),
            float(y),
            float(manager->getWidth()),
            float(manager->getHeight()),
            manager->getAspectRatio(),
            float(manager->getBitDepth())};
}

using GameWindow = GameWindowTest;

// First, so it runs before any window of this process has had a WM_SIZE. The depth is the one
// asked for, not the desktop's; a minimised window has no height and an aspect ratio of 1.
TEST_F(GameWindow, GeometryReadsZeroUntilTheFirstSizeThenFollowsTheWindow) {
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0, 1.0f, 0}), geometry());
    ASSERT_TRUE(create(320, 200, 16, false));
    EXPECT_EQ(m_window, manager()->getWindowHandle());
    EXPECT_EQ((std::vector<float>{0, 0, 320, 200, 1.6f, 16}), geometry());
    MoveWindow(m_window, 30, 40, 400, 300, TRUE);
    EXPECT_EQ((std::vector<float>{30, 40, 400, 300, asFloat(400.0 / 300), 16}), geometry());
    SetWindowPos(m_window, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ((std::vector<float>{50, 60, 400, 300, asFloat(400.0 / 300), 16}), geometry());
    ShowWindow(m_window, SW_MINIMIZE);
    EXPECT_EQ(0, manager()->getHeight());
    EXPECT_EQ(1.0f, manager()->getAspectRatio());
}

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
    RECT r = {};
    GetWindowRect(m_window, &r);
    EXPECT_EQ((Pixels{0, 0, 256, 128}), (Pixels{r.left, r.top, r.right, r.bottom}));
    EXPECT_TRUE(manager()->showWindow(&m_window, false));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_FALSE(manager()->showWindow(nullptr, true));
}

// Only close values 100 and 101 end the window, and a destroyed window does not quit the game;
// the screen saver, the window menu, monitor power-down and suspend are refused.
TEST_F(GameWindow, ClosesOnlyOnOneHundredOrOneHundredOneAndRefusesInterruptions) {
    const LONG_PTR rows[][4] = {
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
        EXPECT_EQ(row[2], SendMessageA(m_window, UINT(row[0]), WPARAM(row[1]), 0)) << row[1];
        pump();
        EXPECT_EQ(row[3], IsWindow(m_window)) << row[0] << " " << row[1];
        manager()->destroyWindow(0, 0);
    }
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    ASSERT_TRUE(create(64, 64, 32, false));
    SendMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(m_window)) << "other system commands reach the system";
}

// The system's cursor display count, read without changing it.
int cursorCount() {
    const int count = ShowCursor(FALSE) + 1;
    ShowCursor(TRUE);
    return count;
}

TEST(Cursor, ShowingEndsAtZeroAndHidingAtMinusOne) {
    const int rows[][3] = {{-3, true, 0},  {2, true, 0},    {0, true, 0},
                           {0, false, -1}, {-4, false, -1}, {3, false, -1}};
    for (const auto& row : rows) {
        while (cursorCount() != row[0])
            ShowCursor(cursorCount() < row[0]);
        EXPECT_TRUE(WindowInterface::i()->showCursor(row[1]));
        EXPECT_EQ(row[2], cursorCount()) << "from " << row[0];
    }
    WindowInterface::i()->showCursor(true);
}

int g_ownProcCalls = 0;

LRESULT CALLBACK ownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_ownProcCalls;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Last: nothing ever detaches, so every later destroyWindow of this process gives false.
// Unhandled messages go to the default procedure, not to the replaced one.
TEST(Attach, TakesOverOneWindowForGoodAndNeverDestroysIt) {
    WindowInterface* manager = WindowInterface::i();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ownProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OwnWindow";
    RegisterClassA(&windowClass);
    HWND own = CreateWindowExA(0, "OwnWindow", "", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr,
                               nullptr, nullptr);
    HWND other = CreateWindowExA(0, "OwnWindow", "", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr,
                                 nullptr, nullptr);
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
    EXPECT_EQ(0, g_ownProcCalls);
    EXPECT_FALSE(manager->attachWindow(&other, &previous));
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
