// The window manager with real windows and real messages.
#include "support/game_window.h"

namespace {

// A window at the corner with the game's icon, whatever its title; a refused (too long) or
// nameless registration keeps the class already registered. The screen getters read the same.
TEST_F(GameWindowTest, SitsAtTheCornerWithTheGamesIconWhateverItsNames) {
    WNDCLASSA c = {};
    ASSERT_TRUE(GetClassInfoA(static_cast<HINSTANCE>(m_instance), gameClass, &c));
    EXPECT_EQ(UINT(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS), c.style);
    EXPECT_NE(nullptr, c.hIcon) << "icon 101 of the test program";
    EXPECT_FALSE(manager()->registerWindowClass(&m_instance, gameClass) ||
                 manager()->registerWindowClass(nullptr, "Other"));
    const std::string tooLong(300, 'x');
    for (const char* name : {"", static_cast<const char*>(nullptr), tooLong.c_str()})
        EXPECT_FALSE(manager()->registerWindowClass(&m_instance, name) ||
                     manager()->unregisterWindowClass(&m_instance, name));
    for (const char* title : {"", static_cast<const char*>(nullptr), "game"}) {
        manager()->destroyWindow(0, 0);
        ASSERT_TRUE(manager()->createWindow(&m_window, &m_instance, title, 0, 256, 128, 32, false));
        char text[16] = "x";
        GetWindowTextA(m_window, text, sizeof text);
        EXPECT_EQ(title ? title : "", std::string(text));
    }
    WindowInterface* m = manager();
    int x = -1, y = -1;
    m->getWindowPosition(&x, &y);
    EXPECT_EQ((std::vector<float>{0, 0, 256, 128, 32, 2.0f, 256, 128, 32, 2.0f}),
              (std::vector<float>{float(x), float(y), float(m->getWidth()), float(m->getHeight()),
                                  float(m->getBitDepth()), m->getAspectRatio(),
                                  float(m->getScreenWidth()), float(m->getScreenHeight()),
                                  float(m->getScreenBitDepth()), m->getScreenAspectRatio()}));
    EXPECT_FALSE(manager()->showWindow(nullptr, true));
}

// Only close values 100 and 101 end the window, without quitting the game; the screen saver,
// the window menu, monitor power-down and suspend are refused.
TEST_F(GameWindowTest, ClosesOnlyOnOneHundredOrOneHundredOneAndRefusesInterruptions) {
    for (const UINT message : {WM_CLOSE, WM_COMMAND})
        for (const WPARAM value : {0, 99, 100, 101, 102}) {
            const bool closes = value == 100 || value == 101;
            ASSERT_TRUE(create(64, 64, 32, false));
            EXPECT_EQ(message == WM_CLOSE && !closes, SendMessageA(m_window, message, value, 0));
            pump();
            EXPECT_NE(closes, IsWindow(m_window)) << message << " " << value;
            manager()->destroyWindow(0, 0);
        }
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    ASSERT_TRUE(create(64, 64, 32, false));
    for (const WPARAM command : {SC_SCREENSAVE | 1, SC_KEYMENU, SC_MONITORPOWER | 2})
        EXPECT_EQ(1, SendMessageA(m_window, WM_SYSCOMMAND, command, 0)) << command;
    for (const WPARAM event : {PBT_APMQUERYSUSPEND, PBT_APMSUSPEND})
        EXPECT_EQ(BROADCAST_QUERY_DENY, SendMessageA(m_window, WM_POWERBROADCAST, event, 0));
    EXPECT_EQ(1, SendMessageA(m_window, WM_SETCURSOR, 0, 0));
    SendMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(m_window));
    EXPECT_EQ((std::vector<float>{0, 1.0f}),
              (std::vector<float>{float(manager()->getHeight()), manager()->getAspectRatio()}))
        << "a minimised window has no height";
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
}

int g_ownProcCalls = 0;
LRESULT CALLBACK ownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_ownProcCalls;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Last, as nothing ever detaches. Unhandled messages go to the default procedure.
TEST(Attach, TakesOverOneWindowForGoodAndNeverDestroysIt) {
    WindowInterface* manager = WindowInterface::i();
    HWND windows[2], invalid = reinterpret_cast<HWND>(0x4321);
    for (HWND& window : windows) {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr, nullptr,
                                 nullptr);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ownProc));
    }
    EXPECT_FALSE(manager->attachWindow(&invalid, nullptr) ||
                 manager->attachWindow(nullptr, nullptr));
    LONG_PTR previous = 0;
    ASSERT_TRUE(manager->attachWindow(&windows[0], &previous));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ownProc), previous);
    EXPECT_EQ(windows[0], manager->getWindowHandle());
    g_ownProcCalls = 0;
    EXPECT_EQ(1, SendMessageA(windows[0], WM_CLOSE, 0, 0));
    EXPECT_EQ(0, SendMessageA(windows[0], WM_NULL, 0, 0) + g_ownProcCalls);
    EXPECT_FALSE(manager->attachWindow(&windows[1], &previous) || manager->destroyWindow(0, 0));
    EXPECT_TRUE(IsWindow(windows[0]));
    EXPECT_EQ(0, manager->setWindowProc(nullptr, ownProc));
}

} // namespace
