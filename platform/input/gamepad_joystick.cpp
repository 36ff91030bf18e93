// Joysticks through winmm, and the rule that keeps an XInput pad from showing twice.
#include "input/gamepad_impl.h"

#include "sys/system_library.h"

#include <cstring>

namespace {

// Raw input is XP's, newer than the headers this library is compiled against.
struct DeviceListEntry {
    HANDLE device;
    DWORD type;
};
const DWORD rawInputHid = 2;
const UINT deviceNameCommand = 0x20000007;
// More HID devices than this and the list call fails; then no joystick counts as XInput's.
const UINT listedDevices = 64;

// The value of the four hex digits after key in name (upper case), or -1.
int hexAfter(const char* name, const char* key) {
    const char* digits = std::strstr(name, key);
    if (!digits)
        return -1;
    digits += std::strlen(key);
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = digits[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// A hat in hundredths of a degree clockwise from up; diagonals press two directions.
unsigned hatButtons(DWORD angle) {
    if (angle >= 36000)
        return 0;
    unsigned buttons = 0;
    if (angle > 27000 || angle < 9000)
        buttons |= GamepadInterface::dpadUp;
    if (angle > 0 && angle < 18000)
        buttons |= GamepadInterface::dpadRight;
    if (angle > 9000 && angle < 27000)
        buttons |= GamepadInterface::dpadDown;
    if (angle > 18000)
        buttons |= GamepadInterface::dpadLeft;
    return buttons;
}

} // namespace

void GamepadImpl::bindJoysticks() {
    m_winmm = loadSystemLibrary("winmm.dll");
    m_joyCount = boundCall<JoyGetNumDevsCall>(m_winmm, "joyGetNumDevs");
    m_joyCaps = boundCall<JoyGetDevCapsCall>(m_winmm, "joyGetDevCapsA");
    m_joyPosition = boundCall<JoyGetPosExCall>(m_winmm, "joyGetPosEx");
    if (!m_joyCount || !m_joyCaps || !m_joyPosition)
        m_joyCount = nullptr, m_joyCaps = nullptr, m_joyPosition = nullptr;
    // The device list only tells XInput pads apart, so it is wanted only beside XInput.
    if (!m_getState)
        return;
    m_user32 = loadSystemLibrary("user32.dll");
    m_deviceList = boundCall<DeviceListCall>(m_user32, "GetRawInputDeviceList");
    m_deviceInfo = boundCall<DeviceInfoCall>(m_user32, "GetRawInputDeviceInfoA");
}

// A plugged joystick that is not an XInput pad takes a free slot.
void GamepadImpl::probeJoystick(int id) {
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    JOYCAPSA caps = {};
    const int pad = freeSlot();
    if (pad < 0 || m_joyPosition(UINT(id), &info) != JOYERR_NOERROR ||
        m_joyCaps(UINT(id), &caps, sizeof caps) != JOYERR_NOERROR)
        return;
    if (m_getState && isXInputDevice(caps.wMid, caps.wPid))
        return;
    Slot& slot = m_slots[pad];
    const UINT ranges[4][2] = {{caps.wXmin, caps.wXmax},
                               {caps.wYmin, caps.wYmax},
                               {caps.wZmin, caps.wZmax},
                               {caps.wRmin, caps.wRmax}};
    const bool present[4] = {true, true, (caps.wCaps & JOYCAPS_HASZ) != 0,
                             (caps.wCaps & JOYCAPS_HASR) != 0};
    for (int axis = 0; axis < 4; ++axis) {
        slot.caps.min[axis] = ranges[axis][0];
        slot.caps.max[axis] = ranges[axis][1];
        slot.caps.present[axis] = present[axis];
    }
    slot.caps.hat = (caps.wCaps & JOYCAPS_HASPOV) != 0;
    std::strncpy(slot.state.name, caps.szPname, sizeof slot.state.name - 1);
    fillJoystick(slot.state, slot.caps, info);
    connect(pad, joystick, id);
}

bool GamepadImpl::readJoystick(Slot& slot) {
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    if (m_joyPosition(UINT(slot.device), &info) != JOYERR_NOERROR)
        return false;
    fillJoystick(slot.state, slot.caps, info);
    return true;
}

// Buttons 1 to 10 in the order of the Button bits; y and r grow downwards in winmm.
void GamepadImpl::fillJoystick(GamepadState& state, const JoystickCaps& caps,
                               const JOYINFOEX& info) const {
    state.buttons = info.dwButtons & 0x3FF;
    if (caps.hat)
        state.buttons |= hatButtons(info.dwPOV);
    const DWORD positions[4] = {info.dwXpos, info.dwYpos, info.dwZpos, info.dwRpos};
    const int direction[4] = {1, -1, 1, -1};
    for (int axis = 0; axis < 4; ++axis) {
        const int units =
            caps.present[axis] ? joystickUnits(positions[axis], caps.min[axis], caps.max[axis]) : 0;
        state.axes[axis] = stickAxis(direction[axis] * units, m_deadZoneUnits);
    }
}

// Whether a HID device with these ids is one XInput drives: the system names those with "IG_".
bool GamepadImpl::isXInputDevice(WORD vendor, WORD product) const {
    if (!m_deviceList || !m_deviceInfo)
        return false;
    DeviceListEntry devices[listedDevices];
    UINT count = listedDevices;
    const UINT listed = m_deviceList(devices, &count, sizeof devices[0]);
    if (listed > listedDevices)
        return false;
    for (UINT i = 0; i < listed; ++i) {
        char name[256];
        UINT size = sizeof name;
        if (devices[i].type != rawInputHid)
            continue;
        const UINT length = m_deviceInfo(devices[i].device, deviceNameCommand, name, &size);
        if (length == 0 || length >= sizeof name)
            continue;
        name[length] = 0;
        for (UINT c = 0; c < length; ++c)
            name[c] = name[c] >= 'a' && name[c] <= 'z' ? char(name[c] - 'a' + 'A') : name[c];
        if (std::strstr(name, "IG_") && hexAfter(name, "VID_") == vendor &&
            hexAfter(name, "PID_") == product)
            return true;
    }
    return false;
}
