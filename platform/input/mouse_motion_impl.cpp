// The mouse motion service: the switch between raw and recentring motion, the frame's read and
// the service's lifetime.
#include "input/mouse_motion_impl.h"

#include "input/input_impl.h"
#include "input/sys_input_impl.h"
#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

MouseMotionImpl* g_mouseMotionImpl = nullptr;

namespace {

const char* const mouseMotionServiceName = "MouseMotion";

} // namespace

DEFINE_INTERFACE_MEMBERS(MouseMotionInterface)

MouseMotionInterface* MouseMotionInterface::i() {
    return g_mouseMotionImpl;
}

MouseMotionImpl::MouseMotionImpl()
    : m_mode(recentring), m_rawX(0), m_rawY(0), m_raw(), m_batchHeaderPadding(0), m_batch() {}

// Raw motion hides the cursor and parks it in the confined window, as capture does, so that a
// click never lands outside the game; the counts come from the mouse, not from the cursor.
MouseMotionInterface::Mode MouseMotionImpl::setRawMotion(bool on) {
    if (on == (m_mode == raw))
        return m_mode;
    if (on && !registerRawMouse(true))
        return m_mode;
    if (!on)
        registerRawMouse(false);
    m_mode = on ? raw : recentring;
    m_rawX = 0;
    m_rawY = 0;
    if (g_inputImpl) {
        g_inputImpl->captureMouse(on);
        if (on)
            g_inputImpl->confineCursor(true);
    }
    ShowCursor(on ? FALSE : TRUE);
    return m_mode;
}

MouseMotionInterface::Mode MouseMotionImpl::getMode() {
    return m_mode;
}

void MouseMotionImpl::readMotion(int* dx, int* dy) {
    int x = 0;
    int y = 0;
    if (m_mode == raw) {
        takeRawBatches();
        x = m_rawX;
        y = -m_rawY;
        m_rawX = 0;
        m_rawY = 0;
    } else {
        readRecentringMotion(&x, &y);
    }
    if (dx)
        *dx = x;
    if (dy)
        *dy = y;
}

// The input service's recentring, counted in whole pixels from the point where centerMouse
// puts the cursor, so no conversion through normalised coordinates can round a pixel away.
void MouseMotionImpl::readRecentringMotion(int* dx, int* dy) {
    POINT cursor;
    if (!g_inputImpl || !g_sysInputImpl || !GetCursorPos(&cursor))
        return;
    *dx = cursor.x - g_sysInputImpl->toScreenX(0.5f);
    *dy = g_sysInputImpl->toScreenY(0.5f) - cursor.y;
    g_inputImpl->centerMouse();
}

bool createMouseMotionService() {
    return createService(g_mouseMotionImpl, mouseMotionServiceName);
}

bool destroyMouseMotionService() {
    return destroyService(g_mouseMotionImpl, mouseMotionServiceName);
}
