// The text service's private implementation.
#pragma once

#include "TextInputInterface.h"

#include <windows.h>

#include <imm.h>

class TextInputImpl : public TextInputInterface {
public:
    typedef BOOL(WINAPI* PeekCall)(MSG*, HWND, UINT, UINT, UINT);

    TextInputImpl();

    void startTextInput() override;
    void stopTextInput() override;
    bool isTextInputActive() override;
    void setTextCallback(TextCallback callback, void* userData) override;
    unsigned readText(unsigned* codePoints, unsigned capacity) override;
    bool setTextInputRect(int left, int top, int right, int bottom) override;

    // Every message of the game window, from the input seam.
    void handleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void takeWideCharacters(HWND window);
    void takeWideUnit(unsigned unit);
    void takeCodePageByte(unsigned byte);
    void deliver(unsigned codePoint);
    void dropPartialCharacters();
    void bindInputMethod();
    void keepInputMethod(bool on);
    void noteWindow(HWND window);

    bool m_active;
    TextCallback m_callback;
    void* m_userData;
    unsigned m_queue[queueCapacity];
    unsigned m_queued;
    // Halves of a character that arrive in two messages: a UTF-16 high surrogate, and the lead
    // byte of a double-byte character in the layout's code page; 0 while none is pending.
    unsigned m_highSurrogate;
    unsigned m_leadByte;
    // The keyboard layout's code page, read at the first 8-bit character after a layout
    // change; 0 until then.
    unsigned m_codePage;
    HWND m_window;
    // Bound at each start of text entry; null on the 98 family, where the window's characters
    // are 8-bit, and where the system lacks the wide call.
    PeekCall m_peekWide;
    // The input method context taken from the window while text entry is off.
    HIMC m_parkedContext;
};

// The service's instance pointer, which TextInputInterface::i() returns.
extern TextInputImpl* g_textInputImpl;

// Registered as "TextInput".
bool createTextInputService();
bool destroyTextInputService();
