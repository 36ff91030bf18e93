// The input service's private implementation. The interface makes it one class; its members are
// grouped by job: input_impl.cpp (lifetime, enabled flag, confinement), key_events.cpp (key
// state and callbacks), mouse.cpp and key_names.cpp.
#pragma once

#include "InputInterface.h"

#include "input/key_table.h"

#include <vector>

class InputImpl : public InputInterface {
public:
    InputImpl();
    ~InputImpl() override;

    bool initialize() override;
    bool shutdown() override;
    void getMouseDelta(float* dx, float* dy) override;
    void getMousePosition(float* x, float* y) override;
    void setMousePosition(float x, float y) override;
    void centerMouse() override;
    void updateMousePosition() override;
    void captureMouse(bool on) override;
    bool isMouseCaptured() override;
    void setKeyCallback(unsigned key, KeyCallback callback, void* userData) override;
    void clearKeyCallback(unsigned key) override;
    void addGenericKeyCallback(KeyCallback callback, void* userData) override;
    void removeGenericKeyCallback(KeyCallback callback) override;
    bool isKeyDown(unsigned key) override;
    void getKeyPressPosition(unsigned key, float* x, float* y) override;
    void clearAllKeys() override;
    void clearKey(unsigned key) override;
    void confineCursor(bool on) override;
    bool setEnabled(bool on) override;
    bool isEnabled() override;
    bool getKeyName(unsigned key, unsigned short* buffer, unsigned length) override;

    // One press (with the cursor where it was) or release reported by the system input
    // service: the table entry changes, and with notify the key's own callback and then the
    // generic ones hear of it. Codes without an entry are dropped.
    void pressKey(unsigned key, float x, float y, bool notify);
    void releaseKey(unsigned key, bool notify);

private:
    struct GenericCallback {
        void* userData;
        KeyCallback callback;
    };

    void dispatchKeyEvent(KeyState key, int event);

    float m_mouseX;
    float m_mouseY;
    float m_savedX; // where the cursor was when capture began
    float m_savedY;
    int m_captureCount;
    bool m_enabled;
    std::vector<GenericCallback> m_genericCallbacks;
};

// The service's instance pointer, which InputInterface::i() returns.
extern InputImpl* g_inputImpl;

// Row 7 of the service table, registered as "input".
bool createInputService();
bool destroyInputService();
