// Typed text: the characters the player types, as Unicode code points, apart from keys.
#pragma once

#include "PlatformExport.h"

// Called with each typed character (a Unicode code point, never a control character) and the
// user value given with the callback. Runs synchronously on the window's thread, from inside
// the window procedure while the game pumps its messages; it may call any operation of this
// service. The character is in the queue already when the callback runs.
typedef void (*TextCallback)(unsigned codePoint, void* userData);

// Text entry is off until the game starts it (for a chat line or a name field, say); while it
// is off no character is queued or called back and the input method is kept away from the
// window. Characters come through the keyboard layout, so AltGr and dead-key compositions give
// their character; a surrogate pair gives one code point above U+FFFF; Backspace, Enter, Tab,
// Escape and the other control characters are not text (read them as keys). On the 98 family
// the window's 8-bit characters are converted from the keyboard layout's code page, double-byte
// characters included; on 2000 and later the characters are read as UTF-16.
//
// Call everything on the window's thread.
class PLAT_API TextInputInterface {
public:
    // Characters the queue holds between two reads; later ones are not queued (the callback
    // still hears them) until the game reads.
    enum { queueCapacity = 64 };

    TextInputInterface();
    TextInputInterface(const TextInputInterface&);
    TextInputInterface& operator=(const TextInputInterface&);

    // Starts text entry with an empty queue and gives the input method back to the window.
    // Characters typed before, also the one of a key whose callback starts text entry, are
    // not text.
    virtual void startTextInput() = 0;
    // Stops text entry, drops what is queued and keeps the input method away from the window.
    virtual void stopTextInput() = 0;
    virtual bool isTextInputActive() = 0;
    // One callback; null removes it. The polled queue works with or without it.
    virtual void setTextCallback(TextCallback callback, void* userData) = 0;
    // Moves up to capacity queued code points, oldest first, into codePoints and returns how
    // many; the rest stay queued. 0 for a null buffer.
    virtual unsigned readText(unsigned* codePoints, unsigned capacity) = 0;
    // Where the input method draws its composition and candidate windows: the text field's
    // rectangle in client pixels of the game window. False where the system has no input
    // method library, there is no game window, or the rectangle is empty.
    virtual bool setTextInputRect(int left, int top, int right, int bottom) = 0;

    // The library's text service, or null outside the library's lifetime.
    static TextInputInterface* i();

protected:
    virtual ~TextInputInterface();
};
