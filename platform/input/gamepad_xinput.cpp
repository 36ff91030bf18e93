// XInput pads: binding the newest XInput the system has, reading a pad, its motors.
#include "input/gamepad_impl.h"

#include "registry/float_rounding.h"
#include "sys/system_library.h"

namespace {

// The newest first: 1.4 (Windows 8) has no redistributable; 1.3 came with DirectX; 9.1.0 is
// in every Vista and later and lacks only what this service does not use.
const char* const xinputLibraries[] = {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"};

struct ButtonBit {
    WORD xinput;
    unsigned button;
};
const ButtonBit xinputButtons[] = {
    {XINPUT_GAMEPAD_A, GamepadInterface::a},
    {XINPUT_GAMEPAD_B, GamepadInterface::b},
    {XINPUT_GAMEPAD_X, GamepadInterface::x},
    {XINPUT_GAMEPAD_Y, GamepadInterface::y},
    {XINPUT_GAMEPAD_LEFT_SHOULDER, GamepadInterface::leftShoulder},
    {XINPUT_GAMEPAD_RIGHT_SHOULDER, GamepadInterface::rightShoulder},
    {XINPUT_GAMEPAD_BACK, GamepadInterface::back},
    {XINPUT_GAMEPAD_START, GamepadInterface::start},
    {XINPUT_GAMEPAD_LEFT_THUMB, GamepadInterface::leftStick},
    {XINPUT_GAMEPAD_RIGHT_THUMB, GamepadInterface::rightStick},
    {XINPUT_GAMEPAD_DPAD_UP, GamepadInterface::dpadUp},
    {XINPUT_GAMEPAD_DPAD_DOWN, GamepadInterface::dpadDown},
    {XINPUT_GAMEPAD_DPAD_LEFT, GamepadInterface::dpadLeft},
    {XINPUT_GAMEPAD_DPAD_RIGHT, GamepadInterface::dpadRight},
};

// A motor speed from 0 to 1 as XInput's 0 to 65535; the product is exact in double.
WORD motorSpeed(float speed) {
    if (!(speed > 0.0f))
        return 0;
    if (speed >= 1.0f)
        return 65535;
    return WORD(double(speed) * 65535 + 0.5);
}

} // namespace

void GamepadImpl::bindXInput() {
    for (const char* name : xinputLibraries) {
        m_xinput = loadSystemLibrary(name);
        m_getState = boundCall<XInputGetStateCall>(m_xinput, "XInputGetState");
        if (m_getState)
            break;
        if (m_xinput)
            FreeLibrary(m_xinput);
        m_xinput = nullptr;
    }
    m_setState = boundCall<XInputSetStateCall>(m_xinput, "XInputSetState");
}

void GamepadImpl::probeXInput(int index) {
    XINPUT_STATE read;
    const int pad = freeSlot();
    if (pad < 0 || m_getState(DWORD(index), &read) != ERROR_SUCCESS)
        return;
    GamepadState& state = m_slots[pad].state;
    wsprintfA(state.name, "XInput pad %d", index + 1);
    fillXInput(m_slots[pad], read);
    connect(pad, xinput, index);
}

bool GamepadImpl::readXInput(Slot& slot) {
    XINPUT_STATE read;
    if (m_getState(DWORD(slot.device), &read) != ERROR_SUCCESS)
        return false;
    if (!slot.mapped || read.dwPacketNumber != slot.packet)
        fillXInput(slot, read);
    return true;
}

void GamepadImpl::fillXInput(Slot& slot, const XINPUT_STATE& read) const {
    const XINPUT_GAMEPAD& pad = read.Gamepad;
    GamepadState& state = slot.state;
    slot.packet = read.dwPacketNumber;
    slot.mapped = true;
    state.buttons = 0;
    for (const ButtonBit& bit : xinputButtons) {
        if (pad.wButtons & bit.xinput)
            state.buttons |= bit.button;
    }
    const SHORT sticks[4] = {pad.sThumbLX, pad.sThumbLY, pad.sThumbRX, pad.sThumbRY};
    for (int axis = 0; axis < 4; ++axis)
        state.axes[axis] = stickAxis(sticks[axis], m_deadZoneUnits);
    state.triggers[0] = roundedQuotient(pad.bLeftTrigger, 255);
    state.triggers[1] = roundedQuotient(pad.bRightTrigger, 255);
}

bool GamepadImpl::setRumble(int pad, float low, float high) {
    if (pad < 0 || pad >= maxPads || !m_setState)
        return false;
    const Slot& slot = m_slots[pad];
    if (!slot.state.connected || slot.state.source != xinput)
        return false;
    XINPUT_VIBRATION motors = {motorSpeed(low), motorSpeed(high)};
    return m_setState(DWORD(slot.device), &motors) == ERROR_SUCCESS;
}
