// pumpMessages against a real window and the thread's real queue.
#include "MainInterface.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

std::vector<UINT> g_dispatched;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP)
        g_dispatched.push_back(message);
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
        drainQueue();
        g_dispatched.clear();
    }
    void TearDown() override {
        DestroyWindow(m_window);
        drainQueue();
    }

    static void drainQueue() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    HWND m_window = nullptr;
};

TEST_F(PumpTest, AnEmptyQueueReturnsTrueAtOnce) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(200));
    EXPECT_TRUE(g_dispatched.empty());
}

TEST_F(PumpTest, DispatchesEverythingQueuedInOrder) {
    PostMessageA(m_window, WM_APP + 1, 0, 0);
    PostMessageA(m_window, WM_APP + 2, 0, 0);
    SendMessageA(m_window, WM_APP + 3, 0, 0);
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    EXPECT_EQ((std::vector<UINT>{WM_APP + 3, WM_APP + 1, WM_APP + 2}), g_dispatched);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, WM_APP, WM_APP + 10, PM_NOREMOVE));
}

TEST_F(PumpTest, StopsAtQuitAndLeavesTheRestQueued) {
    PostMessageA(m_window, WM_APP + 1, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 3, 0);
    PostMessageA(m_window, WM_APP + 2, 0, 0);
    EXPECT_FALSE(MainInterface::i()->pumpMessages());
    EXPECT_EQ(std::vector<UINT>{WM_APP + 1}, g_dispatched);
    EXPECT_TRUE(MainInterface::i()->pumpMessages());
    EXPECT_EQ((std::vector<UINT>{WM_APP + 1, WM_APP + 2}), g_dispatched);
}

} // namespace
