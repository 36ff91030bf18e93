// Gamepads and joysticks: XInput pads where the system has XInput, every other joystick
// through the multimedia joystick calls, each in one of maxPads slots.
#pragma once

#include "PlatformExport.h"

// One pad as the last update saw it. A disconnected slot reads all zero.
struct GamepadState {
    bool connected;
    int source;       // GamepadInterface::Source
    char name[64];    // "XInput pad 1" to "XInput pad 4", or the joystick driver's product name
    unsigned buttons; // GamepadInterface::Button bits held down
    // Left stick x and y, right stick x and y: -1 to 1, right and up positive, 0 inside the
    // dead zone and scaled so the range past it still covers 0 to 1.
    float axes[4];
    float triggers[2]; // left and right, 0 released to 1 fully pulled; 0 where the pad has none
};

// Call everything on the game's main thread; the service starts no thread.
//
// Windows versions: XInput is bound at run time from the system folder (xinput1_4, then
// xinput1_3, then xinput9_1_0); the joystick calls come from winmm, present from Windows 98 SE
// on, bound the same way. An XInput pad is also a joystick to winmm; it is listed once, as an
// XInput pad, by matching winmm's vendor and product ids against the raw-input devices whose
// name marks them as XInput ("IG_"). The raw-input device list is XP's; where it is missing,
// XInput is missing too, and every joystick is kept.
//
// Cost: update reads the connected pads, one system call each; an XInput pad whose state has
// not changed since the last read is not mapped again. Empty XInput slots and winmm
// joystick ids are probed one per update at most, and no more often than every 50 ms, so a new
// pad is seen within about a second and no frame pays for a whole enumeration. Neither update
// nor getState takes heap memory.
class PLAT_API GamepadInterface {
public:
    enum { maxPads = 8 };
    enum Source { none = 0, xinput = 1, joystick = 2 };
    // Joystick buttons 1 to 10 map to a to rightStick in this order; their hat to the pad.
    enum Button {
        a = 1 << 0,
        b = 1 << 1,
        x = 1 << 2,
        y = 1 << 3,
        leftShoulder = 1 << 4,
        rightShoulder = 1 << 5,
        back = 1 << 6,
        start = 1 << 7,
        leftStick = 1 << 8,
        rightStick = 1 << 9,
        dpadUp = 1 << 10,
        dpadDown = 1 << 11,
        dpadLeft = 1 << 12,
        dpadRight = 1 << 13
    };

    // Called from update, once when a pad appears in a slot and once when it goes, after the
    // slot's state changed. It may call getState and setRumble, not initialize or shutdown.
    typedef void (*ConnectionCallback)(int pad, bool connected, void* userData);

    GamepadInterface();
    GamepadInterface(const GamepadInterface&);
    GamepadInterface& operator=(const GamepadInterface&);

    // Binds XInput and the joystick calls; every slot starts empty, and the pads already
    // plugged in are reported as they are found. False when the system has neither. A second
    // call while initialised changes nothing and answers true.
    virtual bool initialize() = 0;
    // Stops any rumble, forgets the pads without reporting them and releases the libraries.
    virtual void shutdown() = 0;
    // Reads the pads; call once per frame. Nothing before initialize.
    virtual void update() = 0;
    // Copies what the last update read; false for a slot out of range or a null pointer.
    virtual bool getState(int pad, GamepadState* state) = 0;

    // The dead zone of every stick axis, a fraction of full deflection in [0, 1) (default
    // 0.24, XInput's own advice for the left stick); false, nothing changed, outside it.
    virtual bool setDeadZone(float fraction) = 0;
    virtual float getDeadZone() = 0;
    // XInput's low- and high-frequency motors at 0 to 1 (clamped). False for an empty slot or
    // a joystick, which winmm cannot shake.
    virtual bool setRumble(int pad, float low, float high) = 0;
    virtual void setConnectionCallback(ConnectionCallback callback, void* userData) = 0;

    // The library's gamepad service, or null outside the library's lifetime.
    static GamepadInterface* i();

protected:
    virtual ~GamepadInterface();
};
