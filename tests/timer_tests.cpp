// The exported Timer on the platform DLL's counter queries, scripted, so every reading is exact.
#include "Timer.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

const long long testFrequency = 10000000;
long long g_counter = 0, g_frequency = testFrequency;

BOOL WINAPI scriptedCounter(LARGE_INTEGER* now) {
    now->QuadPart = g_counter;
    return TRUE;
}

BOOL WINAPI scriptedFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = g_frequency;
    return TRUE;
}

ImportPatch g_counterPatch{GetModuleHandleA("platform.dll"), "kernel32.dll",
                           "QueryPerformanceCounter", reinterpret_cast<void*>(scriptedCounter)};
ImportPatch g_frequencyPatch{GetModuleHandleA("platform.dll"), "kernel32.dll",
                             "QueryPerformanceFrequency",
                             reinterpret_cast<void*>(scriptedFrequency)};

// Two segments, the unit set again between them, read while the second runs and once stopped:
// scaled by the timer's own frequency (none: only ticks), less the overhead and never below 0;
// products beyond 64 bits keep their size and quotients beyond them saturate.
TEST(Timer, SegmentsAddUpAndReadInEveryUnitUntilARestart) {
    ASSERT_TRUE(g_counterPatch.active() && g_frequencyPatch.active());
    const long long huge = 1LL << 62;
    const std::tuple<Timer::timerResolution, long long, long long, long long, float, long long>
        rows[] = {
            {Timer::seconds, testFrequency, 0, 25000000, 2.5f, 2},
            {Timer::milliseconds, testFrequency, 0, 25000000, 2500.0f, 2500},
            {Timer::microseconds, testFrequency, 0, 25000000, 2500000.0f, 2500000},
            {Timer::ticks, testFrequency, 0, 25000000, 25000000.0f, 25000000},
            {Timer::microseconds, testFrequency, 10, 810, 80.0f, 80},
            {Timer::seconds, testFrequency, 500, 499, 0.0f, 0},
            {Timer::milliseconds, 0, 0, 500, 0.0f, 0},
            {Timer::ticks, 0, 0, 500, 500.0f, 500},
            {Timer::microseconds, 1000000, 0, huge, float(huge), huge},
            {Timer::microseconds, 1, 0, huge, float(huge) * 1e6f, LLONG_MAX},
        };
    for (const auto& [resolution, frequency, overhead, ticks, real, whole] : rows) {
        g_frequency = frequency;
        Timer::setOverheadTicks(overhead);
        Timer timer(resolution);
        g_frequency = testFrequency / 2;
        g_counter = 1;
        timer.start();
        g_counter += ticks / 2;
        timer.stop();
        timer.setResolution(resolution);
        g_counter = 1000;
        timer.start();
        g_counter += ticks - ticks / 2;
        EXPECT_FLOAT_EQ(real, timer.getElapsedTimeReal()) << resolution << " " << ticks;
        timer.stop();
        EXPECT_EQ(whole, timer.getElapsedTime()) << resolution << " " << ticks;
        timer.restart();
        EXPECT_TRUE(timer.getElapsedTime() == 0 && timer.getResolution() == resolution);
    }
}

} // namespace
