// Typed text and mouse motion through the real queue: keys and mouse moves injected with
// SendInput, characters posted as the system posts them, and the newer system calls taken
// away by answering null from platform.dll's GetProcAddress.
#include "MouseMotionInterface.h"
#include "TextInputInterface.h"
#include "support/game_window.h"

#include <imm.h>

#include <cstring>

namespace {

std::vector<unsigned> g_heard;
const char* g_missing[] = {"PeekMessageW", "ImmGetContext", "RegisterRawInputDevices"};
FARPROC WINAPI withoutNewerCalls(HMODULE module, LPCSTR name) {
    for (const char* missing : g_missing)
        if (HIWORD(name) && std::strcmp(name, missing) == 0)
            return nullptr;
    return GetProcAddress(module, name);
}
// Reports Windows 98 SE; its double-byte layout is given by the locale's code page below.
const char* g_codePage = "932";
int WINAPI localeCodePage(LCID, LCTYPE, LPSTR text, int size) {
    return lstrcpynA(text, g_codePage, size) ? lstrlenA(g_codePage) + 1 : 0;
}

// Injected events: a virtual key (pressed and released), a UTF-16 unit as KEYEVENTF_UNICODE,
// or any other message posted with its wParam.
enum { key = 0, unit = 1 };
typedef std::vector<std::pair<UINT, WPARAM>> Events;

class TextInputTest : public GameWindowTest {
protected:
    void SetUp() override {
        GameWindowTest::SetUp();
        ASSERT_TRUE(create(640, 480, 32, false));
        SetForegroundWindow(m_window);
        ASSERT_TRUE(InputInterface::i()->initialize());
        text()->setTextCallback([](unsigned c, void*) { g_heard.push_back(c); }, nullptr);
        text()->startTextInput();
        pump();
    }
    void TearDown() override {
        text()->stopTextInput();
        motion()->setRawMotion(false);
        InputInterface::i()->shutdown();
        GameWindowTest::TearDown();
    }
    static TextInputInterface* text() { return TextInputInterface::i(); }
    static MouseMotionInterface* motion() { return MouseMotionInterface::i(); }

    void play(const Events& events) {
        for (const auto& event : events) {
            if (event.first > unit) {
                PostMessageA(m_window, event.first, event.second, 0);
                continue;
            }
            INPUT input[2] = {};
            for (int up = 0; up < 2; ++up) {
                input[up].type = INPUT_KEYBOARD;
                input[up].ki.wVk = event.first == key ? WORD(event.second) : 0;
                input[up].ki.wScan = event.first == unit ? WORD(event.second) : 0;
                input[up].ki.dwFlags =
                    (event.first == unit ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
            }
            SendInput(2, input, sizeof(INPUT));
        }
        for (int round = 0; round < 5; ++round, Sleep(10))
            pump();
    }
    // What the callback heard matches the queue; both are then empty.
    std::vector<unsigned> typed() {
        std::vector<unsigned> queued(TextInputInterface::queueCapacity + 1);
        queued.resize(text()->readText(queued.data(), unsigned(queued.size())));
        EXPECT_EQ(g_heard, queued);
        return std::exchange(g_heard, {});
    }
    std::vector<int> moved() {
        int motion[2] = {};
        MouseMotionInterface::i()->readMotion(&motion[0], &motion[1]);
        return {motion[0], motion[1]};
    }
    void moveMouse(int dx, int dy) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi = {dx, dy, 0, MOUSEEVENTF_MOVE, 0, 0};
        SendInput(1, &input, sizeof input);
    }
};

struct Typing {
    Events events;
    std::vector<unsigned> text;
};
const Typing typings[] = {
    {{{key, 'Q'}}, {'q'}},
    {{{unit, 0x416}, {unit, 0xE9}}, {0x416, 0xE9}},
    {{{unit, 0xD83D}, {unit, 0xDE00}, {unit, 0xDE00}, {unit, 0xD83D}, {key, 'X'}}, {0x1F600, 'x'}},
    {{{key, VK_BACK}, {key, VK_RETURN}, {key, VK_TAB}, {key, VK_ESCAPE}}, {}},
    {{{WM_DEADCHAR, 0xB4}, {WM_CHAR, 0xE9}}, {0xE9}},
    {{{0x0109, 0x1F600}, {0x0109, 0xFFFF}, {0x0109, 0x110000}}, {0x1F600}},
};

TEST_F(TextInputTest, CharactersThroughTheLayoutOnlyWhileTextEntryIsOn) {
    InputInterface::i()->setKeyCallback(
        'T', [](unsigned, int, void*) { text()->startTextInput(); }, nullptr);
    text()->stopTextInput();
    play({{key, 'T'}}); // the key that opens the chat line is not in it
    InputInterface::i()->clearKeyCallback('T');
    for (bool on : {true, false}) {
        on ? text()->startTextInput() : text()->stopTextInput();
        for (const Typing& typing : typings) {
            play(typing.events);
            EXPECT_EQ(on ? typing.text : std::vector<unsigned>(), typed())
                << typing.events[0].second;
        }
    }
}

// 98 SE: no wide peek, characters in the layout's code page, a lead byte waiting for its trail.
TEST_F(TextInputTest, NinetyEightConvertsTheLayoutsCodePage) {
    const ImportPatch missing = patchPlatform("kernel32.dll", "GetProcAddress", withoutNewerCalls);
    const ImportPatch locale = patchPlatform("kernel32.dll", "GetLocaleInfoA", localeCodePage);
    text()->startTextInput();
    play({{WM_CHAR, 'a'}, {WM_CHAR, 0x82}, {WM_CHAR, 0xA0}, {WM_CHAR, 0x82A0}, {unit, 0x416}});
    EXPECT_EQ((std::vector<unsigned>{'a', 0x3042, 0x3042, '?'}), typed());
    EXPECT_FALSE(text()->setTextInputRect(10, 20, 110, 40));
    EXPECT_EQ(MouseMotionInterface::recentring, motion()->setRawMotion(true));
}

TEST_F(TextInputTest, QueueHoldsItsCapacityAndTheInputMethodGoesToTheFieldWhileOn) {
    for (unsigned count : {63u, 64u, 65u}) {
        play(Events(count, {WM_CHAR, 'z'}));
        unsigned queued[2 * TextInputInterface::queueCapacity];
        EXPECT_EQ(2u, text()->readText(queued, 2));
        EXPECT_EQ(std::min(count, 64u) - 2, text()->readText(queued, 128)) << count;
        EXPECT_EQ(count, std::exchange(g_heard, {}).size());
    }
    EXPECT_FALSE(text()->setTextInputRect(10, 20, 10, 40));
    ASSERT_TRUE(text()->setTextInputRect(10, 20, 110, 40));
    COMPOSITIONFORM form = {};
    const HIMC context = ImmGetContext(m_window);
    ImmGetCompositionWindow(context, &form);
    ImmReleaseContext(m_window, context);
    text()->stopTextInput(); // the input method is parked away from the game
    EXPECT_EQ(nullptr, ImmGetContext(m_window));
    text()->startTextInput();
    EXPECT_EQ(context, ImmGetContext(m_window));
    EXPECT_EQ((Pixels{10, 20, 110, 40}),
              (Pixels{form.rcArea.left, form.rcArea.top, form.rcArea.right, form.rcArea.bottom}));
}

// Raw counts from WM_INPUT and, without pumping, from the batch read; the recentring delta once raw
// is off.
TEST_F(TextInputTest, RawMotionAndTheRecentringDelta) {
    ASSERT_EQ(MouseMotionInterface::raw, motion()->setRawMotion(true));
    // Moves of at most 6 counts: Wine applies the system's acceleration to injected motion,
    // raw reports included, and doubles anything larger.
    moveMouse(5, -3);
    play({});
    EXPECT_EQ((std::vector<int>{5, 3}), moved());
    moveMouse(2, 4);
    EXPECT_EQ((std::vector<int>{2, -4}), moved());
    EXPECT_EQ(MouseMotionInterface::recentring, motion()->setRawMotion(false));
    moved();
    POINT middle = {};
    GetCursorPos(&middle);
    SetCursorPos(middle.x + 5, middle.y - 4);
    EXPECT_EQ((std::vector<int>{5, 4}), moved());
    EXPECT_EQ((std::vector<int>{0, 0}), moved());
}

} // namespace
