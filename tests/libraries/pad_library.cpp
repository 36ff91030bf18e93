// A stand-in for XInput, winmm's joystick calls and the raw-input device list, answering from
// the script that padScript() hands the test.
#define _USER32_
#define _WINMM_
#include "pad_script.h"

#include <cstring>

namespace {
PadScript g_script;
// As XInput does, a pad's packet number moves on when its state changed since the last read.
XINPUT_GAMEPAD g_lastRead[4];
DWORD g_packets[4];
} // namespace

extern "C" {

__declspec(dllexport) PadScript* padScript() {
    return &g_script;
}

__declspec(dllexport) DWORD WINAPI XInputGetState(DWORD index, XINPUT_STATE* state) {
    ++g_script.calls;
    if (index >= 4 || !g_script.pluggedPad[index])
        return ERROR_DEVICE_NOT_CONNECTED;
    if (std::memcmp(&g_lastRead[index], &g_script.pads[index], sizeof(XINPUT_GAMEPAD)) != 0)
        ++g_packets[index];
    g_lastRead[index] = g_script.pads[index];
    state->dwPacketNumber = g_packets[index];
    state->Gamepad = g_script.pads[index];
    return 0;
}

__declspec(dllexport) DWORD WINAPI XInputSetState(DWORD index, XINPUT_VIBRATION* motors) {
    return index < 4 ? (g_script.motors[index] = *motors, 0) : ERROR_DEVICE_NOT_CONNECTED;
}

__declspec(dllexport) UINT WINAPI joyGetNumDevs() {
    return g_script.joysticks;
}

__declspec(dllexport) MMRESULT WINAPI joyGetPosEx(UINT id, JOYINFOEX* info) {
    ++g_script.calls;
    const bool plugged = id < g_script.joysticks && g_script.positions[id].dwSize;
    return plugged ? (*info = g_script.positions[id], 0) : JOYERR_UNPLUGGED;
}

__declspec(dllexport) MMRESULT WINAPI joyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT) {
    *caps = JOYCAPSA();
    caps->wMid = g_script.vendors[id], caps->wPid = 0x028E;
    wsprintfA(caps->szPname, "stick %04X", g_script.vendors[id]);
    caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = 65534;
    caps->wCaps = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASPOV;
    return JOYERR_NOERROR;
}

// Each device's handle is its index plus one; every one is a HID device.
__declspec(dllexport) UINT WINAPI GetRawInputDeviceList(RAWINPUTDEVICELIST* list, UINT*, UINT) {
    UINT n = 0;
    for (; n < 4 && g_script.devices[n]; ++n)
        list[n] = {HANDLE(UINT_PTR(n + 1)), RIM_TYPEHID};
    return n;
}

__declspec(dllexport) UINT WINAPI GetRawInputDeviceInfoA(HANDLE device, UINT, void* name, UINT*) {
    const char* text = g_script.devices[UINT_PTR(device) - 1];
    return UINT(std::strlen(std::strcpy(static_cast<char*>(name), text)));
}

} // extern "C"
