// Typed characters and raw mouse batches through the library against the raw Win32 calls doing
// the same job, and heap use per frame.
#include "bench.h"

#include "InputInterface.h"
#include "MainInterface.h"
#include "MouseMotionInterface.h"
#include "TextInputInterface.h"
#include "WindowInterface.h"

namespace {

const unsigned benchKey = 'K';
unsigned long long g_characters = 0;

// The raw side: a plain window whose procedure leaves everything to the default one.
HWND createPlainWindow(HINSTANCE instance) {
    WNDCLASSA plainClass = {};
    plainClass.lpfnWndProc = DefWindowProcA;
    plainClass.hInstance = instance;
    plainClass.lpszClassName = "TextBenchPlain";
    RegisterClassA(&plainClass);
    return CreateWindowExA(0, "TextBenchPlain", "raw", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr,
                           instance, nullptr);
}

void rawPump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Moves the mouse by one count a report, the given number of times.
void injectMotion(unsigned reports) {
    INPUT moves[32] = {};
    for (unsigned i = 0; i < reports && i < 32; ++i) {
        moves[i].type = INPUT_MOUSE;
        moves[i].mi.dx = 1;
        moves[i].mi.dwFlags = MOUSEEVENTF_MOVE;
    }
    SendInput(reports, moves, sizeof(INPUT));
}

// Nanoseconds per read of a batch of reports injected before each read, best of five.
template <class Read> double nanosecondsPerBatch(unsigned batches, unsigned reports, Read read) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        LONGLONG ticks = 0;
        for (unsigned i = 0; i < batches; ++i) {
            injectMotion(reports);
            LARGE_INTEGER start, stop;
            QueryPerformanceCounter(&start);
            read();
            QueryPerformanceCounter(&stop);
            ticks += stop.QuadPart - start.QuadPart;
        }
        const double ns = double(ticks) * 1e9 / double(frequency.QuadPart) / batches;
        best = ns < best ? ns : best;
    }
    return best;
}

} // namespace

BENCH_CASE(typedCharacter) {
    void* instance = GetModuleHandleA(nullptr);
    WindowInterface* windows = WindowInterface::i();
    TextInputInterface* text = TextInputInterface::i();
    MainInterface* main = MainInterface::i();
    HWND game = nullptr;
    windows->registerWindowClass(&instance, "TextBench");
    if (!windows->createWindow(&game, &instance, "text bench", 0, 320, 240, 32, false) ||
        !InputInterface::i()->initialize()) {
        std::printf("no game window or key table\n");
        return;
    }
    text->setTextCallback([](unsigned, void*) { ++g_characters; }, nullptr);
    text->startTextInput();
    main->pumpMessages();

    unsigned read[TextInputInterface::queueCapacity];
    const unsigned characters = 20000;
    HWND plain = createPlainWindow(static_cast<HINSTANCE>(instance));
    // A character posted as WM_CHAR, and one typed as a key press that the loop translates; the
    // press also records the cursor in the key table, which under Wine asks the X server, so
    // the last line adds GetCursorPos to the raw side as the key press benchmark does.
    const UINT messages[] = {WM_CHAR, WM_KEYDOWN, WM_KEYDOWN};
    const char* names[] = {"typed character (WM_CHAR) vs post+dispatch",
                           "typed key+character vs post+translate+dispatch",
                           "typed key+character vs raw+GetCursorPos"};
    POINT cursor;
    for (int kind = 0; kind < 3; ++kind) {
        const WPARAM wParam = messages[kind] == WM_CHAR ? 'k' : benchKey;
        double ours = nanosecondsPerCall(characters, [&] {
            PostMessageA(game, messages[kind], wParam, 0);
            main->pumpMessages();
            text->readText(read, TextInputInterface::queueCapacity);
        });
        double raw = nanosecondsPerCall(characters, [&] {
            PostMessageA(plain, messages[kind], wParam, 0);
            rawPump();
            if (kind == 2)
                GetCursorPos(&cursor);
        });
        reportRatio(names[kind], ours, raw);
    }

    g_characters = 0;
    const unsigned long long before = allocationsSoFar();
    for (unsigned i = 0; i < characters; ++i) {
        PostMessageA(game, WM_CHAR, 'k', 0);
        main->pumpMessages();
        text->readText(read, TextInputInterface::queueCapacity);
    }
    reportCount("heap allocations per typed character",
                double(allocationsSoFar() - before) / characters);
    reportCount("callbacks per typed character", double(g_characters) / characters);

    DestroyWindow(plain);
    text->stopTextInput();
    text->setTextCallback(nullptr, nullptr);
    InputInterface::i()->shutdown();
    windows->destroyWindow(0, 0);
    main->pumpMessages();
    windows->unregisterWindowClass(&instance, "TextBench");
}

BENCH_CASE(rawMouseBatch) {
    void* instance = GetModuleHandleA(nullptr);
    WindowInterface* windows = WindowInterface::i();
    MouseMotionInterface* motion = MouseMotionInterface::i();
    MainInterface* main = MainInterface::i();
    HWND game = nullptr;
    windows->registerWindowClass(&instance, "MouseBench");
    if (!windows->createWindow(&game, &instance, "mouse bench", 0, 320, 240, 32, false) ||
        !InputInterface::i()->initialize()) {
        std::printf("no game window or key table\n");
        return;
    }
    SetForegroundWindow(game);
    main->pumpMessages();
    if (motion->setRawMotion(true) != MouseMotionInterface::raw) {
        std::printf("no raw input on this system\n");
    } else {
        const unsigned batches = 500, reports = 16;
        int dx = 0, dy = 0;
        long rawX = 0;
        double ours = nanosecondsPerBatch(batches, reports, [&] { motion->readMotion(&dx, &dy); });
        // The reading loop a game would write: each WM_INPUT message and its GetRawInputData.
        double raw = nanosecondsPerBatch(batches, reports, [&] {
            MSG message;
            while (PeekMessageA(&message, nullptr, WM_INPUT, WM_INPUT, PM_REMOVE)) {
                RAWINPUT report;
                UINT size = sizeof report;
                if (GetRawInputData(reinterpret_cast<HRAWINPUT>(message.lParam), RID_INPUT, &report,
                                    &size, sizeof(RAWINPUTHEADER)) != UINT(-1))
                    rawX += report.data.mouse.lLastX;
            }
        });
        reportRatio("raw mouse batch of 16 vs GetRawInputData loop", ours, raw);

        const unsigned long long before = allocationsSoFar();
        for (unsigned i = 0; i < batches; ++i) {
            injectMotion(reports);
            motion->readMotion(&dx, &dy);
        }
        reportCount("heap allocations per raw mouse frame",
                    double(allocationsSoFar() - before) / batches);
        motion->setRawMotion(false);
    }
    InputInterface::i()->shutdown();
    windows->destroyWindow(0, 0);
    main->pumpMessages();
    windows->unregisterWindowClass(&instance, "MouseBench");
}
