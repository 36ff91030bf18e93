// A game that crashes in the way its first argument names, for the crash tests; later
// arguments fake a debugger, leave out the crash callbacks or refuse dbghelp.
#include "InputInterface.h"
#include "MainInterface.h"
#include "PlatApp.h"
#include "WindowInterface.h"
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "support/import_patch.h"

#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

// Exported, so that the report's call stack can name them: each row looks for the function
// that crashed there.
#define CRASHER extern "C" __declspec(dllexport) __attribute__((noinline))
int* volatile g_badAddress = reinterpret_cast<int*>(16); // volatile: the faults stay unseen
volatile int g_sink = 0;                                 // read into, and divided by while still 0

CRASHER void crashByWriting(int* address) {
    *address = 1;
}
CRASHER void crashByReading() {
    g_sink = *g_badAddress;
}
CRASHER void crashByIllegalInstruction() {
    asm volatile("ud2");
}
CRASHER void crashByDividing() {
    g_sink = 10 / g_sink;
}
CRASHER void callNull() {
    void (*volatile function)() = nullptr;
    function();
    g_sink = 0; // no tail call: the caller's frame stays
}
CRASHER void throwFromGame(const char* what) {
    throw std::runtime_error(what);
}
CRASHER void abortFromGame() {
    std::abort();
}
CRASHER int recurseForever(int depth) {
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    return g_sink == 0 ? recurseForever(depth + 1) + page[0] : page[0];
}
// 100 frames deep, more than the report's 64 lines, then a fault.
CRASHER int recurseThenCrash(int depth) {
    if (depth == 100)
        crashByWriting(g_badAddress);
    return depth < 100 ? recurseThenCrash(depth + 1) + g_sink : g_sink;
}
#if defined(__x86_64__)
#define REGISTER(name) "%%r" name
#else
#define REGISTER(name) "%%e" name
#endif
// The saved frame pointer points at itself: a walk that follows it goes round for ever.
CRASHER __attribute__((optimize("no-omit-frame-pointer"))) void faultInFrameCycle() {
    asm volatile("mov " REGISTER("bp") ", (" REGISTER("bp") ")\n\tmovl $1, 16" : :);
}
// The stack pointer lies in garbage: words that point into the garbage itself.
CRASHER __attribute__((optimize("no-omit-frame-pointer"))) void faultOnGarbageStack() {
    volatile ULONG_PTR garbage[1024];
    for (int i = 0; i < 1024; ++i)
        garbage[i] = reinterpret_cast<ULONG_PTR>(&garbage[(i * 613) % 1024]);
    asm volatile("mov %0, " REGISTER("sp") "\n\tmovl $1, 16" : : "r"(&garbage[512]));
}

namespace {

std::string g_mode;
HANDLE g_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// Unbuffered, so nothing is lost when the filter terminates the process.
void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
}

// Tells whether the error log exists yet: the callbacks must run before it is written.
void firstCallback() {
    char pattern[MAX_PATH];
    GetModuleFileNameA(nullptr, pattern, MAX_PATH);
    lstrcpyA(std::strrchr(pattern, '\\') + 1, "*_ErrorLog.txt");
    WIN32_FIND_DATAA found;
    // The search takes from the process heap, which the heap crash has broken.
    bool written = g_mode != "heap" && FindFirstFileA(pattern, &found) != INVALID_HANDLE_VALUE;
    say(written ? "first callback ran, report written\n" : "first callback ran, no report yet\n");
    if (g_mode == "twothreads" || g_mode == "loader-lock") {
        SetEvent(g_go); // the second thread faults while this one reports
        Sleep(300);
    }
    if (g_mode == "callback")
        *(g_badAddress - 4) = 1;
    if (g_mode == "abort-callback")
        abortFromGame();
}

void secondCallback() {
    say("second callback ran\n");
}

// Decommits a page of the thread's own stack, moves the stack pointer half a page under it
// and writes to address 16: the stack dump runs into the hole, while dispatch and the report
// run on the committed stack below, within the thread's stack bounds as dispatch requires.
CRASHER __attribute__((optimize("no-omit-frame-pointer"))) void faultBelowStackHole() {
    volatile char below[96 * 4096]; // the stack probe on entry commits these pages
    ULONG_PTR hole = reinterpret_cast<ULONG_PTR>(&below[64 * 4096]) & ~ULONG_PTR(4095);
    VirtualFree(reinterpret_cast<void*>(hole), 4096, MEM_DECOMMIT);
    asm volatile("mov %0, " REGISTER("sp") "\n\tmovl $1, 16" : : "r"(hole - 2048));
    below[0] = 0;
}

LRESULT CALLBACK faultingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        crashByWriting(g_badAddress);
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD g_lockHolder = 0;

// Faults once the first thread reports, holding the loader lock when asked to: every
// system call of the report that needs the lock then waits for ever.
DWORD WINAPI faultWhileReporting(void*) {
    WaitForSingleObject(g_go, INFINITE);
    if (g_mode == "loader-lock") {
        auto lock =
            reinterpret_cast<LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*)>(reinterpret_cast<void (*)()>(
                GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
        ULONG_PTR cookie = 0;
        lock(0, nullptr, &cookie);
    }
    crashByReading();
    return 0;
}

DWORD WINAPI throwOnThread(void*) {
    throwFromGame("escaped a worker thread");
    return 0;
}

// memory.dll's lock entry: the holding thread signals once inside and stays there. A report
// that waits for the lock is ended after 20 s with exit code 2, rather than hang the test.
void WINAPI enterAndStay(CRITICAL_SECTION* section) {
    EnterCriticalSection(section);
    if (GetCurrentThreadId() != g_lockHolder)
        return;
    SetEvent(g_go);
    Sleep(20000);
    say("the report waited for the memory lock\n");
    TerminateProcess(GetCurrentProcess(), 2);
}

DWORD WINAPI holdMemoryLock(void*) {
    g_lockHolder = GetCurrentThreadId();
    MemStats stats;
    MemGetStats(&stats);
    return 0;
}

// A game window whose messages the game pumps: a key callback throws, or the window
// procedure faults; the game's catch around the pump must not see either.
void crashWhilePumping(bool inKeyCallback) {
    void* instance = GetModuleHandleA(nullptr);
    HWND window = nullptr;
    WindowInterface::i()->registerWindowClass(&instance, "CrashChildGame");
    WindowInterface::i()->createWindow(&window, &instance, "game", 0, 320, 240, 32, false);
    InputInterface::i()->initialize();
    InputInterface::i()->setKeyCallback(
        'K', [](unsigned, int, void*) { throwFromGame("escaped a key callback"); }, nullptr);
    if (!inKeyCallback)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(faultingProc));
    PostMessageA(window, inKeyCallback ? WM_KEYDOWN : WM_APP, 'K', 1);
    try {
        MainInterface::i()->pumpMessages();
    } catch (...) {
        say("unexpected: caught outside the library\n");
    }
}

void crash() {
    if (g_mode == "read" || g_mode == "callback") {
        crashByReading();
    } else if (g_mode == "write") {
        crashByWriting(g_badAddress);
    } else if (g_mode == "null-call") {
        callNull();
    } else if (g_mode == "illegal") {
        crashByIllegalInstruction();
    } else if (g_mode == "divide") {
        crashByDividing();
    } else if (g_mode == "overflow") {
        recurseForever(0);
    } else if (g_mode == "deep") {
        recurseThenCrash(0);
    } else if (g_mode == "frame-cycle") {
        faultInFrameCycle();
    } else if (g_mode == "garbage-stack") {
        faultOnGarbageStack();
    } else if (g_mode == "cxx") {
        throwFromGame("escaped run");
    } else if (g_mode == "thread-cxx") {
        // The report ends the process; run returning would race it.
        WaitForSingleObject(CreateThread(nullptr, 0, throwOnThread, nullptr, 0, nullptr), INFINITE);
    } else if (g_mode == "keycallback" || g_mode == "wndproc") {
        crashWhilePumping(g_mode == "keycallback");
    } else if (g_mode == "twothreads" || g_mode == "loader-lock") {
        // The second thread's fault comes while the first reports; one report may stand.
        CloseHandle(CreateThread(nullptr, 0, faultWhileReporting, nullptr, 0, nullptr));
        crashByWriting(g_badAddress);
    } else if (g_mode == "heap") {
        // Overwrites the bookkeeping in front of a process-heap block, then faults. Not the
        // next block's: opening the log takes from the heap (the path's conversion), and a
        // damaged free block there would cost the whole report on any system.
        char* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 64));
        std::memset(block - 16, 0xcd, 16 + 64);
        crashByWriting(g_badAddress);
    } else if (g_mode == "memory-lock") {
        ImportPatch stay(GetModuleHandleA("memory.dll"), "kernel32.dll", "EnterCriticalSection",
                         enterAndStay);
        CloseHandle(CreateThread(nullptr, 0, holdMemoryLock, nullptr, 0, nullptr));
        if (stay.active() && WaitForSingleObject(g_go, 10000) == WAIT_OBJECT_0)
            crashByWriting(g_badAddress);
    } else if (g_mode == "stack-hole") {
        faultBelowStackHole();
    } else if (g_mode == "abort" || g_mode == "abort-callback") {
        abortFromGame();
    }
}

// Waits for the upload thread's closing trace and prints it.
void awaitUpload() {
    for (int waited = 0; waited < 1200; ++waited, Sleep(100)) {
        DbRecord record;
        for (unsigned index = 0; dbReadRecord(index, &record); ++index) {
            if (std::strncmp(record.text, "Crash upload: ", 14) == 0 &&
                std::strstr(record.text, " sent, ")) {
                say((std::string(record.text) + "\n").c_str());
                return;
            }
        }
    }
    say("the upload did not end\n");
}

class CrashingGame : public AppInterface {
public:
    const char* name() const override { return "crash child"; }
    int run() override {
        Plat::App::AddCrashBreadcrumb("entered run");
        dbTracefAux("crashing by %s", g_mode.c_str());
        if (g_mode == "upload")
            awaitUpload();
        crash();
        if (g_mode != "none" && g_mode != "upload")
            say("unexpected: run returned\n");
        return 5;
    }
};

int g_filterInstalls = 0;

LPTOP_LEVEL_EXCEPTION_FILTER WINAPI countFilterInstall(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    ++g_filterInstalls;
    return SetUnhandledExceptionFilter(filter);
}

HMODULE WINAPI refuseDbghelp(LPCSTR name) {
    std::string file = name;
    if (file.size() < 11 || lstrcmpiA(name + file.size() - 11, "dbghelp.dll") != 0)
        return LoadLibraryA(name);
    say(("dbghelp refused: " + file + "\n").c_str());
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// The executable's folder refuses new files, as Program Files does a player's process.
HANDLE WINAPI refuseBesideProgram(LPCSTR name, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
    char folder[MAX_PATH];
    GetModuleFileNameA(nullptr, folder, MAX_PATH);
    std::strrchr(folder, '\\')[1] = 0;
    if ((access & GENERIC_WRITE) && _strnicmp(name, folder, std::strlen(folder)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

// Names every library the library loads itself, then loads it.
HMODULE WINAPI recordLoad(LPCSTR name) {
    say(("load " + std::string(name) + "\n").c_str());
    return LoadLibraryA(name);
}

HMODULE WINAPI recordLoadEx(LPCSTR name, HANDLE file, DWORD flags) {
    say(("load " + std::string(name) + "\n").c_str());
    return LoadLibraryExA(name, file, flags);
}

} // namespace

int main(int argc, char** argv) {
    g_mode = argc > 1 ? argv[1] : "";
    auto given = [&](const char* word) {
        return std::find(argv, argv + argc, std::string(word)) != argv + argc;
    };
    HMODULE platform = GetModuleHandleA("platform.dll");
    ImportPatch debugger(
        given("debugger") ? platform : nullptr, "diagnostics.dll", "dbIsDebuggerPresent",
        +[] { return true; });
    ImportPatch dbghelp(given("without-dbghelp") ? GetModuleHandleA("diagnostics.dll") : nullptr,
                        "kernel32.dll", "LoadLibraryA", refuseDbghelp);
    ImportPatch filter(platform, "kernel32.dll", "SetUnhandledExceptionFilter", countFilterInstall);
    const bool refused = given("refused-folder");
    ImportPatch refusedLog(refused ? platform : nullptr, "kernel32.dll", "CreateFileA",
                           refuseBesideProgram);
    ImportPatch refusedDump(refused ? GetModuleHandleA("diagnostics.dll") : nullptr,
                            "kernel32.dll", "CreateFileA", refuseBesideProgram);
    const bool recorded = given("record-loads");
    HMODULE diagnostics = recorded ? GetModuleHandleA("diagnostics.dll") : nullptr;
    ImportPatch loads[] = {{recorded ? platform : nullptr, "kernel32.dll", "LoadLibraryA", recordLoad},
                           {recorded ? platform : nullptr, "kernel32.dll", "LoadLibraryExA", recordLoadEx},
                           {diagnostics, "kernel32.dll", "LoadLibraryA", recordLoad},
                           {diagnostics, "kernel32.dll", "LoadLibraryExA", recordLoadEx}};
    if (given("game-abort-handler"))
        std::signal(SIGABRT, [](int) { say("the game's abort handler ran\n"); });
    if (!given("without-callbacks")) {
        Plat::App::AddCrashCallback(firstCallback, nullptr);
        Plat::App::AddCrashCallback(secondCallback, nullptr);
    }
    Plat::App::SetCrashAnnotation("build", "1234");
    Plat::App::SetCrashAnnotation("level", "Harbour: night");
    // upload URL consent|refused: earlier runs' reports go to URL, with the player's consent.
    if (g_mode == "upload" && argc > 3) {
        const bool on = Plat::App::EnableCrashUpload(argv[2], "CrashChild", "1.2.3",
                                                     std::string(argv[3]) == "consent");
        say(on ? "upload on\n" : "upload off\n");
        if (!on)
            return 0;
    }
    CrashingGame game;
    int result =
        Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW, &game);
    char line[128];
    wsprintfA(line, "PlatWinMain returned %d, filter installs %d\n", result, g_filterInstalls);
    say(line);
    return 0;
}
