// The window manager with real windows and real messages: geometry, class and styles, the
// close protocol and refusals, the cursor count, activation callbacks and attaching.
#include "MainInterface.h"
#include "window_fixture.h"

#include <vector>

namespace {

using Geometry = GameWindowTest;

void expectGeometry(int x, int y, int width, int height, float aspect) {
    WindowInterface* manager = WindowInterface::i();
    int gotX = -1, gotY = -1;
    manager->getWindowPosition(&gotX, &gotY);
    EXPECT_EQ(x, gotX);
    EXPECT_EQ(y, gotY);
    EXPECT_EQ(width, manager->getWidth());
    EXPECT_EQ(height, manager->getHeight());
    EXPECT_EQ(aspect, manager->getAspectRatio());
    EXPECT_EQ(manager->getWidth(), manager->getScreenWidth());
    EXPECT_EQ(manager->getHeight(), manager->getScreenHeight());
    EXPECT_EQ(manager->getBitDepth(), manager->getScreenBitDepth());
    EXPECT_EQ(manager->getAspectRatio(), manager->getScreenAspectRatio());
}

// Registered first, so it runs before any window of this process has had a WM_SIZE.
TEST_F(Geometry, ReadsZeroUntilTheFirstSizeThenFollowsTheWindow) {
    expectGeometry(0, 0, 0, 0, 1.0f);
    EXPECT_EQ(0, manager()->getBitDepth());
    manager()->getWindowPosition(nullptr, nullptr);

    ASSERT_TRUE(create(320, 200, 16, false));
    EXPECT_EQ(m_window, manager()->getWindowHandle());
    EXPECT_EQ(16, manager()->getBitDepth()) << "the depth asked for, not the desktop's";
    expectGeometry(0, 0, 320, 200, 1.6f);
    MoveWindow(m_window, 30, 40, 400, 300, TRUE);
    expectGeometry(30, 40, 400, 300, 400.0f / 300.0f);
    SetWindowPos(m_window, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    expectGeometry(50, 60, 400, 300, 400.0f / 300.0f);
    SetWindowPos(m_window, nullptr, 0, 0, 500, 250, SWP_NOMOVE | SWP_NOZORDER);
    expectGeometry(50, 60, 500, 250, 2.0f);
    ShowWindow(m_window, SW_MINIMIZE);
    EXPECT_EQ(0, manager()->getHeight());
    EXPECT_FLOAT_EQ(1.0f, manager()->getAspectRatio()) << "a minimised window has no height";
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
    EXPECT_EQ(0, bounds.left);
    EXPECT_EQ(0, bounds.top);
    EXPECT_EQ(256, bounds.right);
    EXPECT_EQ(128, bounds.bottom);
    EXPECT_TRUE(IsWindowVisible(m_window));
    EXPECT_TRUE(manager()->showWindow(&m_window, false));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_FALSE(manager()->showWindow(nullptr, true));
}

TEST_F(GameWindow, OnlyCloseValuesOneHundredAndOneHundredOneDestroyIt) {
    ASSERT_TRUE(create(64, 64, 32, false));
    EXPECT_EQ(1, SendMessageA(m_window, WM_CLOSE, 0, 0)) << "Alt+F4 is refused";
    EXPECT_EQ(1, SendMessageA(m_window, WM_CLOSE, 102, 0));
    EXPECT_EQ(0, SendMessageA(m_window, WM_COMMAND, 99, 0));
    pumpQueue();
    ASSERT_TRUE(IsWindow(m_window));

    EXPECT_EQ(0, SendMessageA(m_window, WM_COMMAND, 101, 0));
    MSG posted = {};
    ASSERT_TRUE(PeekMessageA(&posted, m_window, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_CLOSE), posted.message);
    EXPECT_EQ(WPARAM(101), posted.wParam);
    DispatchMessageA(&posted);
    EXPECT_FALSE(IsWindow(m_window));
    EXPECT_FALSE(PeekMessageA(&posted, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        << "a destroyed window does not quit the game";

    ASSERT_TRUE(create(64, 64, 32, false));
    SendMessageA(m_window, WM_CLOSE, 100, 0);
    EXPECT_FALSE(IsWindow(m_window));
}

TEST_F(GameWindow, RefusesTheScreenSaverMenuMonitorPowerAndSuspend) {
    ASSERT_TRUE(create(64, 64, 32, false));
    for (WPARAM command : {SC_SCREENSAVE | 1, SC_SCREENSAVE, SC_KEYMENU, SC_MONITORPOWER | 2})
        EXPECT_EQ(1, SendMessageA(m_window, WM_SYSCOMMAND, command, 0)) << command;
    for (WPARAM event : {PBT_APMQUERYSUSPEND, PBT_APMSUSPEND, PBT_APMRESUMESUSPEND})
        EXPECT_EQ(BROADCAST_QUERY_DENY, SendMessageA(m_window, WM_POWERBROADCAST, event, 0));
    EXPECT_EQ(1, SendMessageA(m_window, WM_SETCURSOR, WPARAM(m_window), HTCLIENT));

    // Other system commands still reach the system.
    SendMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(m_window));
}

// The system's cursor display count, read without changing it.
int cursorCount() {
    int count = ShowCursor(FALSE) + 1;
    ShowCursor(TRUE);
    return count;
}

void setCursorCount(int count) {
    while (cursorCount() < count)
        ShowCursor(TRUE);
    while (cursorCount() > count)
        ShowCursor(FALSE);
}

TEST(Cursor, ShowingEndsAtZeroAndHidingAtMinusOne) {
    const struct {
        int before;
        bool show;
        int after;
    } cases[] = {{-3, true, 0},  {2, true, 0},    {0, true, 0},
                 {0, false, -1}, {-4, false, -1}, {3, false, -1}};
    for (const auto& c : cases) {
        setCursorCount(c.before);
        EXPECT_TRUE(WindowInterface::i()->showCursor(c.show));
        EXPECT_EQ(c.after, cursorCount()) << "from " << c.before;
    }
    setCursorCount(0);
}

std::vector<HWND> g_activated, g_deactivated;

void recordActivation(HWND window) {
    g_activated.push_back(window);
}
void recordDeactivation(HWND window) {
    g_deactivated.push_back(window);
}

using Activation = GameWindowTest;

// This process has no other window, so creating and destroying the game window switches the
// system's active application to it and away from it.
TEST_F(Activation, CallsTheMainLoopsCallbacksAndSkipsANullOne) {
    g_activated.clear();
    g_deactivated.clear();
    MainInterface::i()->setActivateCallback(recordActivation);
    MainInterface::i()->setDeactivateCallback(recordDeactivation);
    ASSERT_TRUE(create(64, 64, 32, false));
    HWND first = m_window;
    EXPECT_EQ(std::vector<HWND>{first}, g_activated);
    EXPECT_TRUE(g_deactivated.empty());
    EXPECT_TRUE(manager()->destroyWindow(0, 0));
    EXPECT_EQ(std::vector<HWND>{first}, g_deactivated);

    MainInterface::i()->setActivateCallback(nullptr);
    ASSERT_TRUE(create(64, 64, 32, false));
    EXPECT_EQ(std::vector<HWND>{first}, g_activated);
    MainInterface::i()->setDeactivateCallback(nullptr);
    MainInterface::i()->setActivateCallback(recordActivation);
    SendMessageA(m_window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(std::vector<HWND>{first}, g_deactivated);
    SendMessageA(m_window, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ((std::vector<HWND>{first, m_window}), g_activated);
    MainInterface::i()->setActivateCallback(nullptr);
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
    ASSERT_NE(nullptr, own);
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
