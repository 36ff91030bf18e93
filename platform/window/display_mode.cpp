// Switching the primary display to the game's full-screen mode and back to the desktop's.
// Changes are dynamic (CDS_FULLSCREEN): nothing is written to the registry.
#include "window/display_mode.h"

#include "CmdLine.h"
#include "contracts/diagnostics.h"
#include "registry/windows_error.h"

bool g_displayModeChanged = false;

namespace {

// 'DISP' as one four-character code.
const unsigned displayChannel = 0x44495350;

const DWORD exactModeFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;

const char* displayChangeText(LONG code) {
    switch (code) {
    case DISP_CHANGE_RESTART:
        return "ChangeDisplaySettings:The computer must be restarted in order for the graphics "
               "mode to work.";
    case DISP_CHANGE_FAILED:
        return "ChangeDisplaySettings:The display driver failed the specified graphics mode.";
    case DISP_CHANGE_BADMODE:
        return "ChangeDisplaySettings:The graphics mode is not supported.";
    case DISP_CHANGE_NOTUPDATED:
        return "ChangeDisplaySettings:Unable to write settings to the registry.";
    case DISP_CHANGE_BADFLAGS:
        return "ChangeDisplaySettings:An invalid set of flags was passed in.";
    case DISP_CHANGE_BADPARAM:
        return "ChangeDisplaySettings:An invalid parameter was passed in. This can include an "
               "invalid flag or combination of flags.";
    default:
        return nullptr;
    }
}

bool matchesMode(const DEVMODEA& mode, int width, int height, int bitDepth, int refresh) {
    return mode.dmBitsPerPel == static_cast<DWORD>(bitDepth) &&
           mode.dmPelsWidth == static_cast<DWORD>(width) &&
           mode.dmPelsHeight == static_cast<DWORD>(height) &&
           mode.dmDisplayFrequency == static_cast<DWORD>(refresh);
}

LONG changeMode(DEVMODEA& mode) {
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

// True when a full-screen change took; from then on the desktop's mode is owed back.
bool modeSwitched(LONG result) {
    if (result != DISP_CHANGE_SUCCESSFUL)
        return false;
    g_displayModeChanged = true;
    return true;
}

// Traces why the window could not be moved; the switch goes on regardless.
void traceFailedMove() {
    const DWORD error = GetLastError();
    char text[1024] = {};
    if (error != 0)
        formatWindowsError(error, text, sizeof text);
    dbTracefAux("Windows Error %i:%s", static_cast<int>(error), text);
    SetLastError(0);
}

void warnWindowedFallback() {
    dbWarningfAux(
        displayChannel,
        "An error occurred trying to switch to fullscreen mode so using windowed instead");
}

void traceDisplayChangeResult(LONG code) {
    if (code == DISP_CHANGE_SUCCESSFUL)
        return;
    if (const char* text = displayChangeText(code))
        dbTracefAux("%s", text);
    else
        dbTracefAux("ChangeDisplaySettings:unknown error: %i", static_cast<int>(code));
}

} // namespace

void restoreDisplayMode() {
    if (!g_displayModeChanged)
        return;
    // Back to the mode stored in the registry. A failure still clears the flag, so that the
    // next switch is attempted anew.
    traceDisplayChangeResult(ChangeDisplaySettingsA(nullptr, 0));
    g_displayModeChanged = false;
}

// Tries, in turn: an enumerated mode of the exact size, depth and "refresh" rate; the size and
// depth with the driver's choice of rate; the depth alone and then the size. If none holds the
// game stays in a topmost window on the unchanged desktop.
void switchToFullScreen(HWND window, int width, int height, int bitDepth) {
    if (g_displayModeChanged)
        return;
    if (!SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOSIZE | SWP_NOZORDER))
        traceFailedMove();

    int refresh = 0;
    const bool refreshGiven = CmdLine::Get("refresh", refresh);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmDriverExtra = 0;

    // Index 0 doubles as "nothing remembered", so a failing mode 0 is never the template.
    DWORD fallbackIndex = 0;
    for (DWORD index = 0; EnumDisplaySettingsA(nullptr, index, &mode); ++index) {
        if (!refreshGiven || !matchesMode(mode, width, height, bitDepth, refresh))
            continue;
        const LONG result = changeMode(mode);
        if (modeSwitched(result))
            return;
        traceDisplayChangeResult(result);
        if (fallbackIndex == 0)
            fallbackIndex = index;
    }

    // The enumerated record is only a template here: its result does not matter.
    EnumDisplaySettingsA(nullptr, fallbackIndex, &mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bitDepth);
    mode.dmFields = exactModeFields;
    LONG result = changeMode(mode);
    if (modeSwitched(result))
        return;
    traceDisplayChangeResult(result);
    dbTracefAux("Switch to %ix%ix%ibit failed, trying again", width, height, bitDepth);

    // The depth alone first; only a whole switch (the size as well) counts as switched.
    mode.dmFields = DM_BITSPERPEL;
    result = changeMode(mode);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        traceDisplayChangeResult(result);
        warnWindowedFallback();
        return;
    }
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (modeSwitched(changeMode(mode)))
        return;
    // Half a switch is worse than none: the depth change is undone.
    traceDisplayChangeResult(ChangeDisplaySettingsA(nullptr, 0));
    warnWindowedFallback();
}
