// Key names for display, from the keyboard layout's own texts.
#include "input/input_impl.h"

#include "input/key_table.h"

#include <windows.h>

namespace {

const unsigned nameCapacity = 2048;
// In a key message's lParam: the scan code's place and the bit of the keys that the extended
// keyboard added beside keys of the same scan code.
const int scanCodeShift = 16;
const LONG extendedKeyBit = 0x1000000;
// The layout maps these two to no scan code; their keys send these.
const UINT pauseScanCode = 0x45;
const UINT divideScanCode = 0x35;

static_assert(sizeof(wchar_t) == sizeof(unsigned short), "key names are UTF-16");

UINT scanCodeOf(unsigned key) {
    const UINT scanCode = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    if (scanCode != 0)
        return scanCode;
    if (key == VK_PAUSE)
        return pauseScanCode;
    if (key == VK_DIVIDE)
        return divideScanCode;
    return 0;
}

// Without the extended bit these would be named after their number-pad twins ("Num 8" for the
// up arrow) or after the left-hand key.
bool isExtendedKey(unsigned key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
           (key >= VK_LWIN && key <= VK_APPS) || key == VK_DIVIDE || key == VK_NUMLOCK ||
           key == VK_RCONTROL || key == VK_RMENU;
}

} // namespace

bool InputImpl::getKeyName(unsigned key, unsigned short* buffer, unsigned length) {
    if (key == 0 || key >= keyTableSize || !buffer || length == 0 || length >= nameCapacity)
        return false;
    buffer[0] = 0;
    const UINT scanCode = scanCodeOf(key);
    if (scanCode == 0)
        return false;
    LONG keyWord = static_cast<LONG>(scanCode << scanCodeShift);
    if (isExtendedKey(key))
        keyWord |= extendedKeyBit;
    char name[nameCapacity];
    if (GetKeyNameTextA(keyWord, name, nameCapacity) == 0)
        return false;
    // With the terminator counted, a name that does not fit converts to nothing at all.
    wchar_t* wide = reinterpret_cast<wchar_t*>(buffer);
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, static_cast<int>(length)) == 0)
        buffer[0] = 0;
    return true;
}
