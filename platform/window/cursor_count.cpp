// The mouse cursor's visibility, forced whatever the system's display count was before.
#include "window/window_manager_impl.h"

// The system shows the cursor while its display count is 0 or more. Others (the game, a
// library) may have moved the count any distance, so it is walked back to exactly 0 (shown)
// or -1 (hidden); one call of the opposite kind then always flips it.
bool WindowManagerImpl::showCursor(bool show) {
    if (show) {
        int count = ShowCursor(TRUE);
        while (count < 0)
            count = ShowCursor(TRUE);
        while (count > 0)
            count = ShowCursor(FALSE);
    } else {
        int count = ShowCursor(FALSE);
        while (count >= 0)
            count = ShowCursor(FALSE);
        while (count < -1)
            count = ShowCursor(TRUE);
    }
    return true;
}
