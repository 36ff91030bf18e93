// The game window's three states: windowed, full screen on a chosen monitor, and borderless
// full screen. Mode changes are dynamic (CDS_FULLSCREEN) and made on the chosen device only.
#include "window/display_impl.h"

#include "contracts/diagnostics.h"

namespace {

// 'DISP' as one four-character code, the display warnings' channel.
const unsigned displayChannel = 0x44495350;

const LONG_PTR frameStyles =
    WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

DEVMODEA deviceMode(const DisplayMode& mode) {
    DEVMODEA record = {};
    record.dmSize = sizeof record;
    record.dmPelsWidth = DWORD(mode.width);
    record.dmPelsHeight = DWORD(mode.height);
    record.dmBitsPerPel = DWORD(mode.bitDepth);
    record.dmDisplayFrequency = DWORD(mode.refresh);
    record.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    // Without a rate the driver chooses one.
    if (mode.refresh > 0)
        record.dmFields |= DM_DISPLAYFREQUENCY;
    return record;
}

bool validMode(const DisplayMode* mode) {
    return mode && mode->width > 0 && mode->height > 0 && mode->bitDepth > 0 && mode->refresh >= 0;
}

void place(HWND window, LONG_PTR style, HWND order, const RECT& area) {
    SetWindowLongPtrA(window, GWL_STYLE, style);
    SetWindowPos(window, order, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

} // namespace

int DisplayImpl::chosenMonitor(int monitor) {
    if (monitor == -1)
        return getWindowMonitor();
    return monitorAt(monitor) ? monitor : -1;
}

// Every switch first gives back the mode the last state set, so that each state starts from
// the desktop as the player had it.
bool DisplayImpl::setWindowState(WindowState state, int monitor, const DisplayMode* mode) {
    HWND window = managedWindow();
    const int chosen = chosenMonitor(monitor);
    if (!window || chosen < 0 || state < windowed || state > borderless ||
        (state == fullScreen && !validMode(mode)))
        return false;
    if (m_state == windowed) {
        const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
        // A window the window manager made full screen is topmost from its creation, and its
        // mode belongs to the window manager's activation rules.
        if (exStyle & WS_EX_TOPMOST)
            return false;
        if (state == windowed)
            return true;
        m_windowed.style = GetWindowLongPtrA(window, GWL_STYLE);
        m_windowed.exStyle = exStyle;
        GetWindowRect(window, &m_windowed.rect);
    }
    restoreMonitorMode();
    m_stateMonitor = chosen;
    m_state = state;
    if (state == windowed)
        place(window, m_windowed.style, HWND_NOTOPMOST, m_windowed.rect);
    else if (state == borderless)
        coverMonitor(window, chosen, false);
    else
        enterFullScreen(window, chosen, m_stateMode = *mode);
    return true;
}

// Covers the monitor's whole desktop rectangle with a frameless window.
void DisplayImpl::coverMonitor(HWND window, int monitor, bool topmost) {
    const Monitor* found = monitorAt(monitor);
    if (!found)
        return;
    const LONG_PTR style = (m_windowed.style & ~frameStyles) | WS_POPUP;
    RECT area = found->info.desktop;
    // The monitor keeps its place on the desktop and takes the mode's size.
    if (topmost) {
        area.right = area.left + m_stateMode.width;
        area.bottom = area.top + m_stateMode.height;
    }
    place(window, style, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, area);
}

// A mode the device refuses leaves the monitor as it was and the game borderless on it.
bool DisplayImpl::enterFullScreen(HWND window, int monitor, const DisplayMode& mode) {
    const Monitor* found = monitorAt(monitor);
    if (!found)
        return false;
    DEVMODEA record = deviceMode(mode);
    const LONG result =
        ChangeDisplaySettingsExA(found->info.deviceName, &record, nullptr, CDS_FULLSCREEN, nullptr);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        dbTracefAux("ChangeDisplaySettingsEx:%s %ix%ix%i@%i failed with %i", found->info.deviceName,
                    mode.width, mode.height, mode.bitDepth, mode.refresh, int(result));
        dbWarningfAux(displayChannel,
                      "An error occurred trying to switch %s to fullscreen mode so using "
                      "borderless full screen instead",
                      found->info.deviceName);
        m_state = borderless;
        coverMonitor(window, monitor, false);
        return false;
    }
    lstrcpynA(m_changedDevice, found->info.deviceName, sizeof m_changedDevice);
    coverMonitor(window, monitor, true);
    return true;
}

// The registry's mode for the device this service changed, whatever happens to the call.
void DisplayImpl::restoreMonitorMode() {
    if (!m_changedDevice[0])
        return;
    const LONG result = ChangeDisplaySettingsExA(m_changedDevice, nullptr, nullptr, 0, nullptr);
    if (result != DISP_CHANGE_SUCCESSFUL)
        dbTracefAux("ChangeDisplaySettingsEx:%s restore failed with %i", m_changedDevice,
                    int(result));
    m_changedDevice[0] = '\0';
}

// As the window manager does for its own full screen: in the background the window is
// minimised and the monitor has its mode back; in front the mode is set again.
void DisplayImpl::onActivateApp(HWND window, bool active) {
    if (m_state != fullScreen)
        return;
    if (!active) {
        ShowWindow(window, SW_SHOWMINNOACTIVE);
        restoreMonitorMode();
        return;
    }
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    enterFullScreen(window, m_stateMonitor, m_stateMode);
}
