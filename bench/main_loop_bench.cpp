// The main loop's costs: an empty pump against the raw calls it makes, service lookup by
// name against the accessor, and heap use per pumped message.
#include "bench.h"

#include "MainInterface.h"
#include "NamedInterface.h"

BENCH_CASE(mainLoop) {
    MainInterface* main = MainInterface::i();
    MSG message;
    double ours = nanosecondsPerCall(20000, [&] { main->pumpMessages(); });
    double raw = nanosecondsPerCall(20000, [&] {
        Sleep(0);
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    });
    reportRatio("empty pumpMessages vs Sleep(0)+PeekMessageA", ours, raw);

    volatile void* sink = nullptr;
    NamedInterface* registry = NamedInterface::i();
    double byName = nanosecondsPerCall(200000, [&] { sink = registry->getInterface("main"); });
    double byAccessor = nanosecondsPerCall(200000, [&] { sink = MainInterface::i(); });
    reportRatio("getInterface(\"main\") vs MainInterface::i()", byName, byAccessor);

    const unsigned messages = 10000;
    DWORD thread = GetCurrentThreadId();
    unsigned long long before = allocationsSoFar();
    for (unsigned i = 0; i < messages; ++i) {
        PostThreadMessageA(thread, WM_APP, 0, 0);
        main->pumpMessages();
    }
    reportCount("heap allocations per pumped message",
                double(allocationsSoFar() - before) / messages);
    (void)sink;
}
