// The pads a stand-in XInput, winmm and raw-input device list report, changed mid-run.
#pragma once

#include <windows.h>

#include <xinput.h>

struct PadScript {
    bool pluggedPad[4];
    XINPUT_GAMEPAD pads[4];
    XINPUT_VIBRATION motors[4];
    UINT joysticks;
    // A joystick is plugged while its dwSize is set: product 0x028E of its vendor, named
    // "stick VID", four axes from 0 to 65534 and a hat.
    JOYINFOEX positions[16];
    WORD vendors[16];
    const char* devices[4]; // raw-input HID device names, up to the first null
    int calls;              // every pad and joystick read
};
