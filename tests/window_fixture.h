// A game window made through the window manager, under a class registered for each test.
#pragma once

#include "WindowInterface.h"

#include <gtest/gtest.h>

class GameWindowTest : public ::testing::Test {
protected:
    static constexpr const char* gameClass = "GameWindowTest";

    void SetUp() override { ASSERT_TRUE(manager()->registerWindowClass(&m_instance, gameClass)); }
    void TearDown() override {
        if (IsWindow(m_window))
            manager()->destroyWindow(0, 0);
        pumpQueue();
        EXPECT_TRUE(manager()->unregisterWindowClass(&m_instance, gameClass));
    }

    static WindowInterface* manager() { return WindowInterface::i(); }

    bool create(int width, int height, int bitDepth, bool fullScreen) {
        return manager()->createWindow(&m_window, &m_instance, "game", 0, width, height, bitDepth,
                                       fullScreen);
    }

    // Dispatches what is queued, as the game's loop would.
    static void pumpQueue() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    void* m_instance = GetModuleHandleA(nullptr);
    HWND m_window = nullptr;
};
