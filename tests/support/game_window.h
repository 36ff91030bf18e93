// A game window made through the window manager and pumped as the game's loop pumps it.
#pragma once

#include "InputInterface.h"
#include "MainInterface.h"
#include "WindowInterface.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

typedef std::vector<LONG> Pixels;

class GameWindowTest : public ::testing::Test {
protected:
    static constexpr const char* gameClass = "GameWindowTest";

    void SetUp() override { ASSERT_TRUE(manager()->registerWindowClass(&m_instance, gameClass)); }
    void TearDown() override {
        manager()->destroyWindow(0, 0);
        pump();
        EXPECT_TRUE(manager()->unregisterWindowClass(&m_instance, gameClass));
    }

    static WindowInterface* manager() { return WindowInterface::i(); }
    static void pump() { MainInterface::i()->pumpMessages(); }
    bool create(int width, int height, int bitDepth, bool fullScreen) {
        return manager()->createWindow(&m_window, &m_instance, "game", 0, width, height, bitDepth,
                                       fullScreen);
    }
    // Posts message and wParam pairs, each dispatched by the game's loop.
    void play(const std::vector<WPARAM>& messages) {
        for (size_t i = 0; i + 1 < messages.size(); i += 2) {
            PostMessageA(m_window, UINT(messages[i]), messages[i + 1], 0);
            pump();
        }
    }

    void* m_instance = GetModuleHandleA(nullptr);
    HWND m_window = nullptr;
};

// Scripts what platform.dll's call of a system function answers, while the patch lives.
template <typename Function>
ImportPatch patchPlatform(const char* dll, const char* name, Function* replacement) {
    return ImportPatch(GetModuleHandleA("platform.dll"), dll, name, replacement);
}

// Rounded to float once, as the library rounds; x87 may otherwise keep excess precision.
inline float asFloat(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}
