// The system input service's private implementation. The interface makes it one class; its
// members are grouped by job: sys_input_impl.cpp (cursor, shapes, callbacks, lifetime),
// cursor_clip.cpp (confinement) and input_messages.cpp (window messages to key events), with the
// coordinate arithmetic in coordinates.cpp.
#pragma once

#include "SysInputInterface.h"

#include "input/window_messages.h"

#include <vector>

class SysInputImpl : public SysInputInterface {
public:
    // What one input message stands for.
    enum InputEvent {
        leftButton,
        middleButton,
        rightButton,
        leftDoubleClick,
        middleDoubleClick,
        rightDoubleClick,
        keyEvent
    };

    SysInputImpl();
    ~SysInputImpl() override;

    HCURSOR loadCursorFromFile(const char* fileName) override;
    int toScreenX(float x) override;
    int toScreenY(float y) override;
    float toNormalizedX(int x) override;
    float toNormalizedY(int y) override;
    float toNormalizedHeight(int pixels) override;
    bool init() override;
    void getCursorPosition(float* x, float* y) override;
    bool setCursorPosition(float x, float y) override;
    void setClipRect(float minX, float maxX, float minY, float maxY) override;
    bool applyClipRect(bool enable) override;
    void setConfineToWindow(bool confine) override;
    void setCaptureCallback(CaptureCallback callback) override;
    CaptureCallback getCaptureCallback() override;
    float getDragThreshold() override;
    void addKeyCallback(int code, SysKeyCallback callback) override;
    HCURSOR setCursor(HCURSOR cursor) override;

    // Every message of the game window, with its client area (see window_messages.h).
    void handleWindowMessage(UINT message, WPARAM wParam, const ClientArea& area);
    // The client area as the window procedure last handed it; all zero before the first message.
    const ClientArea& clientArea() const;
    // One event: down is 1 for a press and 0 for a release; code is the virtual key for key
    // events and the message's MK_ flags for button events.
    void dispatchInputEvent(InputEvent event, int down, int code);

private:
    struct KeyCallbackEntry {
        int code;
        SysKeyCallback callback;
    };

    void callKeyCallbacks(int code);
    void toggleConfinement();
    void updateTable(unsigned index, unsigned secondIndex, int down);
    RECT clipPixels(float minX, float maxX, float minY, float maxY);
    bool clipRectIsFull() const;

    ClientArea m_clientArea;
    std::vector<KeyCallbackEntry> m_keyCallbacks; // in the order added; never removed
    CaptureCallback m_captureCallback;
    UINT m_wheelMessage; // registered by init and otherwise unused
    float m_clipMinX;
    float m_clipMaxX;
    float m_clipMaxY;
    float m_clipMinY;
    // Confine even when the clip rectangle is the whole window; Control+F11 toggles it.
    bool m_confineToWindow;
};

// The service's instance pointer; the input service and offerWindowMessage use it.
extern SysInputImpl* g_sysInputImpl;

// Row 4 of the service table, registered as "SysIn".
bool createSysInputService();
bool destroySysInputService();
