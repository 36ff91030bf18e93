// The display service: its lifetime and the game window's display messages.
#include "window/display_impl.h"

#include "WindowInterface.h"
#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

#include <dbt.h>

DisplayImpl* g_displayImpl = nullptr;

namespace {

const char* const displayServiceName = "Display";

// Not in every header set the cross compilers carry; the value is fixed by the system.
const UINT dpiChangedMessage = 0x02E0;

} // namespace

DEFINE_INTERFACE_MEMBERS(DisplayInterface)

DisplayInterface* DisplayInterface::i() {
    return g_displayImpl;
}

HWND managedWindow() {
    WindowInterface* manager = WindowInterface::i();
    HWND window = manager ? manager->getWindowHandle() : nullptr;
    return window && IsWindow(window) ? window : nullptr;
}

DisplayImpl::DisplayImpl()
    : m_listed(false), m_displayChangeCallback(nullptr), m_scaleCallback(nullptr),
      m_scaleAware(true), m_scaleLibrariesLoaded(false), m_user32(nullptr), m_shcore(nullptr),
      m_getDpi(nullptr), m_state(windowed), m_stateMonitor(-1), m_stateMode(), m_windowed(),
      m_changedDevice() {}

void DisplayImpl::setDisplayChangeCallback(DisplayChangeCallback callback) {
    m_displayChangeCallback = callback;
}

void DisplayImpl::setScaleCallback(ScaleCallback callback) {
    m_scaleCallback = callback;
}

DisplayInterface::WindowState DisplayImpl::getWindowState() {
    return m_state;
}

// Display changes reread the monitors; activation, scale changes and the window's end follow
// the state the window is in.
void DisplayImpl::noteWindowMessage(HWND window, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_DISPLAYCHANGE:
        listMonitors();
        if (m_displayChangeCallback)
            m_displayChangeCallback();
        return;
    case WM_DEVICECHANGE:
        // Monitors that come or go without a mode change show only as changed device nodes.
        if (wParam != DBT_DEVNODES_CHANGED)
            return;
        listMonitors();
        if (m_displayChangeCallback)
            m_displayChangeCallback();
        return;
    case WM_ACTIVATEAPP:
        onActivateApp(window, wParam != 0);
        return;
    case dpiChangedMessage:
        onScaleChanged(window, LOWORD(wParam));
        return;
    case WM_DESTROY:
        restoreMonitorMode();
        m_state = windowed;
        return;
    default:
        return;
    }
}

void noteDisplayMessage(HWND window, UINT message, WPARAM wParam) {
    if (g_displayImpl)
        g_displayImpl->noteWindowMessage(window, message, wParam);
}

void markProcessScaleAware() {
    if (g_displayImpl)
        g_displayImpl->markScaleAware();
}

bool createDisplayService() {
    return createService(g_displayImpl, displayServiceName);
}

bool destroyDisplayService() {
    return destroyService(g_displayImpl, displayServiceName);
}
