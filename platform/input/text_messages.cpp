// Characters out of the game window's messages: UTF-16 on the NT family, the keyboard layout's
// code page on the 98 family, with surrogate pairs and double-byte characters joined.
#include "input/text_input_impl.h"

#include <cstdlib>

namespace {

const unsigned highSurrogates = 0xD800;
const unsigned lowSurrogates = 0xDC00;
const unsigned surrogatesEnd = 0xE000;
const unsigned lastCodePoint = 0x10FFFF;
// WM_UNICHAR: one code point in UTF-32, sent by some input methods and remote tools. Its
// header declaration is XP's; the message is plain data on any system.
const UINT unicodeCharMessage = 0x0109;
// UNICODE_NOCHAR: the sender asks whether the window takes WM_UNICHAR. The default procedure
// answers no, so the sender goes on with WM_CHAR.
const WPARAM noCharacter = 0xFFFF;

// C0, DEL and C1: Backspace, Tab, Enter, Escape and Control+letter are keys, not text.
bool isControl(unsigned codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}

bool isSurrogate(unsigned unit) {
    return unit >= highSurrogates && unit < surrogatesEnd;
}

// The ANSI code page of the keyboard layout's language, in which the 98 family's window gets
// its characters; the system's own where the locale names none.
unsigned layoutCodePage() {
    const LANGID language = LOWORD(reinterpret_cast<ULONG_PTR>(GetKeyboardLayout(0)));
    char digits[8] = {};
    if (!GetLocaleInfoA(MAKELCID(language, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, digits,
                        sizeof digits))
        return CP_ACP;
    const int codePage = std::atoi(digits);
    return codePage > 0 ? unsigned(codePage) : CP_ACP;
}

} // namespace

// The window procedure is ANSI, so WM_CHAR reaches it as 8-bit characters whatever the
// system. On the NT family those are converted down from UTF-16 when the game's loop takes them
// from the queue, and what the code page lacks is lost; so a key press takes the characters
// TranslateMessage just queued for it, still in UTF-16, before the loop gets them.
void TextInputImpl::handleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    noteWindow(window);
    switch (message) {
    case WM_INPUTLANGCHANGE:
        m_codePage = 0;
        m_leadByte = 0;
        return;
    case WM_SETFOCUS:
        keepInputMethod(m_active);
        return;
    default:
        break;
    }
    if (!m_active)
        return;
    switch (message) {
    case WM_KEYDOWN:
        takeWideCharacters(window);
        return;
    case WM_CHAR:
        // A double-byte character posted whole carries its lead byte in the high byte.
        if (wParam > 0xFF)
            takeCodePageByte(unsigned(wParam >> 8) & 0xFF);
        takeCodePageByte(unsigned(wParam) & 0xFF);
        return;
    case unicodeCharMessage:
        if (wParam != noCharacter && wParam <= lastCodePoint && !isSurrogate(unsigned(wParam)) &&
            !isControl(unsigned(wParam)))
            deliver(unsigned(wParam));
        return;
    default:
        return;
    }
}

void TextInputImpl::takeWideCharacters(HWND window) {
    if (!m_peekWide)
        return;
    MSG queued;
    while (m_peekWide(&queued, window, WM_CHAR, WM_CHAR, PM_REMOVE))
        takeWideUnit(unsigned(queued.wParam) & 0xFFFF);
}

// A high surrogate waits for its low half; either half alone is no character.
void TextInputImpl::takeWideUnit(unsigned unit) {
    if (unit >= highSurrogates && unit < lowSurrogates) {
        m_highSurrogate = unit;
        return;
    }
    const unsigned high = m_highSurrogate;
    m_highSurrogate = 0;
    if (unit >= lowSurrogates && unit < surrogatesEnd) {
        if (high)
            deliver(0x10000 + ((high - highSurrogates) << 10) + (unit - lowSurrogates));
        return;
    }
    if (!isControl(unit))
        deliver(unit);
}

// A lead byte waits for its trail byte, then the pair converts as one character.
void TextInputImpl::takeCodePageByte(unsigned byte) {
    if (!m_codePage)
        m_codePage = layoutCodePage();
    char bytes[2] = {char(byte), 0};
    int length = 1;
    if (m_leadByte) {
        bytes[0] = char(m_leadByte);
        bytes[1] = char(byte);
        length = 2;
        m_leadByte = 0;
    } else if (IsDBCSLeadByteEx(m_codePage, BYTE(byte))) {
        m_leadByte = byte;
        return;
    }
    WCHAR wide[2];
    const int count = MultiByteToWideChar(m_codePage, 0, bytes, length, wide, 2);
    for (int i = 0; i < count; ++i)
        takeWideUnit(wide[i]);
}
