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

// The key's character is queued behind the quit, with the messages the quit left behind.
TEST(Pump, DispatchesAndTranslatesUpToQuitWithoutWaiting) {
    HWND window = CreateWindowExA(0, "STATIC", "pump", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc));
    MainInterface* main = MainInterface::i();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(main->pumpMessages());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    PostMessageA(window, WM_APP + 1, 0, 0);
    PostMessageA(window, WM_KEYDOWN, 'A', 1 | MapVirtualKeyA('A', MAPVK_VK_TO_VSC) << 16);
    PostMessageA(window, WM_APP + 2, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 3, 0);
    PostMessageA(window, WM_APP + 3, 0, 0);
    EXPECT_FALSE(main->pumpMessages());
    EXPECT_EQ((std::vector<WPARAM>{1, 2}), g_dispatched);
    EXPECT_TRUE(main->pumpMessages());
    EXPECT_EQ((std::vector<WPARAM>{1, 2, 3, 'a'}), g_dispatched);
    DestroyWindow(window);
}

} // namespace
