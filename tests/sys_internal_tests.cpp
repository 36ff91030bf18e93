// The timer calibration without the DLL, as the load steps (linked here) run it on a counter
// scripted before the first step.
#include "Timer.h"
#include "support/import_patch.h"
#include "sys/timer_calibration.h"

#include <gtest/gtest.h>

namespace {
// A warm-up pair of 300 ticks, then pairs of 7 and 10, then -1 (later readers, such as the
// test runner's clock, get that too); a plain array, so it holds before any constructor runs.
const long long g_readings[] = {100, 400, 1000, 1007, 2000, 2010};
unsigned g_calls = 0;

BOOL WINAPI scriptedCounter(LARGE_INTEGER* now) {
    now->QuadPart = g_calls < 6 ? g_readings[g_calls] : -1;
    ++g_calls;
    return TRUE;
}

// Patched before the load steps' own static object, which has the default priority, runs.
__attribute__((init_priority(101))) ImportPatch g_counterPatch{
    GetModuleHandleA(nullptr), "kernel32.dll", "QueryPerformanceCounter", scriptedCounter};

TEST(Calibration, TheLoadStepsAverageTwoPairsAfterAWarmUpPairUnlessAnOverheadIsSet) {
    ASSERT_TRUE(g_counterPatch.active());
    EXPECT_EQ(8, Timer::getOverheadTicks()) << "(7 + 10) / 2, truncated";
    Timer::setOverheadTicks(5);
    calibrateTimerOverhead();
    EXPECT_EQ(5, Timer::getOverheadTicks());
}

} // namespace
