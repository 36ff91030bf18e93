// The game window: its class, creation, geometry, cursor and full-screen display mode.
#pragma once

#include "PlatformExport.h"

#include <windows.h>

// The one game window of the process. Call everything on the main thread, in this order:
// registerWindowClass, createWindow (or attachWindow for a window of your own), the queries,
// shows and cursor calls while the game loop runs, destroyWindow, unregisterWindowClass.
//
// The window accepts only two kinds of close: WM_COMMAND or WM_CLOSE with wParam 100 or 101.
// Alt+F4, the system menu and the task bar cannot close it, and the screen saver, monitor
// power-down, the window menu and suspend requests are refused while it runs.
//
// A window created full-screen switches the primary display to its mode on creation and on
// every activation, and gives the desktop its own mode back (minimising the window) on
// deactivation and in destroyWindow. A switch that cannot be made leaves the game in a topmost
// window of the requested size, with a warning on channel 'DISP'. Unloading the library does
// not restore the mode: call destroyWindow before the game ends.
class PLAT_API WindowInterface {
public:
    WindowInterface();
    WindowInterface(const WindowInterface&);
    WindowInterface& operator=(const WindowInterface&);

    // Registers the game window class of the module that *instance names (its icon 101, a
    // black background, no cursor of its own). className is kept, not copied: it must outlive
    // the window. False if the system refused or an argument is null.
    virtual bool registerWindowClass(void* const* instance, const char* className) = 0;
    virtual bool unregisterWindowClass(void* const* instance, const char* className) = 0;
    // Creates and shows a borderless width by height window at the top-left corner of the
    // primary screen, switching the display to bitDepth when fullScreen is set (a failed switch
    // still gives true). *window receives the handle, null when creation failed. On Windows 9x
    // with a desktop of 256 colours or fewer it tells the user, creates nothing and gives false.
    virtual bool createWindow(HWND* window, void* const* instance, const char* title, int reserved,
                              int width, int height, int bitDepth, bool fullScreen) = 0;
    // Routes every message of an existing window through the library's window procedure; what
    // that does not handle goes to the default procedure, not to the replaced one.
    // *previousProc, if given, receives the replaced procedure. Only one window can ever be
    // attached: later calls give false, and destroyWindow leaves an attached window alone.
    virtual bool attachWindow(const HWND* window, LONG_PTR* previousProc) = 0;
    // Replaces the window's procedure and returns the previous one (0 on failure).
    virtual LONG_PTR setWindowProc(const HWND* window, WNDPROC procedure) = 0;
    virtual bool showWindow(const HWND* window, bool show) = 0;
    // Restores the desktop's display mode if the window was created full-screen, then
    // destroys the window; false for an attached window, which stays.
    virtual bool destroyWindow(int reserved1, int reserved2) = 0;
    // Makes the cursor visible or hidden whatever the system's display count was before.
    virtual bool showCursor(bool show) = 0;

    // Geometry as of the window's last move, size or display change; 0 before the first.
    // getWindowPosition gives the outer rectangle's top-left corner on the screen; the sizes
    // are the client area's. Null pointers are left alone.
    virtual void getWindowPosition(int* x, int* y) = 0;
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    // The depth given to createWindow, not the desktop's; 0 before a window was created.
    virtual int getBitDepth() = 0;
    // Width over height rounded once to float, the same on every build; 1.0 while the height
    // is 0 (before the first size, or minimised).
    virtual float getAspectRatio() = 0;
    // The game's screen is its window: these give the same values as the four above.
    virtual int getScreenWidth() = 0;
    virtual int getScreenHeight() = 0;
    virtual int getScreenBitDepth() = 0;
    virtual float getScreenAspectRatio() = 0;
    virtual HWND getWindowHandle() = 0;

    // The library's window manager, or null outside the library's lifetime.
    static WindowInterface* i();

protected:
    virtual ~WindowInterface();
};
