// The check createWindow makes of the platform and the desktop's colour depth.
#include "window/desktop_check.h"

#include "contracts/diagnostics.h"
#include "registry/windows_error.h"

namespace {

// The game's string that tells the user the desktop needs more colours.
const int colourDepthStringId = 1080;

int desktopColourDepth() {
    HWND desktop = GetDesktopWindow();
    HDC context = GetDC(desktop);
    const int depth = GetDeviceCaps(context, BITSPIXEL);
    ReleaseDC(desktop, context);
    return depth;
}

const char* platformName(DWORD platformId) {
    switch (platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return "win9x";
    case VER_PLATFORM_WIN32_NT:
        return "winNT";
    default:
        return "an unknown windows platform";
    }
}

} // namespace

// Traces the platform and the desktop's depth for the log of any display trouble. Windows 9x
// may need a restart to change the colour depth, so from a palette desktop (256 colours or
// fewer) the game is refused with its own message rather than left in a mode it cannot draw in.
bool checkDesktopColourDepth() {
    OSVERSIONINFOA version = {};
    static_assert(sizeof version == 148, "the version record the check asks for");
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return true;
    const int depth = desktopColourDepth();
    dbTracefAux("Changing from a %i bit colour depth in %s (%i.%i build %i), %s", depth,
                platformName(version.dwPlatformId), static_cast<int>(version.dwMajorVersion),
                static_cast<int>(version.dwMinorVersion), static_cast<int>(version.dwBuildNumber),
                version.szCSDVersion);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS || depth > 8)
        return true;
    dbTracefAux("Not even going to both attempting to switch colour depth");
    showLocalizedMessageBox(colourDepthStringId);
    return false;
}
