// Turning the game window's key, button and wheel messages into events on the key table.
#include "input/sys_input_impl.h"

#include "input/input_impl.h"
#include "input/key_table.h"
#include "input/mouse_motion_impl.h"
#include "input/text_input_impl.h"

namespace {

// Where the mouse lands in the key table.
const unsigned leftButtonIndex = VK_LBUTTON;
const unsigned rightButtonIndex = VK_RBUTTON;
const unsigned middleButtonIndex = VK_MBUTTON;
const unsigned leftDoubleClickIndex = 6;
const unsigned rightDoubleClickIndex = 7;
const unsigned middleDoubleClickIndex = 0xF8;
const int wheelAwayIndex = 3;
const int wheelTowardsIndex = 5;
// Beyond the table, so it is never down and never released.
const unsigned noSecondIndex = keyTableSize;

struct TableIndexes {
    unsigned index;
    unsigned second; // the button's double-click entry, released when the button's own is up
};

// The entries of the mouse events, in the order of InputEvent.
const TableIndexes g_mouseIndexes[] = {
    {leftButtonIndex, leftDoubleClickIndex},     // leftButton
    {middleButtonIndex, middleDoubleClickIndex}, // middleButton
    {rightButtonIndex, rightDoubleClickIndex},   // rightButton
    {leftDoubleClickIndex, noSecondIndex},       // leftDoubleClick
    {middleDoubleClickIndex, noSecondIndex},     // middleDoubleClick
    {rightDoubleClickIndex, noSecondIndex},      // rightDoubleClick
};
static_assert(sizeof g_mouseIndexes / sizeof g_mouseIndexes[0] == SysInputImpl::keyEvent,
              "one row per mouse event");

// A key event's entry is its virtual-key code.
TableIndexes tableIndexes(SysInputImpl::InputEvent event, int code) {
    if (event == SysInputImpl::keyEvent)
        return TableIndexes{static_cast<unsigned>(code), noSecondIndex};
    return g_mouseIndexes[event];
}

// The messages that stand for one event each; the wheel is handled on its own.
struct MessageEvent {
    UINT message;
    SysInputImpl::InputEvent event;
    int down;
};

const MessageEvent g_messageEvents[] = {
    {WM_KEYDOWN, SysInputImpl::keyEvent, 1},
    {WM_SYSKEYDOWN, SysInputImpl::keyEvent, 1},
    {WM_KEYUP, SysInputImpl::keyEvent, 0},
    {WM_SYSKEYUP, SysInputImpl::keyEvent, 0},
    {WM_LBUTTONDOWN, SysInputImpl::leftButton, 1},
    {WM_LBUTTONUP, SysInputImpl::leftButton, 0},
    {WM_LBUTTONDBLCLK, SysInputImpl::leftDoubleClick, 1},
    {WM_RBUTTONDOWN, SysInputImpl::rightButton, 1},
    {WM_RBUTTONUP, SysInputImpl::rightButton, 0},
    {WM_RBUTTONDBLCLK, SysInputImpl::rightDoubleClick, 1},
    {WM_MBUTTONDOWN, SysInputImpl::middleButton, 1},
    {WM_MBUTTONUP, SysInputImpl::middleButton, 0},
    {WM_MBUTTONDBLCLK, SysInputImpl::middleDoubleClick, 1},
};

bool isControlDown() {
    return g_inputImpl && g_inputImpl->isKeyDown(VK_CONTROL);
}

} // namespace

// Keys first, so a key's callbacks have run when the text service takes its characters.
void offerWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        const ClientArea& area) {
    if (g_sysInputImpl)
        g_sysInputImpl->handleWindowMessage(message, wParam, area);
    if (g_textInputImpl)
        g_textInputImpl->handleWindowMessage(window, message, wParam, lParam);
    if (g_mouseMotionImpl)
        g_mouseMotionImpl->handleWindowMessage(message, lParam);
}

// Everything else (mouse moves, characters, the X buttons, the old wheel message) produces
// nothing: the mouse position is read when asked, never taken from messages.
void SysInputImpl::handleWindowMessage(UINT message, WPARAM wParam, const ClientArea& area) {
    m_clientArea = area;
    if (message == WM_MOUSEWHEEL) {
        // One press and release per message, however many notches it carries.
        const int wheelIndex =
            GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? wheelTowardsIndex : wheelAwayIndex;
        dispatchInputEvent(keyEvent, 1, wheelIndex);
        dispatchInputEvent(keyEvent, 0, wheelIndex);
        return;
    }
    for (const MessageEvent& entry : g_messageEvents) {
        if (entry.message == message) {
            // A key code beyond the table names no key, so nothing hears it. Checked before
            // the cast, which would fold a 64-bit wParam onto the key of its low bits.
            if (entry.event == keyEvent && wParam >= keyTableSize)
                break;
            dispatchInputEvent(entry.event, entry.down, static_cast<int>(wParam));
            break;
        }
    }
}

void SysInputImpl::dispatchInputEvent(InputEvent event, int down, int code) {
    const TableIndexes indexes = tableIndexes(event, code);
    if (event == keyEvent && down) {
        callKeyCallbacks(code);
        // Control+F11 belongs to the library: it toggles confinement and never reaches the
        // key table or the capture callback.
        if (code == VK_F11 && isControlDown()) {
            toggleConfinement();
            return;
        }
    }
    updateTable(indexes.index, indexes.second, down);
    if (event != keyEvent)
        callKeyCallbacks(code);
}

// Walked by position so that a callback may add callbacks without breaking the walk.
void SysInputImpl::callKeyCallbacks(int code) {
    for (size_t i = 0; i < m_keyCallbacks.size(); ++i) {
        const KeyCallbackEntry entry = m_keyCallbacks[i];
        if (entry.code == code && entry.callback)
            entry.callback(code);
    }
}

void SysInputImpl::toggleConfinement() {
    const bool confine = !m_confineToWindow;
    setConfineToWindow(confine);
    applyClipRect(confine);
}

// Presses and releases that have no table entry (before initialize, or a key code of 256 or
// more) are dropped.
void SysInputImpl::updateTable(unsigned index, unsigned secondIndex, int down) {
    if (!g_inputImpl || !keyEntry(index))
        return;
    const bool notify = m_captureCallback == nullptr;
    if (down) {
        float x = 0.0f;
        float y = 0.0f;
        getCursorPosition(&x, &y);
        g_inputImpl->pressKey(index, x, y, notify);
        if (CaptureCallback capture = m_captureCallback)
            capture(static_cast<int>(index));
        return;
    }
    if (g_inputImpl->isKeyDown(index)) {
        g_inputImpl->releaseKey(index, notify);
        return;
    }
    // The button-up after a double-click finds the button up and releases the double-click.
    if (g_inputImpl->isKeyDown(secondIndex))
        g_inputImpl->releaseKey(secondIndex, notify);
}
