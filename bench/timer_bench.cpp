// The Timer's costs: a start, stop and reading against the two raw counter queries that
// measure the same span, and heap use per reading.
#include "bench.h"

#include "Timer.h"

BENCH_CASE(timer) {
    volatile long long sink = 0;
    Timer timer(Timer::microseconds);
    double ours = nanosecondsPerCall(200000, [&] {
        timer.start();
        timer.stop();
        sink = timer.getElapsedTime();
        timer.reset();
    });
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    double raw = nanosecondsPerCall(200000, [&] {
        QueryPerformanceCounter(&begin);
        QueryPerformanceCounter(&end);
        sink = (end.QuadPart - begin.QuadPart) * 1000000 / frequency.QuadPart;
    });
    reportRatio("Timer start+stop+read vs 2x QueryPerformanceCounter", ours, raw);

    const unsigned readings = 100000;
    timer.start();
    unsigned long long before = allocationsSoFar();
    for (unsigned i = 0; i < readings; ++i)
        sink = timer.getElapsedTime() + static_cast<long long>(timer.getElapsedTimeReal());
    reportCount("heap allocations per reading", double(allocationsSoFar() - before) / readings);
    reportCount("calibrated overhead (ticks)", double(Timer::getOverheadTicks()));
    (void)sink;
}
