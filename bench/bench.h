// A small benchmark harness: each case times our call and the raw Win32 call doing the
// same job in the same run, and prints the ratio; allocation counts come from the memory
// library's statistics.
#pragma once

#include "contracts/memory.h"

#include <windows.h>

#include <cstdio>

typedef void (*BenchFunction)();

// Cases register themselves at start-up and run in registration order.
struct BenchRegistration {
    BenchRegistration(const char* name, BenchFunction function);
};

#define BENCH_CASE(name)                                                                           \
    static void name();                                                                            \
    static BenchRegistration name##Registration(#name, name);                                      \
    static void name()

// Nanoseconds per iteration of body, best of five runs of the given count.
template <class Body> double nanosecondsPerCall(unsigned iterations, Body body) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        for (unsigned i = 0; i < iterations; ++i)
            body();
        QueryPerformanceCounter(&stop);
        double ns = double(stop.QuadPart - start.QuadPart) * 1e9 / double(frequency.QuadPart) /
                    double(iterations);
        if (ns < best)
            best = ns;
    }
    return best;
}

// Heap blocks taken from the memory library since load, all kinds together.
inline unsigned long long allocationsSoFar() {
    MemStats stats;
    MemGetStats(&stats);
    return stats.allocations[memKindSingle] + stats.allocations[memKindArray];
}

inline void reportRatio(const char* what, double ours, double raw) {
    std::printf("%-44s ours %9.1f ns  raw %9.1f ns  ratio %5.2fx\n", what, ours, raw,
                raw > 0 ? ours / raw : 0.0);
}

inline void reportTime(const char* what, double ns) {
    std::printf("%-44s %9.1f ns\n", what, ns);
}

inline void reportCount(const char* what, double count) {
    std::printf("%-44s %9.2f\n", what, count);
}
