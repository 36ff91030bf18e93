// The pads a stand-in XInput, winmm and raw-input device list report; the test changes them
// mid-run through padScript().
#pragma once

#include <windows.h>

#include <xinput.h>

struct PadScript {
    bool pluggedPad[4];
    XINPUT_GAMEPAD pads[4];
    XINPUT_VIBRATION motors[4];
    UINT joysticks;
    bool plugged[16];
    JOYINFOEX positions[16];
    JOYCAPSA caps[16];
    const char* devices[4]; // raw-input HID device names, up to the first null
    int calls;              // every pad and joystick read
};
