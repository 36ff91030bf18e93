// The overhead measurement against a scripted counter: as the library's load steps run it
// (this program links them), and run directly.
#include "Timer.h"
#include "support/import_patch.h"
#include "sys/timer_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

// Readings handed out in order; once they run out, each query answers 7 ticks after the last.
// Plain arrays, so they hold before any constructor runs.
long long g_readings[6];
unsigned g_readingCount = 0;
unsigned g_calls = 0;
long long g_last = 0;

BOOL WINAPI scriptedCounter(LARGE_INTEGER* now) {
    now->QuadPart = g_calls < g_readingCount ? g_readings[g_calls] : g_last + 7;
    g_last = now->QuadPart;
    ++g_calls;
    return TRUE;
}

// Patched before the load steps' own static object runs, which default priority guarantees.
__attribute__((init_priority(101)))
ImportPatch g_counterPatch{GetModuleHandleA(nullptr), "kernel32.dll", "QueryPerformanceCounter",
                           reinterpret_cast<void*>(scriptedCounter)};

// First, before any test stores an overhead of its own.
TEST(Calibration, TheLoadStepsMeasureAStartStopPair) {
    ASSERT_TRUE(g_counterPatch.active());
    EXPECT_EQ(7, Timer::getOverheadTicks());
}

TEST(Calibration, AveragesTwoPairsAfterAWarmUpPairUnlessAnOverheadIsSet) {
    // A warm-up pair of 300 ticks, then pairs of 7 and 10.
    const long long readings[] = {100, 400, 1000, 1007, 2000, 2010};
    std::copy(std::begin(readings), std::end(readings), g_readings);
    g_readingCount = 6;
    g_calls = 0;
    Timer::setOverheadTicks(5);
    calibrateTimerOverhead();
    EXPECT_EQ(0u, g_calls);
    EXPECT_EQ(5, Timer::getOverheadTicks());

    Timer::setOverheadTicks(0);
    calibrateTimerOverhead();
    EXPECT_EQ(6u, g_calls);
    EXPECT_EQ(8, Timer::getOverheadTicks()) << "(7 + 10) / 2, truncated";
}

} // namespace
