// pumpMessages against a real window and the thread's real queue.
#include "MainInterface.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

std::vector<WPARAM> g_dispatched; // WM_APP messages by number, and the characters of WM_CHAR

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP || message == WM_CHAR)
        g_dispatched.push_back(message == WM_CHAR ? wParam : message - WM_APP);
    return DefWindowProcA(window, message, wParam, lParam);
}

class PumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "PumpTestWindow";
        RegisterClassA(&windowClass);
        m_window = CreateWindowExA(0, "PumpTestWindow", "pump", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, m_window);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        g_dispatched.clear();
    }
    void TearDown() override { DestroyWindow(m_window); }

    HWND m_window = nullptr;
};

TEST_F(PumpTest, DispatchesAndTranslatesEverythingQueuedWithoutWaiting) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_TRUE(g_dispatched.empty());

    PostMessageA(m_window, WM_APP + 1, 0, 0);
    PostMessageA(m_window, WM_KEYDOWN, 'A', 1 | MapVirtualKeyA('A', MAPVK_VK_TO_VSC) << 16);
    PostMessageA(m_window, WM_APP + 2, 0, 0);
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    EXPECT_EQ((std::vector<WPARAM>{1, 2, 'a'}), g_dispatched) << "the key's character comes too";
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, m_window, 0, 0, PM_NOREMOVE));
}

TEST_F(PumpTest, StopsAtQuitAndLeavesTheRestQueued) {
    PostMessageA(m_window, WM_APP + 1, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 3, 0);
    PostMessageA(m_window, WM_APP + 2, 0, 0);
    EXPECT_FALSE(MainInterface::i()->pumpMessages());
    EXPECT_EQ(std::vector<WPARAM>{1}, g_dispatched);
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    EXPECT_EQ((std::vector<WPARAM>{1, 2}), g_dispatched);
}

} // namespace
