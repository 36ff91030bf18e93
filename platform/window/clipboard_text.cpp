// Clipboard text as UTF-8: the Unicode format on the NT family, the 8-bit one in the system
// code page on the 98 family, which has no Unicode clipboard of its own.
#include "window/display_impl.h"

#include <string>

namespace {

bool ntFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return !GetVersionExA(&version) || version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Another program's block need not end in a NUL: the text stops at the block's end.
std::wstring textOf(HANDLE data, bool unicode) {
    const void* locked = GlobalLock(data);
    if (!locked)
        return std::wstring();
    const SIZE_T bytes = GlobalSize(data);
    std::wstring text;
    if (unicode) {
        const wchar_t* characters = static_cast<const wchar_t*>(locked);
        const SIZE_T limit = bytes / sizeof(wchar_t);
        SIZE_T length = 0;
        while (length < limit && characters[length])
            ++length;
        text.assign(characters, length);
    } else {
        const char* characters = static_cast<const char*>(locked);
        SIZE_T length = 0;
        while (length < bytes && characters[length])
            ++length;
        const int wide = MultiByteToWideChar(CP_ACP, 0, characters, int(length), nullptr, 0);
        text.resize(size_t(wide > 0 ? wide : 0));
        if (wide > 0)
            MultiByteToWideChar(CP_ACP, 0, characters, int(length), &text[0], wide);
    }
    GlobalUnlock(data);
    return text;
}

// The text as a movable block in the clipboard's format, or null.
HGLOBAL blockOf(const std::wstring& text, bool unicode) {
    const SIZE_T bytes = unicode ? (text.size() + 1) * sizeof(wchar_t)
                                 : SIZE_T(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr,
                                                              0, nullptr, nullptr));
    HGLOBAL block = bytes ? GlobalAlloc(GMEM_MOVEABLE, bytes) : nullptr;
    void* locked = block ? GlobalLock(block) : nullptr;
    if (!locked) {
        if (block)
            GlobalFree(block);
        return nullptr;
    }
    if (unicode)
        CopyMemory(locked, text.c_str(), bytes);
    else
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, static_cast<char*>(locked), int(bytes),
                            nullptr, nullptr);
    GlobalUnlock(block);
    return block;
}

} // namespace

unsigned DisplayImpl::getClipboardText(char* buffer, unsigned size) {
    if (!OpenClipboard(managedWindow()))
        return 0;
    const bool unicode = ntFamily();
    HANDLE data = GetClipboardData(unicode ? CF_UNICODETEXT : CF_TEXT);
    const bool present = data != nullptr;
    const std::wstring text = present ? textOf(data, unicode) : std::wstring();
    CloseClipboard();
    if (!present)
        return 0;
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return 0;
    if (buffer && size >= unsigned(needed))
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, needed, nullptr, nullptr);
    return unsigned(needed);
}

bool DisplayImpl::setClipboardText(const char* text) {
    HWND window = managedWindow();
    if (!text || !window)
        return false;
    const bool unicode = ntFamily();
    // The 98 family's conversion knows no validity flag for UTF-8.
    const DWORD flags = unicode ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(CP_UTF8, flags, text, -1, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, flags, text, -1, &wide[0], length);
    wide.resize(size_t(length - 1));
    HGLOBAL block = blockOf(wide, unicode);
    if (!block)
        return false;
    if (!OpenClipboard(window)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    // Once set, the block belongs to the system.
    const bool set = SetClipboardData(unicode ? CF_UNICODETEXT : CF_TEXT, block) != nullptr;
    CloseClipboard();
    if (!set)
        GlobalFree(block);
    return set;
}
