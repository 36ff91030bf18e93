// The string-table library: texts come from the executable's own string table.
#include "contracts/localizer.h"

#include <windows.h>

std::wstring Localizer::GetString(int id) {
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                             reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::wstring();
    return std::wstring(text, static_cast<std::size_t>(length));
}
