// The input viewer. Typed characters come from the text service, never from key messages, so
// AltGr, dead keys and an input method give what the player meant; pads are read once a frame.
#include "demo_viewer.h"

#include "GamepadInterface.h"
#include "InputInterface.h"
#include "MouseMotionInterface.h"
#include "TextInputInterface.h"

#include "demo_input.h"

#include <cstdio>
#include <string>

namespace {

const unsigned lineLength = 48;

struct Seen {
    std::wstring typed; // the last lineLength characters, as UTF-16 for drawing
    std::string typedUtf8;
    int dx = 0, dy = 0;          // this frame's motion
    long totalX = 0, totalY = 0; // since the start
    int padsSeen = 0;
} g_seen;

void appendUtf16(std::wstring& text, unsigned c) {
    if (c >= 0x10000) {
        text += wchar_t(0xD800 + ((c - 0x10000) >> 10));
        text += wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        text += wchar_t(c);
    }
}

void appendUtf8(std::string& text, unsigned c) {
    if (c < 0x80) {
        text += char(c);
        return;
    }
    static const unsigned lead[] = {0, 0xC0, 0xE0, 0xF0};
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    text += char(lead[extra] | (c >> (6 * extra)));
    for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6)
        text += char(0x80 | ((c >> shift) & 0x3F));
}

void onPadConnection(int pad, bool connected, void*) {
    GamepadState state = {};
    GamepadInterface::i()->getState(pad, &state);
    g_seen.padsSeen += connected;
    std::printf("  viewer: pad %d %s%s\n", pad + 1, connected ? "connected: " : "disconnected",
                connected ? state.name : "");
}

std::string keysHeld() {
    std::string held;
    for (unsigned key = 1; key < 256; ++key)
        if (InputInterface::i()->isKeyDown(key))
            held += (held.empty() ? "" : ", ") + keyName(key);
    return held.empty() ? "none" : held;
}

std::string buttonNames(unsigned buttons) {
    static const char* const names[] = {"A",    "B",     "X",  "Y",  "LB",   "RB",   "Back",
                                        "Start", "LS",   "RS", "Up", "Down", "Left", "Right"};
    std::string text;
    for (int bit = 0; bit < 14; ++bit)
        if (buttons & (1u << bit))
            text += std::string(text.empty() ? "" : " ") + names[bit];
    return text.empty() ? "-" : text;
}

void drawText(HDC canvas, int x, int y, const std::string& text) {
    TextOutA(canvas, x, y, text.c_str(), int(text.size()));
}

// A stick as a square with its position as a dot; up is up on screen.
void drawStick(HDC canvas, int x, int y, float sx, float sy) {
    const int half = 18;
    Rectangle(canvas, x, y, x + 2 * half, y + 2 * half);
    const int cx = x + half + int(sx * float(half - 3)), cy = y + half - int(sy * float(half - 3));
    Ellipse(canvas, cx - 3, cy - 3, cx + 4, cy + 4);
}

// A trigger as a bar that fills from the bottom.
void drawTrigger(HDC canvas, int x, int y, float pulled) {
    Rectangle(canvas, x, y, x + 10, y + 36);
    const RECT fill = {x + 1, y + 35 - int(pulled * 34.0f), x + 9, y + 35};
    FillRect(canvas, &fill, HBRUSH(GetStockObject(WHITE_BRUSH)));
}

void drawPad(HDC canvas, int y, int pad, const GamepadState& state) {
    HGDIOBJ pen = SelectObject(canvas, GetStockObject(WHITE_PEN));
    HGDIOBJ brush = SelectObject(canvas, GetStockObject(NULL_BRUSH));
    drawStick(canvas, 24, y, state.axes[0], state.axes[1]);
    drawStick(canvas, 68, y, state.axes[2], state.axes[3]);
    drawTrigger(canvas, 112, y, state.triggers[0]);
    drawTrigger(canvas, 128, y, state.triggers[1]);
    SelectObject(canvas, brush);
    SelectObject(canvas, pen);
    char line[160];
    std::snprintf(line, sizeof line, "Pad %d: %s", pad + 1, state.name);
    drawText(canvas, 152, y, line);
    std::snprintf(line, sizeof line, "sticks %+.2f %+.2f / %+.2f %+.2f  triggers %.2f %.2f",
                  state.axes[0], state.axes[1], state.axes[2], state.axes[3], state.triggers[0],
                  state.triggers[1]);
    drawText(canvas, 152, y + 18, line);
    drawText(canvas, 152, y + 36, "buttons " + buttonNames(state.buttons));
}

// Keys that make no character, held across the middle frame so the screenshot shows them.
void sendHeldKeys(bool up) {
    INPUT input[2] = {};
    const WORD keys[2] = {VK_CONTROL, VK_RIGHT};
    for (int k = 0; k < 2; ++k) {
        input[k].type = INPUT_KEYBOARD;
        input[k].ki.wVk = keys[k];
        input[k].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(2, input, sizeof(INPUT));
}

void sendTypedUnit(wchar_t unit) {
    INPUT input[2] = {};
    for (int up = 0; up < 2; ++up) {
        input[up].type = INPUT_KEYBOARD;
        input[up].ki.wScan = WORD(unit);
        input[up].ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, input, sizeof(INPUT));
}

} // namespace

void startViewer(bool raw) {
    GamepadInterface* pads = GamepadInterface::i();
    pads->setConnectionCallback(onPadConnection, nullptr);
    const bool padsReady = pads->initialize();
    const bool rawGiven = MouseMotionInterface::i()->setRawMotion(raw) == MouseMotionInterface::raw;
    std::printf("  viewer: pads %s, mouse motion %s\n",
                padsReady ? "ready" : "missing on this system", rawGiven ? "raw" : "recentring");
}

void updateViewer() {
    GamepadInterface::i()->update();
    unsigned typed[TextInputInterface::queueCapacity];
    const unsigned count = TextInputInterface::i()->readText(typed, TextInputInterface::queueCapacity);
    for (unsigned n = 0; n < count; ++n) {
        appendUtf16(g_seen.typed, typed[n]);
        appendUtf8(g_seen.typedUtf8, typed[n]);
    }
    if (g_seen.typed.size() > lineLength)
        g_seen.typed.erase(0, g_seen.typed.size() - lineLength);
    MouseMotionInterface::i()->readMotion(&g_seen.dx, &g_seen.dy);
    g_seen.totalX += g_seen.dx;
    g_seen.totalY += g_seen.dy;
}

void drawViewer(HDC canvas, int top) {
    SetBkMode(canvas, TRANSPARENT);
    SetTextColor(canvas, RGB(255, 255, 255));
    const bool raw = MouseMotionInterface::i()->getMode() == MouseMotionInterface::raw;
    char line[160];
    drawText(canvas, 24, top, "INPUT   keys held: " + keysHeld());
    std::snprintf(line, sizeof line, "Mouse (%s): this frame %+d %+d, since the start %+ld %+ld",
                  raw ? "raw" : "recentring", g_seen.dx, g_seen.dy, g_seen.totalX, g_seen.totalY);
    drawText(canvas, 24, top + 20, line);
    const std::wstring typed = L"Typed: " + g_seen.typed + L"_";
    TextOutW(canvas, 24, top + 40, typed.c_str(), int(typed.size()));
    int y = top + 68, shown = 0;
    for (int pad = 0; pad < GamepadInterface::maxPads; ++pad) {
        GamepadState state = {};
        if (GamepadInterface::i()->getState(pad, &state) && state.connected) {
            drawPad(canvas, y, pad, state);
            y += 48;
            ++shown;
        }
    }
    if (shown == 0)
        drawText(canvas, 24, y, "No pad connected");
}

void playScriptedViewer(int frame) {
    static const wchar_t greeting[] = L"Hello, w\u00f6rld!";
    const int first = 27, length = int(sizeof greeting / sizeof greeting[0]) - 1;
    if (frame == first - 1) {
        TextInputInterface::i()->startTextInput();
        std::printf("  viewer: the chat line opened; text entry on\n");
    }
    if (frame >= first && frame < first + length)
        sendTypedUnit(greeting[frame - first]);
    if (frame == 56 || frame == 70)
        sendHeldKeys(frame == 70);
    if (frame >= 50 && frame < 56) {
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dx = 6;
        move.mi.dy = -2;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &move, sizeof move);
    }
}

void stopViewer() {
    std::printf("viewer: typed '%s'; mouse moved %+ld %+ld; %d pad(s) seen\n",
                g_seen.typedUtf8.c_str(), g_seen.totalX, g_seen.totalY, g_seen.padsSeen);
    MouseMotionInterface::i()->setRawMotion(false);
    TextInputInterface::i()->stopTextInput();
    GamepadInterface::i()->shutdown();
    GamepadInterface::i()->setConnectionCallback(nullptr, nullptr);
}
