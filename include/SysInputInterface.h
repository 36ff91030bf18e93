// The system input service: window messages to key events, cursor coordinates and clipping.
#pragma once

#include <windows.h>

// Called with the code it was added for. Key callbacks run on every press of that virtual
// key, auto-repeats included, never on a release; button callbacks are keyed by the button
// message's MK_ flags and run on presses and releases alike.
typedef void (*SysKeyCallback)(int code);
// Called with the key index of every press (keys, buttons, double-clicks, wheel turns).
typedef void (*CaptureCallback)(int keyIndex);

// Reached only by name: static_cast<SysInputInterface*>(
//     NamedInterface::i()->getInterface("SysIn")).
//
// Normalised coordinates run over the game window's client area: x from 0.0 at the left edge
// to 1.0 at the right, y from 0.0 at the bottom to 1.0 at the top (upwards, unlike pixels).
// Screen coordinates are the system's (GetCursorPos). Every conversion reads the window's
// position and size afresh.
//
// Callbacks run synchronously on the window's thread, from inside the window procedure while
// the game pumps its messages. They may call any service; a callback added from inside a
// callback is called for the rest of that same dispatch.
class SysInputInterface {
public:
    // The cursor in the file, or null when it cannot be loaded.
    virtual HCURSOR loadCursorFromFile(const char* fileName) = 0;
    // One past the right edge is toScreenX(1.0); fractions are truncated toward zero.
    virtual int toScreenX(float x) = 0;
    virtual int toScreenY(float y) = 0;
    // The last pixel column maps to 1.0, so these are not exact inverses of the two above.
    virtual float toNormalizedX(int x) = 0;
    virtual float toNormalizedY(int y) = 0;
    // A vertical length in pixels as a fraction of the client height.
    virtual float toNormalizedHeight(int pixels) = 0;
    // Drops the capture callback and registers the wheel message of old mouse drivers.
    virtual bool init() = 0;
    virtual void getCursorPosition(float* x, float* y) = 0;
    virtual bool setCursorPosition(float x, float y) = 0;
    // Confines the cursor to the normalised rectangle and keeps it for applyClipRect. With
    // confinement off, the whole window frees the cursor instead and keeps the old rectangle.
    virtual void setClipRect(float minX, float maxX, float minY, float maxY) = 0;
    // True applies the kept rectangle (or frees the cursor when confinement is off and the
    // rectangle is the whole window); false frees the cursor. ClipCursor's result.
    virtual bool applyClipRect(bool enable) = 0;
    // Control+F11 toggles this; it takes effect at the next setClipRect or applyClipRect.
    virtual void setConfineToWindow(bool confine) = 0;
    // While set, the callback sees every press and the key table's own callbacks stay silent
    // (the table is still updated). Null ends the capture.
    virtual void setCaptureCallback(CaptureCallback callback) = 0;
    virtual CaptureCallback getCaptureCallback() = 0;
    // The system's drag distance as a fraction of the primary screen's width.
    virtual float getDragThreshold() = 0;
    // Adds a callback for a virtual-key code or a set of MK_ button flags; duplicates are
    // kept, and nothing removes a callback again.
    virtual void addKeyCallback(int code, SysKeyCallback callback) = 0;
    // The previous cursor shape.
    virtual HCURSOR setCursor(HCURSOR cursor) = 0;

protected:
    virtual ~SysInputInterface() {}
};
