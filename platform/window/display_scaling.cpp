// Scaled displays: the process's scale awareness and each monitor's content scale. Every call
// newer than Windows 98 SE and 2000 is bound at run time from the system folder.
#include "window/display_impl.h"

#include "CmdLine.h"
#include "contracts/diagnostics.h"
#include "registry/float_rounding.h"
#include "sys/system_library.h"

namespace {

// The logical pixels per inch of an unscaled display.
const int unscaledDpi = 96;

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and PROCESS_PER_MONITOR_DPI_AWARE.
const HANDLE perMonitorV2Context = reinterpret_cast<HANDLE>(LONG_PTR(-4));
const int perMonitorAwareness = 2;
// MDT_EFFECTIVE_DPI: the scale the player chose, not the panel's physical density.
const int effectiveDpi = 0;

typedef BOOL(WINAPI* SetContextFunction)(HANDLE);
typedef HRESULT(WINAPI* SetAwarenessFunction)(int);
typedef BOOL(WINAPI* SetAwareFunction)();

// Null when the library or the function is missing. The detour through void (*)() is the cast
// the compiler accepts between unrelated function types.
template <typename Function> Function bind(HMODULE module, const char* function) {
    if (!module)
        return nullptr;
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, function)));
}

// The newest awareness the system offers; each call fails harmlessly when the process is
// already marked (by a manifest, say), and the next older one is tried.
const char* markNewestAwareness(HMODULE user, HMODULE shcore) {
    if (auto setContext = bind<SetContextFunction>(user, "SetProcessDpiAwarenessContext")) {
        if (setContext(perMonitorV2Context))
            return "per-monitor v2";
    }
    if (auto setAwareness = bind<SetAwarenessFunction>(shcore, "SetProcessDpiAwareness")) {
        if (setAwareness(perMonitorAwareness) == S_OK)
            return "per-monitor";
    }
    if (auto setAware = bind<SetAwareFunction>(user, "SetProcessDPIAware")) {
        if (setAware())
            return "process-wide";
    }
    return nullptr;
}

int desktopDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

} // namespace

// Once for the service's life: the game may ask for a scale every frame, and a library load
// per frame is a file system search and the loader's lock each time.
void DisplayImpl::loadScaleLibraries() {
    if (m_scaleLibrariesLoaded)
        return;
    m_scaleLibrariesLoaded = true;
    m_user32 = loadSystemLibrary("user32.dll");
    m_shcore = loadSystemLibrary("shcore.dll");
    m_getDpi = bind<GetDpiCall>(m_shcore, "GetDpiForMonitor");
}

void DisplayImpl::setScaleAware(bool aware) {
    m_scaleAware = aware;
}

// The awareness must be set before the first window exists, and never from the DLL's entry
// point, where loading other libraries is not safe.
void DisplayImpl::markScaleAware() {
    if (!m_scaleAware || CmdLine::Exist("noscaleaware")) {
        dbTracefAux("Scale awareness: off, the system stretches the game");
        return;
    }
    loadScaleLibraries();
    const char* awareness = markNewestAwareness(m_user32, m_shcore);
    dbTracefAux("Scale awareness: %s", awareness ? awareness : "none on this system");
}

float DisplayImpl::getMonitorScale(int monitor) {
    const Monitor* found = monitorAt(monitor);
    if (!found)
        return 0.0f;
    loadScaleLibraries();
    UINT dpiX = 0, dpiY = 0;
    if (!m_getDpi || m_getDpi(found->handle, effectiveDpi, &dpiX, &dpiY) != S_OK || dpiX == 0)
        dpiX = UINT(desktopDpi());
    return roundedQuotient(int(dpiX), unscaledDpi);
}

// The suggested rectangle is not applied: the window keeps its size in real pixels, and the
// game decides what to draw bigger.
void DisplayImpl::onScaleChanged(HWND window, UINT dpi) {
    if (m_scaleCallback)
        m_scaleCallback(window, roundedQuotient(int(dpi), unscaledDpi));
}
