// The display service's private implementation.
#pragma once

#include "DisplayInterface.h"

#include <vector>

class DisplayImpl : public DisplayInterface {
public:
    DisplayImpl();

    int getMonitorCount() override;
    bool getMonitor(int index, DisplayMonitor* monitor) override;
    int getWindowMonitor() override;
    void setDisplayChangeCallback(DisplayChangeCallback callback) override;
    int getModeCount(int monitor) override;
    bool getMode(int monitor, int index, DisplayMode* mode) override;
    bool getCurrentMode(int monitor, DisplayMode* mode) override;
    bool setWindowState(WindowState state, int monitor, const DisplayMode* mode) override;
    WindowState getWindowState() override;
    float getMonitorScale(int monitor) override;
    void setScaleCallback(ScaleCallback callback) override;
    void setScaleAware(bool aware) override;
    unsigned getClipboardText(char* buffer, unsigned size) override;
    bool setClipboardText(const char* text) override;

    // The game window's messages that concern displays, seen after the window answered them.
    void noteWindowMessage(HWND window, UINT message, WPARAM wParam);
    // Marks the process scale-aware unless the game opted out; PlatWinMain's first step.
    void markScaleAware();

private:
    struct Monitor {
        HMONITOR handle;
        DisplayMonitor info;
        std::vector<DisplayMode> modes;
    };
    // Where a windowed window goes back to.
    struct WindowedPlace {
        LONG_PTR style;
        LONG_PTR exStyle;
        RECT rect;
    };

    // Monitors and modes.
    void listMonitors();
    static std::vector<DisplayMode> listModes(const char* device);
    const Monitor* monitorAt(int index);
    int monitorOf(HMONITOR handle);

    // Window states.
    int chosenMonitor(int monitor);
    bool enterFullScreen(HWND window, int monitor, const DisplayMode& mode);
    void coverMonitor(HWND window, int monitor, bool topmost);
    void restoreMonitorMode();
    void onActivateApp(HWND window, bool active);

    // Scaling. The newer calls' system libraries are loaded at their first use and released
    // with the service; GetDpiForMonitor is bound then too, null where the system lacks it.
    typedef HRESULT(WINAPI* GetDpiCall)(HMONITOR, int, UINT*, UINT*);
    void loadScaleLibraries();
    void onScaleChanged(HWND window, UINT dpi);

    std::vector<Monitor> m_monitors;
    bool m_listed;
    DisplayChangeCallback m_displayChangeCallback;
    ScaleCallback m_scaleCallback;
    bool m_scaleAware;
    bool m_scaleLibrariesLoaded;
    // Loaded once and never freed: the service ends inside the DLL's unload, where FreeLibrary
    // must not be called, and the system releases them with the process.
    HMODULE m_user32;
    HMODULE m_shcore;
    GetDpiCall m_getDpi;
    WindowState m_state;
    int m_stateMonitor;
    DisplayMode m_stateMode;
    WindowedPlace m_windowed;
    // The device whose mode this service changed, "" while none is changed.
    char m_changedDevice[32];
};

// The window manager's window while it exists, else null.
HWND managedWindow();

// The service's instance pointer, which DisplayInterface::i() returns.
extern DisplayImpl* g_displayImpl;

// What the window procedure and PlatWinMain hand the service, if it exists.
void noteDisplayMessage(HWND window, UINT message, WPARAM wParam);
void markProcessScaleAware();

// Row 9 of the service table, registered as "Display".
bool createDisplayService();
bool destroyDisplayService();
