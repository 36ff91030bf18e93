// The window manager: the game window's class, creation, take-over and destruction.
#include "window/window_manager_impl.h"

#include "registry/interface_members.h"
#include "registry/service_lifetime.h"
#include "window/desktop_check.h"
#include "window/display_mode.h"

WindowManagerImpl* g_windowManagerImpl = nullptr;

namespace {

const char* const windowServiceName = "WindowManage";

const int gameIconId = 101;
const DWORD windowStyle = WS_POPUP;

// Full-screen windows stay above everything else while the game runs.
DWORD extendedStyle(bool fullScreen) {
    return fullScreen ? WS_EX_APPWINDOW | WS_EX_TOPMOST : WS_EX_APPWINDOW;
}

HINSTANCE instanceHandle(void* const* instance) {
    return static_cast<HINSTANCE>(*instance);
}

} // namespace

DEFINE_INTERFACE_MEMBERS(WindowInterface)

WindowInterface* WindowInterface::i() {
    return g_windowManagerImpl;
}

WindowManagerImpl::WindowManagerImpl()
    : m_window(nullptr), m_fullScreen(false), m_className(nullptr), m_geometry(), m_bitDepth(0),
      m_previousWindowProc(0), m_requestedWidth(0), m_requestedHeight(0), m_requestedBitDepth(0) {}

WindowManagerImpl::~WindowManagerImpl() {}

// A class without a name cannot be found again (the system may still take one), and a refused
// registration keeps the name of the class that was made before.
bool WindowManagerImpl::registerWindowClass(void* const* instance, const char* className) {
    if (!instance || !className || !*className)
        return false;
    WNDCLASSA windowClass = {};
    // CS_DBLCLKS makes the system send the double-click messages that input maps.
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instanceHandle(instance);
    windowClass.hIcon = LoadIconA(instanceHandle(instance), MAKEINTRESOURCEA(gameIconId));
    // No class cursor: the shape stays whatever the game set.
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className;
    if (RegisterClassA(&windowClass) == 0)
        return false;
    m_className = className;
    return true;
}

bool WindowManagerImpl::unregisterWindowClass(void* const* instance, const char* className) {
    if (!instance || !className)
        return false;
    return UnregisterClassA(className, instanceHandle(instance)) != FALSE;
}

bool WindowManagerImpl::createWindow(HWND* window, void* const* instance, const char* title, int,
                                     int width, int height, int bitDepth, bool fullScreen) {
    if (!instance)
        return false;
    m_requestedWidth = width;
    m_requestedHeight = height;
    m_requestedBitDepth = bitDepth;
    if (!checkDesktopColourDepth())
        return false;

    // The window is placed at the top-left corner in both modes, never centred. A popup has no
    // frame, so the adjusted rectangle is the client area itself.
    const DWORD exStyle = extendedStyle(fullScreen);
    RECT bounds = {0, 0, width, height};
    AdjustWindowRectEx(&bounds, windowStyle, FALSE, exStyle);
    OffsetRect(&bounds, -bounds.left, -bounds.top);
    // The window procedure already runs during these calls, with m_fullScreen as it stands.
    HWND created =
        CreateWindowExA(exStyle, m_className, title, windowStyle, bounds.left, bounds.top,
                        bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr, nullptr,
                        instanceHandle(instance), nullptr);
    if (window)
        *window = created;
    if (!created)
        return false;
    m_window = created;
    ShowWindow(created, SW_SHOW);
    UpdateWindow(created);
    m_bitDepth = bitDepth;

    // A failed switch still counts as full-screen, so the next activation tries again.
    if (fullScreen)
        switchToFullScreen(created, width, height, bitDepth);
    m_fullScreen = fullScreen;
    return true;
}

bool WindowManagerImpl::attachWindow(const HWND* window, LONG_PTR* previousProc) {
    if (m_previousWindowProc || !window || !IsWindow(*window))
        return false;
    m_window = *window;
    if (previousProc)
        *previousProc = GetWindowLongPtrA(*window, GWLP_WNDPROC);
    m_previousWindowProc =
        SetWindowLongPtrA(*window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));
    return true;
}

LONG_PTR WindowManagerImpl::setWindowProc(const HWND* window, WNDPROC procedure) {
    if (!window)
        return 0;
    return SetWindowLongPtrA(*window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
}

bool WindowManagerImpl::showWindow(const HWND* window, bool show) {
    if (!window)
        return false;
    ShowWindow(*window, show ? SW_SHOW : SW_HIDE);
    UpdateWindow(*window);
    return true;
}

bool WindowManagerImpl::destroyWindow(int, int) {
    if (m_fullScreen)
        restoreDisplayMode();
    // A window that was taken over belongs to whoever created it.
    if (m_previousWindowProc)
        return false;
    return DestroyWindow(m_window) != FALSE;
}

HWND WindowManagerImpl::getWindowHandle() {
    return m_window;
}

bool createWindowManagerService() {
    return createService(g_windowManagerImpl, windowServiceName);
}

bool destroyWindowManagerService() {
    return destroyService(g_windowManagerImpl, windowServiceName);
}
