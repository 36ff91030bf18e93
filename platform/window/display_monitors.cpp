// The desktop's monitors: names, rectangles and the one the game window is on.
#include "window/display_impl.h"

namespace {

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM handles) {
    reinterpret_cast<std::vector<HMONITOR>*>(handles)->push_back(monitor);
    return TRUE;
}

// The monitor attached to the display device, where the system names one.
void readFriendlyName(const char* device, char* name, size_t size) {
    DISPLAY_DEVICEA monitor = {};
    monitor.cb = sizeof monitor;
    if (EnumDisplayDevicesA(device, 0, &monitor, 0))
        lstrcpynA(name, monitor.DeviceString, int(size));
}

} // namespace

// Reads every monitor and its modes; the list holds until the next display change.
void DisplayImpl::listMonitors() {
    std::vector<HMONITOR> handles;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&handles));
    m_monitors.clear();
    for (HMONITOR handle : handles) {
        MONITORINFOEXA info = {};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoA(handle, &info))
            continue;
        Monitor monitor = {handle, {}, {}};
        lstrcpynA(monitor.info.deviceName, info.szDevice, sizeof monitor.info.deviceName);
        readFriendlyName(info.szDevice, monitor.info.friendlyName,
                         sizeof monitor.info.friendlyName);
        monitor.info.desktop = info.rcMonitor;
        monitor.info.workArea = info.rcWork;
        monitor.info.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        monitor.modes = listModes(info.szDevice);
        m_monitors.push_back(monitor);
    }
    m_listed = true;
}

const DisplayImpl::Monitor* DisplayImpl::monitorAt(int index) {
    if (!m_listed)
        listMonitors();
    if (index < 0 || index >= int(m_monitors.size()))
        return nullptr;
    return &m_monitors[size_t(index)];
}

int DisplayImpl::monitorOf(HMONITOR handle) {
    if (!m_listed)
        listMonitors();
    for (size_t index = 0; index < m_monitors.size(); ++index) {
        if (m_monitors[index].handle == handle)
            return int(index);
    }
    return -1;
}

int DisplayImpl::getMonitorCount() {
    if (!m_listed)
        listMonitors();
    return int(m_monitors.size());
}

bool DisplayImpl::getMonitor(int index, DisplayMonitor* monitor) {
    const Monitor* found = monitorAt(index);
    if (!found || !monitor)
        return false;
    *monitor = found->info;
    return true;
}

int DisplayImpl::getWindowMonitor() {
    HWND window = managedWindow();
    const POINT origin = {0, 0};
    // Without a window the primary monitor is the one at the desktop's origin.
    return monitorOf(window ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                            : MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY));
}
