// Conversions between screen pixels and coordinates normalised over the game window's client
// area, with y growing upwards.
#include "input/sys_input_impl.h"

#include "window/window_manager_impl.h"

namespace {

// The client area as the window manager last saw it, read afresh for every conversion.
struct ClientArea {
    float left;
    float top;
    float width;
    float height;
};

ClientArea clientArea() {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    if (g_windowManagerImpl) {
        g_windowManagerImpl->getWindowPosition(&x, &y);
        width = g_windowManagerImpl->getScreenWidth();
        height = g_windowManagerImpl->getScreenHeight();
    }
    return ClientArea{static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                      static_cast<float>(height)};
}

} // namespace

// To pixels the window spans W pixels, so 1.0 lands one past the right edge; the cast
// truncates toward zero, so a slightly negative x still gives the left edge.
int SysInputImpl::toScreenX(float x) {
    const ClientArea area = clientArea();
    return static_cast<int>(area.left + x * area.width);
}

int SysInputImpl::toScreenY(float y) {
    const ClientArea area = clientArea();
    return static_cast<int>(area.top + area.height * (1.0f - y));
}

// From pixels the last column (W - 1) maps to 1.0, so a cursor kept inside the window reads
// the full range; the two directions are therefore not exact inverses.
float SysInputImpl::toNormalizedX(int x) {
    const ClientArea area = clientArea();
    return (static_cast<float>(x) - area.left) / (area.width - 1.0f);
}

float SysInputImpl::toNormalizedY(int y) {
    const ClientArea area = clientArea();
    return 1.0f - (static_cast<float>(y) - area.top) / (area.height - 1.0f);
}

float SysInputImpl::toNormalizedHeight(int pixels) {
    return static_cast<float>(pixels) / clientArea().height;
}
