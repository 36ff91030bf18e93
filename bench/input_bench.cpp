// A key press through the whole input path (post, pumpMessages, the window procedure, the
// key table and one callback) against the raw post and dispatch to DefWindowProcA, and heap
// use per key event.
#include "bench.h"

#include "InputInterface.h"
#include "MainInterface.h"
#include "WindowInterface.h"

namespace {

const unsigned benchKey = 'K';
unsigned long long g_keyCalls = 0;

void countKey(unsigned, int, void*) {
    ++g_keyCalls;
}

// The raw side: a plain window whose procedure leaves everything to the default one.
HWND createPlainWindow(HINSTANCE instance) {
    WNDCLASSA plainClass = {};
    plainClass.lpfnWndProc = DefWindowProcA;
    plainClass.hInstance = instance;
    plainClass.lpszClassName = "InputBenchPlain";
    RegisterClassA(&plainClass);
    return CreateWindowExA(0, "InputBenchPlain", "raw", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr,
                           instance, nullptr);
}

} // namespace

BENCH_CASE(inputKeyPress) {
    void* instance = GetModuleHandleA(nullptr);
    WindowInterface* windows = WindowInterface::i();
    InputInterface* input = InputInterface::i();
    MainInterface* main = MainInterface::i();
    HWND game = nullptr;
    windows->registerWindowClass(&instance, "InputBench");
    if (!windows->createWindow(&game, &instance, "input bench", 0, 320, 240, 32, false) ||
        !input->initialize()) {
        std::printf("no game window or key table\n");
        return;
    }
    input->setKeyCallback(benchKey, countKey, nullptr);
    main->pumpMessages();

    const unsigned presses = 20000;
    double ours = nanosecondsPerCall(presses, [&] {
        PostMessageA(game, WM_KEYDOWN, benchKey, 0);
        main->pumpMessages();
    });
    HWND plain = createPlainWindow(static_cast<HINSTANCE>(instance));
    MSG message;
    auto postAndDispatch = [&] {
        PostMessageA(plain, WM_KEYDOWN, benchKey, 0);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    };
    double raw = nanosecondsPerCall(presses, postAndDispatch);
    reportRatio("key press end to end vs post+dispatch raw", ours, raw);
    // Every press records the cursor position. Under Wine, GetCursorPos asks the X server
    // whenever the cursor has not moved for 100 ms, which costs more than the rest of the path;
    // this line shows what the library adds beyond that call.
    POINT cursor;
    double rawWithCursor = nanosecondsPerCall(presses, [&] {
        postAndDispatch();
        GetCursorPos(&cursor);
    });
    reportRatio("key press end to end vs raw+GetCursorPos", ours, rawWithCursor);

    const unsigned events = 10000;
    g_keyCalls = 0;
    unsigned long long before = allocationsSoFar();
    for (unsigned i = 0; i < events; ++i) {
        PostMessageA(game, i % 2 ? WM_KEYUP : WM_KEYDOWN, benchKey, 0);
        main->pumpMessages();
    }
    reportCount("heap allocations per key event", double(allocationsSoFar() - before) / events);
    reportCount("key callbacks per key event", double(g_keyCalls) / events);

    DestroyWindow(plain);
    input->clearKeyCallback(benchKey);
    input->shutdown();
    windows->destroyWindow(0, 0);
    main->pumpMessages();
    windows->unregisterWindowClass(&instance, "InputBench");
}
