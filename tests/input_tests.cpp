// The input services driven by real messages posted to the game window. Callbacks and the
// ClipCursor requests of platform.dll (some Wines report the whole screen after any clip) go
// into one line of events: "+65" press, "-65" release, "*65" repeat, ":3" the user value,
// "s65" a system callback, "c65" a capture, "[l,t,r,b]" a clip, "[]" a free cursor.
#include "NamedInterface.h"
#include "SysInputInterface.h"
#include "support/game_window.h"
#include "support/records.h"

#include <set>
#include <utility>

namespace {

const unsigned keyA = 'A';
std::string g_events;

void note(const std::string& event) {
    g_events += (g_events.empty() ? "" : " ") + event;
}
BOOL WINAPI recordClip(const RECT* r) {
    note(r ? "[" + std::to_string(r->left) + "," + std::to_string(r->top) + "," +
                 std::to_string(r->right) + "," + std::to_string(r->bottom) + "]"
           : "[]");
    return TRUE;
}
void recordKey(unsigned key, int event, void* user) {
    note("+-*"[event] + std::to_string(key) +
         (user ? ":" + std::to_string(reinterpret_cast<LONG_PTR>(user)) : ""));
}

// A 640 x 480 window at (100, 50), the input service initialised, every key event recorded.
class InputTest : public GameWindowTest {
protected:
    static const int windowX = 100, windowY = 50, windowWidth = 640, windowHeight = 480;

    void SetUp() override {
        GameWindowTest::SetUp();
        ASSERT_TRUE(m_clipPatch.active() && create(windowWidth, windowHeight, 32, false));
        SetWindowPos(m_window, nullptr, windowX, windowY, windowWidth, windowHeight, SWP_NOZORDER);
        pump();
        g_events.clear();
        ASSERT_TRUE(input()->initialize());
        input()->addGenericKeyCallback(recordKey, nullptr);
    }
    // Generic callbacks outlive the key table.
    void TearDown() override {
        for (int pair = 0; pair < 4; ++pair)
            input()->removeGenericKeyCallback(recordKey);
        sysInput()->setCaptureCallback(nullptr);
        sysInput()->setConfineToWindow(true);
        input()->shutdown();
        GameWindowTest::TearDown();
    }

    static InputInterface* input() { return InputInterface::i(); }
    static SysInputInterface* sysInput() {
        return static_cast<SysInputInterface*>(NamedInterface::i()->getInterface("SysIn"));
    }
    static Pixels cursor() {
        POINT point = {};
        GetCursorPos(&point);
        return {point.x, point.y};
    }
    static std::string events() { return std::exchange(g_events, ""); }
    // System key callbacks cannot be removed, so each code gets its recorder once per process.
    static void listenFor(int code) {
        static std::set<int> listened;
        if (listened.insert(code).second)
            sysInput()->addKeyCallback(code, [](int code) { note("s" + std::to_string(code)); });
    }

    const ImportPatch m_clipPatch = patchPlatform("user32.dll", "ClipCursor", recordClip);
};

// Removal takes the first pair with the function; clearing reports nothing. A capture hears
// every press while the table counts silently; init drops it.
TEST_F(InputTest, CallbacksInOrderCaptureAndClearing) {
    input()->setKeyCallback(keyA, recordKey, reinterpret_cast<void*>(3));
    input()->addGenericKeyCallback(recordKey, reinterpret_cast<void*>(2));
    input()->addGenericKeyCallback(recordKey, reinterpret_cast<void*>(4));
    play({WM_KEYDOWN, keyA, WM_KEYDOWN, keyA, WM_KEYUP, keyA});
    input()->clearKeyCallback(keyA);
    input()->removeGenericKeyCallback(recordKey);
    play({WM_KEYDOWN, keyA, WM_KEYDOWN, 0xFF});
    input()->clearKey(keyA);
    play({WM_KEYDOWN, keyA, WM_KEYDOWN, 0xFF});
    input()->clearAllKeys();
    play({WM_KEYDOWN, keyA, WM_KEYDOWN, 0xFF});
    const CaptureCallback capture = [](int key) { note("c" + std::to_string(key)); };
    sysInput()->setCaptureCallback(capture);
    play({WM_KEYUP, keyA, WM_KEYDOWN, keyA, WM_RBUTTONDOWN, MK_RBUTTON});
    sysInput()->setCaptureCallback(nullptr);
    play({WM_KEYDOWN, keyA});
    sysInput()->setCaptureCallback(capture);
    play({WM_KEYUP, keyA});
    EXPECT_TRUE(sysInput()->init());
    play({WM_KEYDOWN, keyA, WM_RBUTTONUP, 0});
    EXPECT_EQ("[100,50,740,530] +65:3 +65 +65:2 +65:4 *65:3 *65 *65:2 *65:4 -65:3 -65 -65:2 "
              "-65:4 +65:2 +65:4 +255:2 +255:4 +65:2 +65:4 *255:2 *255:4 +65:2 +65:4 +255:2 +255:4 "
              "c65 c2 *65:2 *65:4 +65:2 +65:4 -2:2 -2:4",
              events());
}

// A code of 256 or more has no table entry (255 is the last): key operations answer false or 0 and
// key messages reach no callback. A, the entry of its low byte, is watched through A itself.
TEST_F(InputTest, CodesBeyondTheTableChangeNothing) {
    listenFor(keyA);
    listenFor(0x100);
    input()->setKeyCallback(keyA, recordKey, reinterpret_cast<void*>(3));
    play({WM_KEYDOWN, keyA});
    SetCursorPos(windowX, windowY);
    float x = -1.0f, y = -1.0f;
    for (const unsigned code : {0x100u, 0x100 + keyA, 0xFFFFFF00u + keyA}) {
        input()->setKeyCallback(code, recordKey, reinterpret_cast<void*>(9));
        input()->clearKeyCallback(code);
        input()->clearKey(code);
        unsigned short name[64] = {'x', 0};
        input()->getKeyPressPosition(code, &x, &y);
        EXPECT_FALSE(input()->getKeyName(code, name, 64) || input()->isKeyDown(code));
        EXPECT_EQ((std::vector<float>{0, 0, 'x'}), (std::vector<float>{x, y, float(name[0])}));
    }
    // The last is A with the top bit of wParam set, which a cast to 32 bits turns into A.
    sysInput()->setCaptureCallback([](int key) { note("c" + std::to_string(key)); });
    for (const UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP, WM_SYSKEYUP})
        for (const WPARAM code : {WPARAM(0x100), WPARAM(0x100 + keyA), WPARAM(-256 + int(keyA)),
                                  WPARAM(1) << (sizeof(WPARAM) * 8 - 1) | keyA})
            play({message, code});
    sysInput()->setCaptureCallback(nullptr);
    input()->getKeyPressPosition(keyA, &x, &y);
    EXPECT_EQ((std::vector<float>{asFloat(320.0 / 639), asFloat(239.0 / 479)}),
              (std::vector<float>{x, y}));
    play({WM_KEYDOWN, keyA, WM_KEYUP, keyA});
    EXPECT_EQ("[100,50,740,530] s65 +65:3 +65 s65 *65:3 *65 -65:3 -65", events());
}

// Buttons 1, 2, 4, double-clicks 6, 7, 248, the wheel 3 away and 5 towards; the button-up
// after a double-click releases the double-click. System callbacks hear key presses and
// button presses and releases (by MK_ flags); Control+F11 toggles confinement, not the table.
TEST_F(InputTest, ButtonsWheelTurnsAndKeysArePressesAndReleases) {
    const WPARAM leftControl = MK_LBUTTON | MK_CONTROL, away = WPARAM(WHEEL_DELTA) << 16,
                 towards = WPARAM(WORD(-3 * WHEEL_DELTA)) << 16;
    for (const int code : {int(leftControl), int('B'), VK_F11})
        listenFor(code);
    play({WM_LBUTTONDOWN,   leftControl, WM_LBUTTONUP,     MK_CONTROL, WM_LBUTTONDBLCLK, MK_LBUTTON,
          WM_LBUTTONUP,     leftControl, WM_RBUTTONDBLCLK, MK_RBUTTON, WM_RBUTTONUP,     0,
          WM_MBUTTONDBLCLK, MK_MBUTTON,  WM_MBUTTONUP,     0,          WM_MBUTTONDOWN,   MK_MBUTTON,
          WM_MBUTTONUP,     0,           WM_MBUTTONUP,     0,          WM_MOUSEWHEEL,    towards,
          WM_MOUSEWHEEL,    0,           WM_MOUSEWHEEL,    away,       WM_KEYDOWN,       'B',
          WM_KEYDOWN,       'B',         WM_KEYUP,         'B',        WM_KEYDOWN,       VK_CONTROL,
          WM_KEYDOWN,       VK_F11,      WM_KEYDOWN,       VK_F11,     WM_KEYUP,         VK_F11,
          WM_KEYUP,         VK_CONTROL,  WM_KEYDOWN,       VK_F11});
    EXPECT_EQ("[100,50,740,530] +1 s9 -1 +6 -6 s9 +7 -7 +248 -248 +4 -4 +5 -5 +3 -3 +3 -3 s66 +66 "
              "s66 *66 -66 +17 s122 [] s122 [100,50,740,530] -17 s122 +122",
              events());
}

// With confinement off the whole window frees the cursor and the kept rectangle waits. A null
// generic callback is not added; shutdown frees the cursor and warns of those left.
TEST_F(InputTest, InitializeCentresClipsFollowConfinementAndShutdownWarns) {
    EXPECT_EQ((Pixels{windowX + windowWidth / 2, windowY + windowHeight / 2}), cursor());
    SysInputInterface* sys = sysInput();
    EXPECT_FALSE(sys->loadCursorFromFile(nullptr) || sys->loadCursorFromFile(""));
    sys->setClipRect(0.25f, 0.75f, 0.25f, 0.75f);
    sys->setConfineToWindow(false);
    sys->setClipRect(0.0f, 1.0f, 0.0f, 1.0f);
    sys->setConfineToWindow(true);
    EXPECT_TRUE(sys->applyClipRect(true) && sys->applyClipRect(false));
    sys->setClipRect(0.0f, 1.0f, 0.0f, 1.0f);
    sys->setConfineToWindow(false);
    EXPECT_TRUE(sys->applyClipRect(true));
    for (const KeyCallback callback : {recordKey, recordKey, KeyCallback(nullptr)})
        input()->addGenericKeyCallback(callback, nullptr);
    EXPECT_TRUE(input()->shutdown());
    const DbRecord warning = lastRecord();
    EXPECT_EQ(std::to_string(dbRecordWarning) + " 1 3 generic key callbacks not deleted",
              std::to_string(warning.kind) + " " + std::to_string(warning.channel) + " " +
                  warning.text);
    EXPECT_EQ("[100,50,740,530] [260,170,580,410] [] [260,170,580,410] [] [100,50,740,530] [] []",
              events());
}

// Between the capture steps the player moves the cursor; an extra release does nothing. Less
// than a pixel reads as none; in a window two pixels wide each pixel is half the window away.
TEST_F(InputTest, CaptureAndDeltaPutTheCursorBackInTheMiddle) {
    const Pixels middle = {windowX + windowWidth / 2, windowY + windowHeight / 2};
    const Pixels start = {260, 170}, moved = {300, 300};
    SetCursorPos(start[0], start[1]);
    const struct {
        bool on, captured;
        Pixels cursor;
    } steps[] = {{true, true, middle},  {true, true, middle},  {false, true, moved},
                 {false, false, start}, {false, false, moved}, {true, true, middle},
                 {false, false, moved}};
    for (const auto& step : steps) {
        input()->captureMouse(step.on);
        EXPECT_EQ(step.cursor, cursor());
        EXPECT_EQ(step.captured, input()->isMouseCaptured());
        SetCursorPos(moved[0], moved[1]);
    }
    const auto offset = [](double position) { return asFloat(asFloat(position) - 0.5); };
    const struct {
        int width, height, x, y;
        float dx, dy;
    } moves[] = {{800, 600, 400, 300, 0.0f, 0.0f},
                 {800, 600, 398, 297, offset(398.0 / 799), offset(302.0 / 599)},
                 {2, 2, 0, 0, -0.5f, 0.5f}};
    for (const auto& move : moves) {
        SetWindowPos(m_window, nullptr, windowX, windowY, move.width, move.height, SWP_NOZORDER);
        pump();
        SetCursorPos(windowX + move.x, windowY + move.y);
        float dx = -1.0f, dy = -1.0f;
        input()->getMouseDelta(&dx, &dy);
        EXPECT_EQ((std::vector<float>{move.dx, move.dy}), (std::vector<float>{dx, dy}));
        EXPECT_EQ((Pixels{windowX + move.width / 2, windowY + move.height / 2}), cursor());
    }
}

// The word the library builds for the layout's name lookup, seen through its import table.
LONG g_keyWord = 0;
int WINAPI recordKeyWord(LONG word, LPSTR name, int size) {
    g_keyWord = word;
    return lstrcpynA(name, "key", size) ? 3 : 0;
}
UINT WINAPI noScanCode(UINT, UINT) {
    return 0;
}

// Up to 2047 characters, a name that fits with its zero, else an empty one; layouts may map
// Pause and Divide to no scan code: they get the codes their keys send.
TEST(KeyNames, RefuseBadArgumentsAndGivePauseAndDivideTheirScanCodes) {
    InputInterface* input = InputInterface::i();
    unsigned short buffer[2049] = {'x', 0};
    EXPECT_FALSE(input->getKeyName(keyA, nullptr, 64));
    for (const auto& row :
         {std::pair<unsigned, unsigned>{keyA, 2048}, {keyA, 2049}, {0, 64}, {keyA, 0}})
        EXPECT_FALSE(input->getKeyName(row.first, buffer, row.second) || buffer[0] != 'x');
    for (const unsigned length : {1u, 2u, 2047u}) // "A" and its zero need 2
        EXPECT_TRUE(input->getKeyName(keyA, buffer, length) && buffer[0] == "\0A"[length > 1]);
    const ImportPatch names = patchPlatform("user32.dll", "GetKeyNameTextA", recordKeyWord),
                      scanCodes = patchPlatform("user32.dll", "MapVirtualKeyA", noScanCode);
    ASSERT_TRUE(names.active() && scanCodes.active());
    std::vector<LONG> words;
    for (const unsigned key : {VK_PAUSE, VK_DIVIDE, 0x41}) {
        g_keyWord = -1;
        words.push_back(input->getKeyName(key, buffer, 64) ? g_keyWord : 0);
    }
    EXPECT_EQ((std::vector<LONG>{0x450000, 0x1350000, 0}), words);
}

} // namespace
