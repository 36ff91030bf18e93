// Each monitor's display modes, as an options screen lists them.
#include "window/display_impl.h"

#include <algorithm>

namespace {

// Drivers report their default rate as 0 or 1; both mean the same to a player.
int refreshOf(const DEVMODEA& mode) {
    return mode.dmDisplayFrequency <= 1 ? 0 : int(mode.dmDisplayFrequency);
}

DisplayMode modeOf(const DEVMODEA& mode) {
    return {int(mode.dmPelsWidth), int(mode.dmPelsHeight), int(mode.dmBitsPerPel), refreshOf(mode)};
}

bool lessThan(const DisplayMode& a, const DisplayMode& b) {
    if (a.width != b.width)
        return a.width < b.width;
    if (a.height != b.height)
        return a.height < b.height;
    if (a.bitDepth != b.bitDepth)
        return a.bitDepth < b.bitDepth;
    return a.refresh < b.refresh;
}

bool sameMode(const DisplayMode& a, const DisplayMode& b) {
    return !lessThan(a, b) && !lessThan(b, a);
}

} // namespace

// The device lists a mode once per scaling and orientation variant; the player sees it once.
std::vector<DisplayMode> DisplayImpl::listModes(const char* device) {
    std::vector<DisplayMode> modes;
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD index = 0; EnumDisplaySettingsA(device, index, &mode); ++index)
        modes.push_back(modeOf(mode));
    std::sort(modes.begin(), modes.end(), lessThan);
    modes.erase(std::unique(modes.begin(), modes.end(), sameMode), modes.end());
    return modes;
}

int DisplayImpl::getModeCount(int monitor) {
    const Monitor* found = monitorAt(monitor);
    return found ? int(found->modes.size()) : 0;
}

bool DisplayImpl::getMode(int monitor, int index, DisplayMode* mode) {
    const Monitor* found = monitorAt(monitor);
    if (!found || !mode || index < 0 || index >= int(found->modes.size()))
        return false;
    *mode = found->modes[size_t(index)];
    return true;
}

// Asked of the system each time: the current mode is what a mode change just made it.
bool DisplayImpl::getCurrentMode(int monitor, DisplayMode* mode) {
    const Monitor* found = monitorAt(monitor);
    DEVMODEA current = {};
    current.dmSize = sizeof current;
    if (!found || !mode ||
        !EnumDisplaySettingsA(found->info.deviceName, ENUM_CURRENT_SETTINGS, &current))
        return false;
    *mode = modeOf(current);
    return true;
}
