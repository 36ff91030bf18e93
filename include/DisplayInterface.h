// The displays around the game window: monitors and their modes, the window's three states
// (windowed, full screen on a chosen monitor, borderless full screen), scaled displays and
// clipboard text.
#pragma once

#include "PlatformExport.h"

#include <windows.h>

// One monitor of the desktop. Rectangles are in desktop pixels (real pixels once the process
// is scale-aware); the primary monitor's top-left corner is (0, 0).
struct DisplayMonitor {
    char deviceName[32];    // the display device, such as "\\.\DISPLAY1"
    char friendlyName[128]; // the monitor's own name where the system gives one, else ""
    RECT desktop;
    RECT workArea; // the desktop without the task bar and other docked bars
    bool primary;
};

// A display mode. refresh is in hertz; 0 stands for the driver's default rate, which the
// system reports as 0 or 1.
struct DisplayMode {
    int width;
    int height;
    int bitDepth;
    int refresh;
};

// Call everything on the game's main thread. Monitors and their modes are read at the first
// query and again after each display change, never per frame; a monitor is named by its index
// in that list (the primary monitor need not be index 0).
//
// Windows versions: monitors, modes, full screen on any monitor and clipboard text work from
// Windows 98 SE and 2000 on. Scale awareness binds, at run time and from the system folder, the
// newest of the per-monitor-v2 context (Windows 10 1703), per-monitor awareness (shcore,
// Windows 8.1) and process-wide awareness (Vista); without any of them the system never
// scales, and the process is left as it is. The per-monitor scale needs shcore's
// GetDpiForMonitor (Windows 8.1); elsewhere every monitor reports the desktop's logical pixels.
class PLAT_API DisplayInterface {
public:
    enum WindowState { windowed = 0, fullScreen = 1, borderless = 2 };

    // Called on the main thread, from the game window's message handling, after the monitor
    // list was read again: monitors came or went or the desktop changed mode or layout. It
    // may query this service; it must not destroy the window.
    typedef void (*DisplayChangeCallback)();
    // Called on the main thread when the game window moved to a monitor of another scale,
    // after the window kept its client size in real pixels; scale is the new monitor's.
    typedef void (*ScaleCallback)(HWND window, float scale);

    DisplayInterface();
    DisplayInterface(const DisplayInterface&);
    DisplayInterface& operator=(const DisplayInterface&);

    // The number of monitors; 0 only when the system lists none.
    virtual int getMonitorCount() = 0;
    // Copies monitor index into *monitor; false for an index out of range or a null pointer.
    virtual bool getMonitor(int index, DisplayMonitor* monitor) = 0;
    // The index of the monitor that holds most of the game window, or the primary monitor's
    // when there is no window; -1 when there are no monitors.
    virtual int getWindowMonitor() = 0;
    virtual void setDisplayChangeCallback(DisplayChangeCallback callback) = 0;

    // The monitor's modes without duplicates, by width, then height, colour depth and refresh
    // rate, smallest first. False for a bad index or null pointer.
    virtual int getModeCount(int monitor) = 0;
    virtual bool getMode(int monitor, int index, DisplayMode* mode) = 0;
    virtual bool getCurrentMode(int monitor, DisplayMode* mode) = 0;

    // Puts the window manager's window (created windowed) into a state without recreating it:
    // - windowed: back to the style, place and size it had before it first left that state;
    // - fullScreen: mode (required; refresh 0 lets the driver choose) on monitor's device,
    //   the window a topmost popup covering it; deactivation minimises the window and gives
    //   the monitor its mode back, activation sets the mode again. A mode the device refuses
    //   is traced and the window goes borderless full screen instead, the desktop unchanged;
    // - borderless: a popup covering the monitor at its current mode, no mode change.
    // monitor -1 means the one the window is on; mode is ignored except for fullScreen. Each
    // change gives back any mode the last state set, so leaving a state (or destroying the
    // window) leaves the desktop as it was. False, with nothing changed, for a bad argument, no
    // window, or a window created full screen (the window manager's mode rules stay its own).
    virtual bool setWindowState(WindowState state, int monitor, const DisplayMode* mode) = 0;
    virtual WindowState getWindowState() = 0;

    // The monitor's content scale: 1.0 at 96 logical pixels per inch, 1.5 at 144.
    virtual float getMonitorScale(int monitor) = 0;
    virtual void setScaleCallback(ScaleCallback callback) = 0;
    // Whether PlatWinMain marks the process scale-aware before the game's run starts (default
    // true). A game that wants the system to stretch its window instead calls this with false
    // before PlatWinMain, or is started with the switch -noscaleaware; later calls change
    // nothing already done.
    virtual void setScaleAware(bool aware) = 0;

    // The clipboard's text as UTF-8 with its NUL: returns the bytes it needs and copies it only
    // when size holds them all (nothing is cut); 0 when there is no text or the clipboard is
    // busy. Unicode text on the NT family, the 8-bit text in the system code page on 98/Me.
    virtual unsigned getClipboardText(char* buffer, unsigned size) = 0;
    // Replaces the clipboard's content with UTF-8 text (owned by the game window); false for
    // null or invalid UTF-8, no window, or a busy clipboard. The 98 family cannot tell invalid
    // UTF-8 and drops what it cannot read; characters its code page lacks become the code
    // page's default character.
    virtual bool setClipboardText(const char* text) = 0;

    // The library's display service, or null outside the library's lifetime.
    static DisplayInterface* i();

protected:
    virtual ~DisplayInterface();
};
