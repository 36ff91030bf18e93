// Failed system calls as text: the system's own, fixed trace texts, and localised error boxes.
#include "registry/windows_error.h"

#include "contracts/diagnostics.h"
#include "contracts/localizer.h"

#include <cstring>

namespace {

const UINT errorBoxStyle = MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;

const char* windowsErrorText(DWORD code) {
    switch (code) {
    case ERROR_INVALID_PARAMETER:
        return "Windows Error: Invalid Parameter";
    case ERROR_INSUFFICIENT_BUFFER:
        return "Windows Error: Insufficient Buffer";
    case ERROR_INVALID_FLAGS:
        return "Windows Error: Invalid Flags";
    default:
        return "Windows Error: unknown error";
    }
}

} // namespace

// Formatted whole first, so a small buffer gets the text's start rather than nothing.
void formatWindowsError(DWORD code, char* text, unsigned size) {
    if (!text || size == 0)
        return;
    char whole[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, whole, sizeof whole - 1, nullptr);
    std::strncpy(text, whole, size - 1);
    text[size - 1] = '\0';
}

void traceLastWindowsError() {
    // The fixed text is the whole format; none of them holds a "%".
    dbTracefAux(windowsErrorText(GetLastError()));
    SetLastError(0);
}

bool showLocalizedMessageBox(int stringId) {
    std::wstring text = Localizer::GetString(stringId);
    SetLastError(0);
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (needed == 0) {
        traceLastWindowsError();
        return false;
    }
    char* converted = new char[needed + 1];
    bool shown = false;
    int written = WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, converted, needed + 1,
                                      nullptr, nullptr);
    if (written == 0) {
        traceLastWindowsError();
    } else {
        converted[written] = 0;
        MessageBoxA(GetActiveWindow(), converted, nullptr, errorBoxStyle);
        shown = true;
    }
    delete[] converted;
    return shown;
}
