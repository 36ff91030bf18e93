// The input service driven by real key and button messages posted to the game window.
#include "input_fixture.h"
#include "support/import_patch.h"
#include "support/records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const unsigned keyA = 'A';
const LONG_PTR pressed = InputInterface::keyPressed;
const LONG_PTR released = InputInterface::keyReleased;
void* const first = reinterpret_cast<void*>(1);
void* const second = reinterpret_cast<void*>(2);
void* const own = reinterpret_cast<void*>(3);

TEST_F(InputTest, KeyCallbackRunsFirstThenGenericOnesInOrderWithTheirOwnValues) {
    input()->setKeyCallback(keyA, recordKey, own);
    input()->addGenericKeyCallback(recordKey, first);
    input()->addGenericKeyCallback(recordKeyToo, second);
    send(WM_KEYDOWN, keyA);
    send(WM_KEYUP, keyA);
    EXPECT_EQ((KeyReports{{keyA, pressed, 3},
                          {keyA, pressed, 1},
                          {keyA, pressed, 2},
                          {keyA, released, 3},
                          {keyA, released, 1},
                          {keyA, released, 2}}),
              g_keyReports);

    g_keyReports.clear();
    input()->clearKeyCallback(keyA);
    input()->removeGenericKeyCallback(recordKeyToo);
    send(WM_KEYDOWN, keyA);
    EXPECT_EQ((KeyReports{{keyA, pressed, 1}}), g_keyReports);
}

TEST_F(InputTest, RemovingAGenericCallbackAddedTwiceRemovesOnlyTheFirst) {
    input()->addGenericKeyCallback(recordKey, first);
    input()->addGenericKeyCallback(recordKeyToo, own);
    input()->addGenericKeyCallback(recordKey, second);
    input()->removeGenericKeyCallback(recordKey);
    send(WM_KEYDOWN, keyA);
    EXPECT_EQ((KeyReports{{keyA, pressed, 3}, {keyA, pressed, 2}}), g_keyReports);
}

TEST_F(InputTest, ClearingReportsNothingAndTheNextDownIsAPressAgain) {
    send(WM_KEYDOWN, keyA);
    send(WM_KEYDOWN, VK_SHIFT);
    input()->addGenericKeyCallback(recordKey, first);
    input()->clearKey(keyA);
    EXPECT_FALSE(input()->isKeyDown(keyA));
    EXPECT_TRUE(input()->isKeyDown(VK_SHIFT));
    input()->clearAllKeys();
    EXPECT_FALSE(input()->isKeyDown(VK_SHIFT));
    EXPECT_TRUE(g_keyReports.empty());
    send(WM_KEYDOWN, keyA);
    EXPECT_EQ((KeyReports{{keyA, pressed, 1}}), g_keyReports);
}

TEST_F(InputTest, EveryActivationChangeClearsAllKeys) {
    for (WPARAM active : {FALSE, TRUE}) {
        send(WM_KEYDOWN, keyA);
        send(WM_LBUTTONDOWN, MK_LBUTTON);
        ASSERT_TRUE(input()->isKeyDown(keyA));
        SendMessageA(m_window, WM_ACTIVATEAPP, active, 0);
        EXPECT_FALSE(input()->isKeyDown(keyA)) << "active " << active;
        EXPECT_FALSE(input()->isKeyDown(VK_LBUTTON)) << "active " << active;
    }
}

TEST_F(InputTest, KeysWithoutATableEntryAreDropped) {
    input()->shutdown();
    send(WM_KEYDOWN, keyA);
    ASSERT_TRUE(input()->initialize());
    EXPECT_FALSE(input()->isKeyDown(keyA)) << "pressed before initialize";
    input()->addGenericKeyCallback(recordKey, first);
    send(WM_KEYDOWN, 0x100 + keyA);
    EXPECT_TRUE(g_keyReports.empty());
    EXPECT_FALSE(input()->isKeyDown(keyA));
    EXPECT_FALSE(input()->isKeyDown(0x100 + keyA));
}

TEST_F(InputTest, InitializeConfinesAndCentresAndShutdownWarnsOfLeftoverCallbacks) {
    EXPECT_EQ(ClipCalls{windowRect()}, clips());
    EXPECT_EQ((Pixels{windowX + windowWidth / 2, windowY + windowHeight / 2}), cursor());
    EXPECT_TRUE(input()->setEnabled(false));
    EXPECT_FALSE(input()->setEnabled(false));

    input()->addGenericKeyCallback(recordKey, first);
    input()->addGenericKeyCallback(recordKey, second);
    EXPECT_TRUE(input()->shutdown());
    DbRecord warning = lastRecord();
    EXPECT_EQ(dbRecordWarning, warning.kind);
    EXPECT_EQ(1u, warning.channel);
    EXPECT_STREQ("2 generic key callbacks not deleted", warning.text);
    EXPECT_EQ(ClipCalls{noClip()}, clips());
}

TEST_F(InputTest, MouseDeltaReadsLessThanOnePixelAsNoneAndRecentres) {
    place(windowX, windowY, 800, 600);
    const Pixels middle = {windowX + 400, windowY + 300};
    // The position as read (the quotient over W - 1 or H - 1 rounded to float) less 0.5,
    // rounded again. Even the middle pixel is a fraction of a pixel off 0.5 and reads as none.
    const auto offset = [](double position) { return asFloat(asFloat(position) - 0.5); };
    const struct {
        int right;
        int up;
        float dx;
        float dy;
    } moves[] = {
        {0, 0, 0.0f, 0.0f},
        {1, 0, offset(401.0 / 799), 0.0f},
        {2, 0, offset(402.0 / 799), 0.0f},
        {-2, 3, offset(398.0 / 799), offset(302.0 / 599)},
    };
    for (const auto& move : moves) {
        SetCursorPos(middle[0] + move.right, middle[1] - move.up);
        float dx = -1.0f;
        float dy = -1.0f;
        input()->getMouseDelta(&dx, &dy);
        EXPECT_EQ(move.dx, dx) << move.right;
        EXPECT_EQ(move.dy, dy) << move.up;
        EXPECT_EQ(middle, cursor());
    }
}

TEST_F(InputTest, NestedCaptureParksTheCursorAndTheLastReleasePutsItBack) {
    const Pixels start = {260, 170};
    const Pixels middle = {windowX + windowWidth / 2, windowY + windowHeight / 2};
    SetCursorPos(start[0], start[1]);
    input()->captureMouse(true);
    SetCursorPos(300, 300);
    input()->captureMouse(true);
    input()->captureMouse(false);
    EXPECT_EQ(middle, cursor());
    EXPECT_TRUE(input()->isMouseCaptured());
    input()->captureMouse(false);
    EXPECT_EQ(start, cursor());
    EXPECT_FALSE(input()->isMouseCaptured());

    input()->captureMouse(false); // one too many: the depth stays 0
    input()->captureMouse(true);
    input()->captureMouse(false);
    EXPECT_FALSE(input()->isMouseCaptured());
}

class KeyNameTest : public ::testing::Test {
protected:
    std::u16string nameOf(unsigned key, unsigned length = 64) {
        m_result = InputInterface::i()->getKeyName(key, m_buffer, length);
        return reinterpret_cast<const char16_t*>(m_buffer);
    }

    unsigned short m_buffer[2048];
    bool m_result = false;
};

TEST_F(KeyNameTest, NamesFitTheBufferWithTheirTerminatorOrComeBackEmpty) {
    EXPECT_EQ(u"A", nameOf(keyA, 2047));
    const std::u16string pause = nameOf(VK_PAUSE);
    ASSERT_FALSE(pause.empty());
    EXPECT_FALSE(nameOf(VK_DIVIDE).empty());
    const unsigned fits = static_cast<unsigned>(pause.size()) + 1;
    EXPECT_EQ(pause, nameOf(VK_PAUSE, fits));
    EXPECT_EQ(u"", nameOf(VK_PAUSE, fits - 1));
    EXPECT_TRUE(m_result);

    EXPECT_EQ(u"", nameOf(0x07)); // a code that no key sends has no scan code
    EXPECT_FALSE(m_result);
    std::memset(m_buffer, 0x7F, sizeof m_buffer);
    EXPECT_FALSE(InputInterface::i()->getKeyName(keyA, m_buffer, 2048));
    EXPECT_FALSE(InputInterface::i()->getKeyName(0, m_buffer, 64));
    EXPECT_FALSE(InputInterface::i()->getKeyName(keyA, m_buffer, 0));
    EXPECT_EQ(0x7F7Fu, m_buffer[0]);
}

// The word the library builds for the layout's name lookup, seen through its import table.
LONG g_keyWord = 0;
UINT WINAPI noScanCode(UINT, UINT) {
    return 0;
}
int WINAPI recordKeyWord(LONG word, LPSTR name, int size) {
    g_keyWord = word;
    return lstrcpynA(name, "key", size) ? 3 : 0;
}

TEST_F(KeyNameTest, ExtendedKeysGetBit24AndPauseAndDivideHaveFixedScanCodes) {
    HMODULE platform = GetModuleHandleA("platform.dll");
    ImportPatch names(platform, "user32.dll", "GetKeyNameTextA",
                      reinterpret_cast<void*>(recordKeyWord));
    ASSERT_TRUE(names.active());
    const LONG extended = 0x1000000;
    for (unsigned key : {VK_LEFT, VK_INSERT, VK_RCONTROL, VK_RMENU, VK_NUMLOCK, VK_APPS}) {
        EXPECT_EQ(u"key", nameOf(key));
        EXPECT_EQ(extended, g_keyWord & ~0xFF0000) << "key " << key;
    }
    for (unsigned key : {keyA, unsigned(VK_NUMPAD8), unsigned(VK_LCONTROL)}) {
        nameOf(key);
        EXPECT_EQ(0, g_keyWord & ~0xFF0000) << "key " << key;
    }

    ImportPatch scanCodes(platform, "user32.dll", "MapVirtualKeyA",
                          reinterpret_cast<void*>(noScanCode));
    ASSERT_TRUE(scanCodes.active());
    nameOf(VK_PAUSE);
    EXPECT_EQ(0x450000, g_keyWord);
    nameOf(VK_DIVIDE);
    EXPECT_EQ(0x350000 | extended, g_keyWord);
    EXPECT_EQ(u"", nameOf(keyA));
    EXPECT_FALSE(m_result);
}

} // namespace
