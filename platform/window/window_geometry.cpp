// The window's geometry as the window procedure last saw it, and the queries that read it.
#include "window/window_manager_impl.h"

#include "window/float_rounding.h"

void WindowManagerImpl::updateGeometry(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    m_clientWidth = client.right;
    m_clientHeight = client.bottom;
    RECT outer = {};
    GetWindowRect(window, &outer);
    m_windowX = outer.left;
    m_windowY = outer.top;
}

void WindowManagerImpl::getWindowPosition(int* x, int* y) {
    if (x)
        *x = m_windowX;
    if (y)
        *y = m_windowY;
}

int WindowManagerImpl::getWidth() {
    return m_clientWidth;
}

int WindowManagerImpl::getHeight() {
    return m_clientHeight;
}

int WindowManagerImpl::getBitDepth() {
    return m_bitDepth;
}

float WindowManagerImpl::getAspectRatio() {
    // A minimised window has no height; 1.0 keeps projections finite.
    if (m_clientHeight <= 0)
        return 1.0f;
    return roundedQuotient(m_clientWidth, m_clientHeight);
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
