// A stand-in for XInput, winmm's joystick calls and the raw-input device list, driven by the
// script in its own memory.
#define _USER32_
#define _WINMM_
#include "pad_script.h"

#include <cstring>

namespace {
PadScript g_script;
} // namespace

extern "C" {

__declspec(dllexport) PadScript* padScript() {
    return &g_script;
}

__declspec(dllexport) DWORD WINAPI XInputGetState(DWORD index, XINPUT_STATE* state) {
    ++g_script.calls;
    if (index > 3 || !g_script.pluggedPad[index])
        return ERROR_DEVICE_NOT_CONNECTED;
    state->Gamepad = g_script.pads[index];
    return ERROR_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI XInputSetState(DWORD index, XINPUT_VIBRATION* motors) {
    return index > 3 ? ERROR_DEVICE_NOT_CONNECTED : (g_script.motors[index] = *motors, 0);
}

__declspec(dllexport) UINT WINAPI joyGetNumDevs() {
    return g_script.joysticks;
}

__declspec(dllexport) MMRESULT WINAPI joyGetPosEx(UINT id, JOYINFOEX* info) {
    ++g_script.calls;
    if (id >= g_script.joysticks || !g_script.plugged[id])
        return JOYERR_UNPLUGGED;
    *info = g_script.positions[id];
    return JOYERR_NOERROR;
}

__declspec(dllexport) MMRESULT WINAPI joyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size) {
    return id < g_script.joysticks && size == sizeof *caps ? (*caps = g_script.caps[id], 0)
                                                           : MMSYSERR_NODRIVER;
}

// Each device's handle is its index plus one; every one is a HID device.
__declspec(dllexport) UINT WINAPI GetRawInputDeviceList(RAWINPUTDEVICELIST* list, UINT* count,
                                                        UINT size) {
    UINT n = 0;
    while (n < 4 && g_script.devices[n])
        ++n;
    if (n > *count || size != sizeof *list)
        return UINT(-1);
    for (UINT i = 0; i < n; ++i)
        list[i] = {HANDLE(UINT_PTR(i + 1)), RIM_TYPEHID};
    return n;
}

__declspec(dllexport) UINT WINAPI GetRawInputDeviceInfoA(HANDLE device, UINT, void* name,
                                                         UINT* size) {
    const char* text = g_script.devices[UINT_PTR(device) - 1];
    const UINT length = UINT(std::strlen(text)) + 1;
    return length > *size ? UINT(-1) : (std::memcpy(name, text, length), length);
}

} // extern "C"
