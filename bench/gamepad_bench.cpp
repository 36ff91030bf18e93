// Reading four pads through the gamepad service against the four raw XInputGetState calls, on
// the stand-in XInput with four scripted pads (this machine has none) and on the system's own
// XInput with empty slots; and heap use per frame.
#include "bench.h"

#include "GamepadInterface.h"
#include "libraries/pad_script.h"
#include "support/import_patch.h"

#include <cstring>

namespace {

typedef DWORD(WINAPI* GetStateCall)(DWORD, XINPUT_STATE*);
char g_standIn[MAX_PATH];

// XInput from the stand-in beside the bench; everything else as asked.
HMODULE WINAPI standInXInput(LPCSTR path) {
    return LoadLibraryA(std::strstr(path, "xinput1_4") ? g_standIn : path);
}

// The service's update against the raw calls on the same XInput.
void compare(const char* what, HMODULE xinput) {
    GamepadInterface* pads = GamepadInterface::i();
    auto getState = reinterpret_cast<GetStateCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(xinput, "XInputGetState")));
    if (!getState || !pads->initialize()) {
        std::printf("%s: no XInput\n", what);
        return;
    }
    // A second of frames finds every pad.
    for (int frame = 0; frame < 60; ++frame, Sleep(17))
        pads->update();
    const unsigned frames = 200000;
    const double ours = nanosecondsPerCall(frames, [&] { pads->update(); });
    XINPUT_STATE state;
    const double raw = nanosecondsPerCall(frames, [&] {
        for (DWORD pad = 0; pad < 4; ++pad)
            getState(pad, &state);
    });
    reportRatio(what, ours, raw);
    const unsigned long long before = allocationsSoFar();
    for (unsigned frame = 0; frame < frames; ++frame)
        pads->update();
    reportCount("  heap allocations per frame", double(allocationsSoFar() - before) / frames);
    pads->shutdown();
}

} // namespace

BENCH_CASE(gamepadFourPads) {
    GetModuleFileNameA(nullptr, g_standIn, MAX_PATH);
    std::strcpy(std::strrchr(g_standIn, '\\') + 1, "bench_pads.dll");
    HMODULE standIn = LoadLibraryA(g_standIn);
    auto script = reinterpret_cast<PadScript* (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(standIn, "padScript")));
    if (!script) {
        std::printf("no stand-in XInput\n");
        return;
    }
    for (bool& plugged : script()->pluggedPad)
        plugged = true;
    {
        ImportPatch load(GetModuleHandleA("platform.dll"), "kernel32.dll", "LoadLibraryA",
                         standInXInput);
        compare("four pads vs raw XInputGetState (stand-in)", standIn);
    }
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    HMODULE xinput = LoadLibraryA(std::strcat(system, "\\xinput1_4.dll"));
    compare("no pads vs raw XInputGetState (system XInput)", xinput);
    FreeLibrary(xinput);
    FreeLibrary(standIn);
}
