// The system input service: conversions, the cursor and its clip, and how button, wheel and
// key messages posted to the game window become key events.
#include "input_fixture.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const LONG_PTR pressed = InputInterface::keyPressed;
const LONG_PTR released = InputInterface::keyReleased;

std::vector<int> g_sysCodes;
std::vector<int> g_captured;
ClipCalls g_clipsBeforeCallback;

void recordSysCode(int code) {
    g_sysCodes.push_back(code);
    g_clipsBeforeCallback = g_clipCalls;
}
void recordCapture(int index) {
    g_captured.push_back(index);
}

// A wheel message's wParam: the signed delta in the high word, button flags in the low one.
WPARAM wheel(int delta, WORD flags = 0) {
    return (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16) | flags;
}

class SysInputTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        g_sysCodes.clear();
        g_captured.clear();
        g_clipCalls.clear();
        input()->addGenericKeyCallback(recordKey, nullptr);
    }

    // Key callbacks of the system input service cannot be removed, so each code gets the
    // recorder once per process.
    static void listenFor(int code) {
        static std::set<int> listened;
        if (listened.insert(code).second)
            sysInput()->addKeyCallback(code, recordSysCode);
    }
};

TEST_F(SysInputTest, ConversionsFollowTheMovedWindowWithYUpwards) {
    SysInputInterface* sys = sysInput();
    // X0 + x W and Y0 + H (1 - y) taken exactly, then truncated toward zero: 1.0 lands one
    // past the right edge, and the floats 0.7 and 0.3, a little off, land a pixel short.
    const struct {
        float at;
        int x;
        int y;
    } toPixels[] = {
        {0.0f, 100, 530}, {1.0f, 740, 50}, {-0.16f, -2, 606}, {0.7f, 547, 194}, {0.3f, 292, 385},
    };
    for (const auto& row : toPixels) {
        EXPECT_EQ(row.x, sys->toScreenX(row.at)) << row.at;
        EXPECT_EQ(row.y, sys->toScreenY(row.at)) << row.at;
    }
    // Back from pixels the last column and row divide by W - 1 and H - 1, and each result is
    // the exact quotient rounded once to float.
    const struct {
        int pixel;
        double x;
        double y;
    } toNormalized[] = {
        {50, -50.0 / 639, 1.0},  {100, 0.0, 429.0 / 479},  {260, 160.0 / 639, 269.0 / 479},
        {529, 429.0 / 639, 0.0}, {739, 1.0, -210.0 / 479},
    };
    for (const auto& row : toNormalized) {
        EXPECT_EQ(asFloat(row.x), sys->toNormalizedX(row.pixel)) << row.pixel;
        EXPECT_EQ(asFloat(row.y), sys->toNormalizedY(row.pixel)) << row.pixel;
    }
    EXPECT_EQ(asFloat(100.0 / 480), sys->toNormalizedHeight(100));

    ASSERT_TRUE(sys->setCursorPosition(0.25f, 0.75f));
    EXPECT_EQ((Pixels{260, 170}), cursor());
    float x = 0.0f;
    float y = 0.0f;
    sys->getCursorPosition(&x, &y);
    EXPECT_EQ(asFloat(160.0 / 639), x);
    EXPECT_EQ(asFloat(359.0 / 479), y);

    place(0, 0, windowWidth, windowHeight);
    EXPECT_EQ(0, sys->toScreenX(-0.001f));
}

TEST_F(SysInputTest, ClipRectanglesAreKeptWhileConfinementIsOff) {
    SysInputInterface* sys = sysInput();
    const Pixels quarter = {260, 170, 580, 410};
    sys->setClipRect(0.25f, 0.75f, 0.25f, 0.75f);
    EXPECT_EQ(ClipCalls{quarter}, clips());
    sys->setConfineToWindow(false);
    sys->setClipRect(0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(ClipCalls{noClip()}, clips());
    sys->setConfineToWindow(true);
    EXPECT_TRUE(sys->applyClipRect(true));
    EXPECT_EQ(ClipCalls{quarter}, clips());
    EXPECT_TRUE(sys->applyClipRect(false));
    EXPECT_EQ(ClipCalls{noClip()}, clips());

    sys->setClipRect(0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(ClipCalls{windowRect()}, clips()) << "confinement on: the whole window still clips";
    sys->setConfineToWindow(false);
    EXPECT_TRUE(sys->applyClipRect(true));
    EXPECT_EQ(ClipCalls{noClip()}, clips());
}

TEST_F(SysInputTest, ADoubleClickReleasesTheDoubleClickEntryOnTheFollowingButtonUp) {
    send(WM_LBUTTONDOWN, MK_LBUTTON);
    send(WM_LBUTTONUP, 0);
    send(WM_LBUTTONDBLCLK, MK_LBUTTON);
    EXPECT_TRUE(input()->isKeyDown(6));
    send(WM_LBUTTONUP, 0);
    send(WM_RBUTTONDBLCLK, MK_RBUTTON);
    send(WM_RBUTTONUP, 0);
    send(WM_MBUTTONDOWN, MK_MBUTTON);
    send(WM_MBUTTONUP, 0);
    send(WM_MBUTTONUP, 0); // nothing is down any more: no report
    EXPECT_EQ(pressedAndReleased({1, 6, 7, 4}), g_keyReports);
}

TEST_F(SysInputTest, EachWheelMessageIsOnePressAndReleaseWhateverItsSize) {
    send(WM_MOUSEWHEEL, wheel(-3 * WHEEL_DELTA));
    send(WM_MOUSEWHEEL, wheel(0));
    send(WM_MOUSEWHEEL, wheel(WHEEL_DELTA, MK_SHIFT));
    EXPECT_EQ(pressedAndReleased({5, 3, 3}), g_keyReports);
}

TEST_F(SysInputTest, ButtonCallbacksAreKeyedByTheMessageFlagsAndRunOnPressAndRelease) {
    const int flags = MK_LBUTTON | MK_CONTROL;
    const int keyB = 'B';
    listenFor(flags);
    listenFor(keyB);
    send(WM_LBUTTONDOWN, flags);
    send(WM_LBUTTONUP, flags);
    send(WM_RBUTTONDOWN, MK_RBUTTON);
    send(WM_KEYDOWN, keyB);
    send(WM_KEYDOWN, keyB);
    send(WM_KEYUP, keyB);
    EXPECT_EQ((std::vector<int>{flags, flags, keyB, keyB}), g_sysCodes) << "keys: presses only";
}

TEST_F(SysInputTest, ACaptureCallbackSeesPressesWhileTheTableStaysSilent) {
    sysInput()->setCaptureCallback(recordCapture);
    send(WM_KEYDOWN, 'A');
    EXPECT_TRUE(input()->isKeyDown('A'));
    send(WM_KEYUP, 'A');
    EXPECT_FALSE(input()->isKeyDown('A'));
    send(WM_RBUTTONDOWN, MK_RBUTTON);
    EXPECT_EQ((std::vector<int>{'A', VK_RBUTTON}), g_captured);
    EXPECT_TRUE(g_keyReports.empty());

    EXPECT_TRUE(sysInput()->init());
    EXPECT_EQ(nullptr, sysInput()->getCaptureCallback());
    send(WM_RBUTTONUP, 0);
    EXPECT_EQ((KeyReports{{VK_RBUTTON, released, 0}}), g_keyReports);
}

TEST_F(SysInputTest, ControlF11TogglesConfinementWithoutTouchingTheTable) {
    listenFor(VK_F11);
    send(WM_KEYDOWN, VK_CONTROL);
    send(WM_KEYDOWN, VK_F11);
    EXPECT_EQ(std::vector<int>{VK_F11}, g_sysCodes);
    EXPECT_EQ(ClipCalls{}, g_clipsBeforeCallback) << "callbacks run before the toggle";
    EXPECT_EQ(ClipCalls{noClip()}, clips());
    send(WM_KEYDOWN, VK_F11); // auto-repeat toggles again
    EXPECT_EQ(ClipCalls{windowRect()}, clips());
    send(WM_KEYUP, VK_F11);
    EXPECT_EQ((KeyReports{{VK_CONTROL, pressed, 0}}), g_keyReports);

    send(WM_KEYUP, VK_CONTROL);
    send(WM_KEYDOWN, VK_F11);
    EXPECT_TRUE(input()->isKeyDown(VK_F11)) << "F11 alone is an ordinary key";
    EXPECT_EQ(ClipCalls{}, clips());
    EXPECT_EQ(3u, g_sysCodes.size());
}

} // namespace
