// The input service's mouse: the stored position, the per-frame delta and nested capture.
#include "input/input_impl.h"

#include "input/sys_input_impl.h"
#include "registry/float_rounding.h"

#include <cmath>

namespace {

const float middle = 0.5f;

void readCursor(float* x, float* y) {
    if (g_sysInputImpl)
        g_sysInputImpl->getCursorPosition(x, y);
}

void moveCursor(float x, float y) {
    if (g_sysInputImpl)
        g_sysInputImpl->setCursorPosition(x, y);
}

// The position's offset from the middle, rounded once. Less than one pixel of the client area
// (|offset| W < 1, a product that is exact in double) reads as no movement; a size of 0 reads
// none at all.
float offsetOutsideDeadZone(float position, int pixels) {
    const float offset = roundedToFloat(static_cast<double>(position) - middle);
    if (std::fabs(static_cast<double>(offset)) * pixels < 1.0)
        return 0.0f;
    return offset;
}

} // namespace

void InputImpl::getMouseDelta(float* dx, float* dy) {
    float x = middle;
    float y = middle;
    readCursor(&x, &y);
    const ClientArea area = g_sysInputImpl ? g_sysInputImpl->clientArea() : ClientArea();
    if (dx)
        *dx = offsetOutsideDeadZone(x, area.width);
    if (dy)
        *dy = offsetOutsideDeadZone(y, area.height);
    centerMouse();
}

void InputImpl::getMousePosition(float* x, float* y) {
    if (x)
        *x = m_mouseX;
    if (y)
        *y = m_mouseY;
}

void InputImpl::setMousePosition(float x, float y) {
    m_mouseX = x;
    m_mouseY = y;
    moveCursor(x, y);
}

void InputImpl::centerMouse() {
    moveCursor(middle, middle);
}

void InputImpl::updateMousePosition() {
    readCursor(&m_mouseX, &m_mouseY);
}

void InputImpl::captureMouse(bool on) {
    if (on) {
        if (++m_captureCount == 1)
            readCursor(&m_savedX, &m_savedY);
        centerMouse();
        return;
    }
    if (m_captureCount <= 0)
        return;
    if (--m_captureCount == 0)
        moveCursor(m_savedX, m_savedY);
}

bool InputImpl::isMouseCaptured() {
    return m_captureCount > 0;
}
