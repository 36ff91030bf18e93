// Scaled displays: the process's scale awareness and each monitor's content scale. Every call
// newer than Windows 98 SE and 2000 is bound at run time from the system folder.
#include "window/display_impl.h"

#include "CmdLine.h"
#include "contracts/diagnostics.h"
#include "window/float_rounding.h"

#include <cstring>

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
typedef HRESULT(WINAPI* GetDpiFunction)(HMONITOR, int, UINT*, UINT*);

// A system library by its full path: a bare name would search the game's folder first.
class SystemLibrary {
public:
    explicit SystemLibrary(const char* name) : m_module(nullptr) {
        char path[MAX_PATH];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH)
            return;
        path[length] = '\\';
        std::strcpy(path + length + 1, name);
        m_module = LoadLibraryA(path);
    }
    ~SystemLibrary() {
        if (m_module)
            FreeLibrary(m_module);
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // Null when the library or the function is missing. The detour through void (*)() is the
    // cast the compiler accepts between unrelated function types.
    template <typename Function> Function bind(const char* function) const {
        if (!m_module)
            return nullptr;
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_module, function)));
    }

private:
    HMODULE m_module;
};

// The newest awareness the system offers; each call fails harmlessly when the process is
// already marked (by a manifest, say), and the next older one is tried.
const char* markNewestAwareness() {
    const SystemLibrary user("user32.dll");
    if (auto setContext = user.bind<SetContextFunction>("SetProcessDpiAwarenessContext")) {
        if (setContext(perMonitorV2Context))
            return "per-monitor v2";
    }
    const SystemLibrary shcore("shcore.dll");
    if (auto setAwareness = shcore.bind<SetAwarenessFunction>("SetProcessDpiAwareness")) {
        if (setAwareness(perMonitorAwareness) == S_OK)
            return "per-monitor";
    }
    if (auto setAware = user.bind<SetAwareFunction>("SetProcessDPIAware")) {
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
    const char* awareness = markNewestAwareness();
    dbTracefAux("Scale awareness: %s", awareness ? awareness : "none on this system");
}

float DisplayImpl::getMonitorScale(int monitor) {
    const Monitor* found = monitorAt(monitor);
    if (!found)
        return 0.0f;
    UINT dpiX = 0, dpiY = 0;
    const SystemLibrary shcore("shcore.dll");
    const GetDpiFunction getDpi = shcore.bind<GetDpiFunction>("GetDpiForMonitor");
    if (!getDpi || getDpi(found->handle, effectiveDpi, &dpiX, &dpiY) != S_OK || dpiX == 0)
        dpiX = UINT(desktopDpi());
    return roundedQuotient(int(dpiX), unscaledDpi);
}

// The suggested rectangle is not applied: the window keeps its size in real pixels, and the
// game decides what to draw bigger.
void DisplayImpl::onScaleChanged(HWND window, UINT dpi) {
    if (m_scaleCallback)
        m_scaleCallback(window, roundedQuotient(int(dpi), unscaledDpi));
}
