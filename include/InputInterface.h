// The game's input service: the key table, key callbacks, the mouse and key names.
#pragma once

#include "PlatformExport.h"

// Called with the key code, one of InputInterface's key events and the user value given when
// the callback was set. Callbacks run synchronously on the window's thread, from inside the
// window procedure while the game pumps its messages, after the key table has been updated:
// isKeyDown already answers for this event. They may call any operation of this service,
// including adding or removing callbacks and shutdown: a generic callback added during a
// dispatch is called in that same dispatch, and removing one during a dispatch makes the one
// after it miss that event.
typedef void (*KeyCallback)(unsigned key, int event, void* userData);

// Key codes are virtual-key codes, 0 to 255; the mouse reports on fixed codes: left button 1,
// right 2, middle 4, their double-clicks 6, 7 and 248, the wheel turned away 3 and towards the
// user 5 (a press and a release for each wheel message). Positions are normalised over the
// game window's client area: x from 0 at the left to 1 at the right, y from 0 at the bottom
// to 1 at the top; the window's middle is (0.5, 0.5).
//
// Call everything on the window's thread. initialize before anything else and shutdown before
// the game ends; they alternate. Key operations on a code of 256 or more, or without a key
// table, change nothing and answer false or 0.
class PLAT_API InputInterface {
public:
    enum KeyEvent {
        keyPressed = 0,  // the first down report since the key was released or cleared
        keyReleased = 1, // an up report
        keyRepeated = 2  // a further down report: the system's auto-repeat
    };

    InputInterface();
    InputInterface(const InputInterface&);
    InputInterface& operator=(const InputInterface&);

    // Makes the key table (all keys up), enables the service, confines the cursor to the
    // window and moves it to the middle. False only when the table cannot be allocated.
    virtual bool initialize() = 0;
    // Frees the cursor, disables the service and frees the key table. Generic callbacks still
    // registered stay, with a warning on channel 1.
    virtual bool shutdown() = 0;
    // The cursor's offset from the window's middle (its normalised position less 0.5, rounded
    // to float), then the cursor is put back there. An offset of less than one pixel reads 0.
    // Null pointers are left alone.
    virtual void getMouseDelta(float* dx, float* dy) = 0;
    // The stored position (see setMousePosition and updateMousePosition), not the live one.
    virtual void getMousePosition(float* x, float* y) = 0;
    // Stores the position and moves the cursor there.
    virtual void setMousePosition(float x, float y) = 0;
    // Moves the cursor to the window's middle without changing the stored position.
    virtual void centerMouse() = 0;
    // Stores the cursor's live position.
    virtual void updateMousePosition() = 0;
    // Nested: the first true saves the cursor's position, every true parks it in the middle;
    // the false that matches the first true puts it back. Extra falses do nothing.
    virtual void captureMouse(bool on) = 0;
    virtual bool isMouseCaptured() = 0;
    // The key's own callback, called before the generic ones; replaces an earlier one.
    virtual void setKeyCallback(unsigned key, KeyCallback callback, void* userData) = 0;
    virtual void clearKeyCallback(unsigned key) = 0;
    // Called for every key, in the order added; the same function may be added again.
    virtual void addGenericKeyCallback(KeyCallback callback, void* userData) = 0;
    // Removes the first pair with this function, whatever its user value.
    virtual void removeGenericKeyCallback(KeyCallback callback) = 0;
    virtual bool isKeyDown(unsigned key) = 0;
    // The cursor's position at the key's last down report; (0, 0) before the first one.
    virtual void getKeyPressPosition(unsigned key, float* x, float* y) = 0;
    // Mark the keys up with no presses counted, without calling any callback; the callbacks
    // stay set. The library clears all keys whenever the application is switched to or away.
    virtual void clearAllKeys() = 0;
    virtual void clearKey(unsigned key) = 0;
    // True confines the cursor to the client area (unless Control+F11 switched confinement
    // off); false frees it.
    virtual void confineCursor(bool on) = 0;
    // A flag for the game's own use; returns the previous value.
    virtual bool setEnabled(bool on) = 0;
    virtual bool isEnabled() = 0;
    // The key's name for display ("Num Lock", "A") as UTF-16 in at most length characters,
    // terminator included; a name that does not fit leaves the empty string and still gives
    // true. False, and the buffer untouched, for key 0, a null buffer or a length of 0 or
    // 2048 and more; false with the empty string for a key that has no name.
    virtual bool getKeyName(unsigned key, unsigned short* buffer, unsigned length) = 0;

    // The library's input service, or null outside the library's lifetime.
    static InputInterface* i();

protected:
    virtual ~InputInterface();
};
