// The window's geometry as the window procedure last saw it, and the queries that read it.
#include "window/window_manager_impl.h"

#include "registry/float_rounding.h"

// A popup has no frame, so the window's corner is the client area's.
void WindowManagerImpl::updateGeometry(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    m_geometry.width = client.right;
    m_geometry.height = client.bottom;
    RECT outer = {};
    GetWindowRect(window, &outer);
    m_geometry.left = outer.left;
    m_geometry.top = outer.top;
}

void WindowManagerImpl::getWindowPosition(int* x, int* y) {
    if (x)
        *x = m_geometry.left;
    if (y)
        *y = m_geometry.top;
}

int WindowManagerImpl::getWidth() {
    return m_geometry.width;
}

int WindowManagerImpl::getHeight() {
    return m_geometry.height;
}

int WindowManagerImpl::getBitDepth() {
    return m_bitDepth;
}

float WindowManagerImpl::getAspectRatio() {
    // A minimised window has no height; 1.0 keeps projections finite.
    if (m_geometry.height <= 0)
        return 1.0f;
    return roundedQuotient(m_geometry.width, m_geometry.height);
}

// The screen getters go through the virtual table, so an override of the window getters
// changes both.
int WindowManagerImpl::getScreenWidth() {
    return getWidth();
}

int WindowManagerImpl::getScreenHeight() {
    return getHeight();
}

int WindowManagerImpl::getScreenBitDepth() {
    return getBitDepth();
}

float WindowManagerImpl::getScreenAspectRatio() {
    return getAspectRatio();
}
