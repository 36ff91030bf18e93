// A game window made through the window manager and pumped as the game's loop pumps it; the
// input fixture adds the input service and records the cursor clips the library asks for.
#pragma once

#include "InputInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "SysInputInterface.h"
#include "WindowInterface.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

typedef std::vector<LONG> Pixels;
typedef std::vector<std::string> Events;

class GameWindowTest : public ::testing::Test {
protected:
    static constexpr const char* gameClass = "GameWindowTest";

    void SetUp() override { ASSERT_TRUE(manager()->registerWindowClass(&m_instance, gameClass)); }
    void TearDown() override {
        if (IsWindow(m_window))
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
    // Posts the message and lets the game's loop dispatch it.
    void send(UINT message, WPARAM wParam) {
        PostMessageA(m_window, message, wParam, 0);
        pump();
    }

    void* m_instance = GetModuleHandleA(nullptr);
    HWND m_window = nullptr;
};

// What the input tests observe, in order: callbacks, and each ClipCursor call of platform.dll
// ("clip left top right bottom", "clip free"). Some Wines accept a clip and then report the
// whole screen, so the request itself is recorded.
inline Events g_events;
inline BOOL WINAPI recordClip(const RECT* r) {
    g_events.push_back(r ? "clip " + std::to_string(r->left) + " " + std::to_string(r->top) + " " +
                               std::to_string(r->right) + " " + std::to_string(r->bottom)
                         : "clip free");
    return TRUE;
}

// A 640 x 480 window at (100, 50) with the input service initialised.
class InputTest : public GameWindowTest {
protected:
    static const int windowX = 100, windowY = 50, windowWidth = 640, windowHeight = 480;

    void SetUp() override {
        GameWindowTest::SetUp();
        ASSERT_TRUE(m_clipPatch.active());
        ASSERT_TRUE(create(windowWidth, windowHeight, 32, false));
        place(windowX, windowY, windowWidth, windowHeight);
        g_events.clear();
        ASSERT_TRUE(input()->initialize());
    }
    void TearDown() override {
        sysInput()->setCaptureCallback(nullptr);
        sysInput()->setConfineToWindow(true);
        input()->shutdown();
        GameWindowTest::TearDown();
    }

    static InputInterface* input() { return InputInterface::i(); }
    static SysInputInterface* sysInput() {
        return static_cast<SysInputInterface*>(NamedInterface::i()->getInterface("SysIn"));
    }
    void place(int x, int y, int width, int height) {
        SetWindowPos(m_window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        pump();
    }
    static Pixels cursor() {
        POINT point = {};
        GetCursorPos(&point);
        return {point.x, point.y};
    }
    // What happened since the last look.
    static Events events() {
        Events happened;
        happened.swap(g_events);
        return happened;
    }

    ImportPatch m_clipPatch{GetModuleHandleA("platform.dll"), "user32.dll", "ClipCursor",
                            reinterpret_cast<void*>(recordClip)};
};

// The value rounded to float once, as the library rounds its float results; on x87 a float
// expression may otherwise keep more precision than a float holds.
inline float asFloat(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}
