// A game that crashes in the way its first argument names, for the crash tests.
// "debugger" as second argument makes the library believe a debugger is attached.
#include "AppInterface.h"
#include "InputInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "WindowInterface.h"
#include "support/import_patch.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

// Exported, so that the report's call stack can name them: the test looks for them there.
extern "C" __declspec(dllexport) __attribute__((noinline)) void crashByWriting(int* address) {
    *address = 1;
}
extern "C" __declspec(dllexport) __attribute__((noinline)) void throwFromGame(const char* what) {
    throw std::runtime_error(what);
}

namespace {

std::string g_mode;
// Volatile, so the compiler cannot see the bad accesses coming.
int* volatile g_badAddress = reinterpret_cast<int*>(16);
volatile bool g_keepRecursing = true;

// Unbuffered, so nothing is lost when the filter terminates the process.
void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
}

void firstCallback() {
    say("first callback ran\n");
    // Gives the other faulting thread time to reach the filter too.
    if (g_mode == "twothreads")
        Sleep(300);
    if (g_mode == "callback")
        *(g_badAddress - 4) = 1;
}

void secondCallback() {
    say("second callback ran\n");
}

__attribute__((noinline)) int recurse(int depth) {
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    if (g_keepRecursing)
        return recurse(depth + 1) + page[0];
    return page[0];
}

LRESULT CALLBACK faultingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        *g_badAddress = 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

void faultInWindowProcedure() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = faultingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CrashChildWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "CrashChildWindow", "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    PostMessageA(window, WM_APP, 0, 0);
    MainInterface::i()->pumpMessages();
}

DWORD WINAPI faultingThread(void*) {
    crashByWriting(g_badAddress);
    return 0;
}

HANDLE g_go = nullptr;

DWORD WINAPI faultOnSignal(void*) {
    WaitForSingleObject(g_go, INFINITE);
    crashByWriting(g_badAddress);
    return 0;
}

// Two threads fault at the same moment; only one report may stand.
void faultInTwoThreads() {
    g_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[2];
    for (HANDLE& thread : threads)
        thread = CreateThread(nullptr, 0, faultOnSignal, nullptr, 0, nullptr);
    Sleep(50);
    SetEvent(g_go);
    WaitForMultipleObjects(2, threads, TRUE, 30000);
}

// Overwrites the bookkeeping in front of a process-heap block, then faults.
void corruptTheHeapAndFault() {
    char* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 64));
    std::memset(block - 16, 0xcd, 96);
    crashByWriting(g_badAddress);
}

void throwingKeyCallback(unsigned, int, void*) {
    throwFromGame("escaped a key callback");
}

// A key callback throws while the game pumps its window's messages; the game's catch around
// the pump must not see it.
void throwInKeyCallback() {
    void* instance = GetModuleHandleA(nullptr);
    HWND window = nullptr;
    WindowInterface::i()->registerWindowClass(&instance, "CrashChildGame");
    WindowInterface::i()->createWindow(&window, &instance, "game", 0, 320, 240, 32, false);
    InputInterface::i()->initialize();
    InputInterface::i()->setKeyCallback('K', throwingKeyCallback, nullptr);
    PostMessageA(window, WM_KEYDOWN, 'K', 1);
    try {
        MainInterface::i()->pumpMessages();
    } catch (...) {
        say("caught outside the library\n");
    }
}

void crash() {
    if (g_mode == "read" || g_mode == "callback") {
        volatile int value = *g_badAddress;
        (void)value;
    } else if (g_mode == "write") {
        crashByWriting(g_badAddress);
    } else if (g_mode == "null-call") {
        void (*volatile function)() = nullptr;
        function();
    } else if (g_mode == "illegal") {
        asm volatile("ud2");
    } else if (g_mode == "divide") {
        volatile int zero = 0;
        volatile int quotient = 10 / zero;
        (void)quotient;
    } else if (g_mode == "overflow") {
        recurse(0);
    } else if (g_mode == "cxx") {
        throwFromGame("escaped run");
    } else if (g_mode == "keycallback") {
        throwInKeyCallback();
    } else if (g_mode == "twothreads") {
        faultInTwoThreads();
    } else if (g_mode == "heap") {
        corruptTheHeapAndFault();
    } else if (g_mode == "abort") {
        std::abort();
    } else if (g_mode == "wndproc") {
        faultInWindowProcedure();
    } else if (g_mode == "thread") {
        HANDLE thread = CreateThread(nullptr, 0, faultingThread, nullptr, 0, nullptr);
        WaitForSingleObject(thread, 30000);
    }
}

class CrashingGame : public AppInterface {
public:
    const char* name() const override { return "crash child"; }
    int run() override {
        say(MainInterface::i()->getInstance() == GetModuleHandleA(nullptr) ? "instance set\n"
                                                                           : "instance wrong\n");
        crash();
        say("run returned\n");
        return 5;
    }
};

int g_filterInstalls = 0;

bool reportDebugger() {
    return true;
}

LPTOP_LEVEL_EXCEPTION_FILTER WINAPI countFilterInstall(LPTOP_LEVEL_EXCEPTION_FILTER) {
    ++g_filterInstalls;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    g_mode = argc > 1 ? argv[1] : "";
    bool debugger = argc > 2 && std::strcmp(argv[2], "debugger") == 0;
    HMODULE platform = GetModuleHandleA("platform.dll");
    ImportPatch debuggerPatch(debugger ? platform : nullptr, "diagnostics.dll",
                              "dbIsDebuggerPresent", reinterpret_cast<void*>(reportDebugger));
    ImportPatch filterPatch(debugger ? platform : nullptr, "kernel32.dll",
                            "SetUnhandledExceptionFilter",
                            reinterpret_cast<void*>(countFilterInstall));

    say(MainInterface::i()->getInstance() == nullptr ? "no instance before\n"
                                                     : "instance before\n");
    Plat::App::AddCrashCallback(firstCallback, nullptr);
    Plat::App::AddCrashCallback(secondCallback, nullptr);
    CrashingGame game;
    int result =
        Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW, &game);
    char line[128];
    wsprintfA(line, "PlatWinMain returned %d, filter installs %d, services %s\n", result,
              g_filterInstalls,
              NamedInterface::i() && MainInterface::i() ? "reachable" : "missing");
    say(line);
    return 0;
}
