// A 640 x 480 game window moved to (100, 50) with the input service initialised, the
// recorder that the input tests' key callbacks write to, and the cursor clips the library
// asks of the system.
#pragma once

#include "InputInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "SysInputInterface.h"
#include "support/import_patch.h"
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
typedef std::vector<Pixels> ClipCalls;

// ClipCursor as the library calls it, each call's rectangle in order, an empty one for a
// release. Some Wines accept a clip and then report the whole screen to GetClipCursor, so the
// tests look at the request itself.
inline ClipCalls g_clipCalls;
inline BOOL WINAPI recordClip(const RECT* rect) {
    g_clipCalls.push_back(rect ? Pixels{rect->left, rect->top, rect->right, rect->bottom}
                               : Pixels{});
    return TRUE;
}

// The value rounded to float once, as the library hands out float results; on x87 a float
// expression may otherwise keep more precision than a float holds.
inline float asFloat(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

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
        g_clipCalls.clear();
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
    // The clips asked for since the last look.
    static ClipCalls clips() {
        ClipCalls calls;
        calls.swap(g_clipCalls);
        return calls;
    }
    static Pixels windowRect() {
        return {windowX, windowY, windowX + windowWidth, windowY + windowHeight};
    }
    static Pixels noClip() { return {}; }

    // platform.dll's import; the white-box program has no DLL and never looks at clips.
    ImportPatch m_clipPatch{GetModuleHandleA("platform.dll"), "user32.dll", "ClipCursor",
                            reinterpret_cast<void*>(recordClip)};
};
