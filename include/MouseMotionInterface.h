// The mouse's motion each frame: unaccelerated raw counts where the system has raw input, else
// the cursor's offset from the window's middle.
#pragma once

#include "PlatformExport.h"

// Raw input exists from Windows XP on and is bound at run time; on 98 SE and 2000, or when the
// game switches it off, the motion is InputInterface::getMouseDelta's recentring delta. Either
// way readMotion gives x positive to the right and y positive upward; raw motion is in the
// mouse's own counts (no acceleration, not stopped at the screen's edge), recentring motion in
// whole client pixels.
//
// Call everything on the window's thread, after InputInterface::initialize.
class PLAT_API MouseMotionInterface {
public:
    enum Mode { recentring = 0, raw = 1 };

    MouseMotionInterface();
    MouseMotionInterface(const MouseMotionInterface&);
    MouseMotionInterface& operator=(const MouseMotionInterface&);

    // True asks for raw motion for the game window: the cursor is confined and hidden, as for
    // capture. Returns the mode now in force: recentring where raw input is missing or the
    // system refuses it. False goes back to recentring and shows the cursor.
    virtual Mode setRawMotion(bool on) = 0;
    virtual Mode getMode() = 0;
    // The motion since the last read; null pointers are left alone. In raw mode the pending
    // raw input is taken from the queue in batches first, so a high-rate mouse costs one call
    // per batch rather than one message per report.
    virtual void readMotion(int* dx, int* dy) = 0;

    // The library's mouse motion service, or null outside the library's lifetime.
    static MouseMotionInterface* i();

protected:
    virtual ~MouseMotionInterface();
};
