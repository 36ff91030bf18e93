// Libraries the library binds by its own choice (newer system calls, optional system DLLs).
#pragma once

#include <windows.h>

// Loads fileName from the system directory by its full path; null when it is not there or the
// path would not fit (the loader's own join, so one limit holds for both).
// Never by bare name: that would also search the current directory, where a game started
// through a file association from a downloads folder finds whatever was put there.
HMODULE loadSystemLibrary(const char* fileName);

// The function's address as the given pointer type; null when the module or the function is
// missing. The detour through void (*)() is the cast the compiler accepts between unrelated
// function types.
template <typename Function> Function bindSystemFunction(HMODULE module, const char* name) {
    if (!module)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
