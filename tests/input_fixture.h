// A 640 x 480 game window moved to (100, 50) with the input service initialised, and the
// recorder that the input tests' key callbacks write to.
#pragma once

#include "InputInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "SysInputInterface.h"
#include "window_fixture.h"

#include <initializer_list>
#include <vector>

// Key reports as (key, event, user value), compared and printed as plain numbers.
typedef std::vector<std::vector<LONG_PTR>> KeyReports;
inline KeyReports g_keyReports;

inline void recordKey(unsigned key, int event, void* userData) {
    g_keyReports.push_back({LONG_PTR(key), event, reinterpret_cast<LONG_PTR>(userData)});
}
inline void recordKeyToo(unsigned key, int event, void* userData) {
    recordKey(key, event, userData);
}

// Each key pressed and released in turn, as a callback with no user value hears it.
inline KeyReports pressedAndReleased(std::initializer_list<unsigned> keys) {
    KeyReports reports;
    for (unsigned key : keys) {
        reports.push_back({LONG_PTR(key), InputInterface::keyPressed, 0});
        reports.push_back({LONG_PTR(key), InputInterface::keyReleased, 0});
    }
    return reports;
}

typedef std::vector<LONG> Pixels;

class InputTest : public GameWindowTest {
protected:
    static const int windowX = 100;
    static const int windowY = 50;
    static const int windowWidth = 640;
    static const int windowHeight = 480;

    void SetUp() override {
        GameWindowTest::SetUp();
        ASSERT_TRUE(create(windowWidth, windowHeight, 32, false));
        place(windowX, windowY, windowWidth, windowHeight);
        ASSERT_TRUE(input()->initialize());
        g_keyReports.clear();
    }
    void TearDown() override {
        for (int pair = 0; pair < 4; ++pair) {
            input()->removeGenericKeyCallback(recordKey);
            input()->removeGenericKeyCallback(recordKeyToo);
        }
        sysInput()->setCaptureCallback(nullptr);
        sysInput()->setConfineToWindow(true);
        input()->shutdown();
        GameWindowTest::TearDown();
    }

    static InputInterface* input() { return InputInterface::i(); }
    // The game reaches the system input service by name only.
    static SysInputInterface* sysInput() {
        return static_cast<SysInputInterface*>(NamedInterface::i()->getInterface("SysIn"));
    }

    // Really moves and sizes the window; the window procedure sees the move at once.
    void place(int x, int y, int width, int height) {
        SetWindowPos(m_window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        pump();
    }
    // Posts the message and lets the game's loop dispatch it.
    void send(UINT message, WPARAM wParam) {
        PostMessageA(m_window, message, wParam, 0);
        pump();
    }
    static void pump() { MainInterface::i()->pumpMessages(); }

    static Pixels cursor() {
        POINT point = {};
        GetCursorPos(&point);
        return {point.x, point.y};
    }
    static Pixels clip() {
        RECT rect = {};
        GetClipCursor(&rect);
        return {rect.left, rect.top, rect.right, rect.bottom};
    }
    static Pixels windowRect() {
        return {windowX, windowY, windowX + windowWidth, windowY + windowHeight};
    }
    static Pixels wholeScreen() {
        return {0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }
};
