// Confining the cursor to a rectangle of the game window, and freeing it.
#include "input/sys_input_impl.h"

namespace {

// Exact comparisons on purpose: only the whole window, as the game passes it, counts.
bool isFullRect(float minX, float maxX, float minY, float maxY) {
    return minX == 0.0f && minY == 0.0f && maxX == 1.0f && maxY == 1.0f;
}

} // namespace

void SysInputImpl::setClipRect(float minX, float maxX, float minY, float maxY) {
    // With confinement off, the whole window means no clip at all; the kept rectangle stays
    // for when confinement comes back.
    if (!m_confineToWindow && isFullRect(minX, maxX, minY, maxY)) {
        ClipCursor(nullptr);
        return;
    }
    const RECT pixels = clipPixels(minX, maxX, minY, maxY);
    // A window that has not been sized yet has nothing to clip to.
    if (pixels.bottom == 0 || pixels.right == 0)
        return;
    ClipCursor(&pixels);
    m_clipMinX = minX;
    m_clipMaxX = maxX;
    m_clipMaxY = maxY;
    m_clipMinY = minY;
}

bool SysInputImpl::applyClipRect(bool enable) {
    if (!enable || (!m_confineToWindow && clipRectIsFull()))
        return ClipCursor(nullptr) != FALSE;
    const RECT pixels = clipPixels(m_clipMinX, m_clipMaxX, m_clipMinY, m_clipMaxY);
    return ClipCursor(&pixels) != FALSE;
}

void SysInputImpl::setConfineToWindow(bool confine) {
    m_confineToWindow = confine;
}

// Normalised y grows upwards, so the top edge comes from maxY.
RECT SysInputImpl::clipPixels(float minX, float maxX, float minY, float maxY) {
    RECT pixels;
    pixels.left = toScreenX(minX);
    pixels.top = toScreenY(maxY);
    pixels.right = toScreenX(maxX);
    pixels.bottom = toScreenY(minY);
    return pixels;
}

bool SysInputImpl::clipRectIsFull() const {
    return isFullRect(m_clipMinX, m_clipMaxX, m_clipMinY, m_clipMaxY);
}
