// The gamepad service's private implementation.
#pragma once

#include "GamepadInterface.h"

#include <windows.h>

#include <mmsystem.h>
#include <xinput.h>

class GamepadImpl : public GamepadInterface {
public:
    GamepadImpl();

    bool initialize() override;
    void shutdown() override;
    void update() override;
    bool getState(int pad, GamepadState* state) override;
    bool setDeadZone(float fraction) override;
    float getDeadZone() override;
    bool setRumble(int pad, float low, float high) override;
    void setConnectionCallback(ConnectionCallback callback, void* userData) override;

private:
    enum { xinputSlots = 4, maxJoysticks = 16 };

    // A joystick's axis ranges and hat, from its capabilities, kept for each read.
    struct JoystickCaps {
        UINT min[4];
        UINT max[4];
        bool present[4]; // x, y, z, r
        bool hat;
    };
    struct Slot {
        GamepadState state;
        int device; // the XInput user index or the joystick id
        JoystickCaps caps;
        // XInput's count of state changes when the state was last mapped; while it stands
        // still, and the dead zone too, the mapped state is still right.
        DWORD packet;
        bool mapped;
    };

    typedef DWORD(WINAPI* XInputGetStateCall)(DWORD, XINPUT_STATE*);
    typedef DWORD(WINAPI* XInputSetStateCall)(DWORD, XINPUT_VIBRATION*);
    typedef UINT(WINAPI* JoyGetNumDevsCall)();
    typedef MMRESULT(WINAPI* JoyGetDevCapsCall)(UINT_PTR, JOYCAPSA*, UINT);
    typedef MMRESULT(WINAPI* JoyGetPosExCall)(UINT, JOYINFOEX*);
    typedef UINT(WINAPI* DeviceListCall)(void*, UINT*, UINT);
    typedef UINT(WINAPI* DeviceInfoCall)(HANDLE, UINT, void*, UINT*);

    // Slots and probing (gamepad_impl.cpp).
    int slotOf(int source, int device) const;
    int freeSlot() const;
    void connect(int pad, int source, int device);
    void disconnect(int pad);
    void probeNext();
    void forgetPads();

    // XInput (gamepad_xinput.cpp).
    void bindXInput();
    void probeXInput(int index);
    bool readXInput(Slot& slot);
    void fillXInput(Slot& slot, const XINPUT_STATE& read) const;

    // Joysticks (gamepad_joystick.cpp).
    void bindJoysticks();
    void probeJoystick(int id);
    bool readJoystick(Slot& slot);
    bool isXInputDevice(WORD vendor, WORD product) const;
    void fillJoystick(GamepadState& state, const JoystickCaps& caps, const JOYINFOEX& info) const;

    Slot m_slots[maxPads];
    bool m_initialized;
    float m_deadZone;
    int m_deadZoneUnits; // the dead zone in stick units of 32767 to full deflection
    ConnectionCallback m_callback;
    void* m_callbackData;
    // Probing: the next XInput index (0 to 3) or joystick id (4 on) to try, and when the last
    // probe was; the first update after initialize probes at once.
    int m_probeCursor;
    int m_joystickCount;
    bool m_probeDue;
    DWORD m_lastProbe;
    // Bound at initialize, released at shutdown; null where the system lacks them.
    HMODULE m_xinput;
    HMODULE m_winmm;
    HMODULE m_user32;
    XInputGetStateCall m_getState;
    XInputSetStateCall m_setState;
    JoyGetNumDevsCall m_joyCount;
    JoyGetDevCapsCall m_joyCaps;
    JoyGetPosExCall m_joyPosition;
    DeviceListCall m_deviceList;
    DeviceInfoCall m_deviceInfo;
};

// A stick axis from -32768 to 32767 as the game sees it: 0 up to deadZone units from the
// middle, then scaled so the rest of the way reads 0 to 1, rounded once to float.
float stickAxis(int raw, int deadZone);
// position within [low, high] in stick units, -32767 to 32767; 0 for an empty range.
int joystickUnits(UINT position, UINT low, UINT high);

// Null when the library or the function is missing.
template <typename Function> Function boundCall(HMODULE module, const char* function) {
    if (!module)
        return nullptr;
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, function)));
}

// The service's instance pointer, which GamepadInterface::i() returns.
extern GamepadImpl* g_gamepadImpl;

// Row 10 of the service table, registered as "Gamepad".
bool createGamepadService();
bool destroyGamepadService();
