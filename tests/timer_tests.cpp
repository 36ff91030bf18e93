// The exported Timer with the platform DLL's counter queries scripted through its import
// table, so every reading is exact; one case runs on the real counter.
#include "Timer.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const long long testFrequency = 10000000;
long long g_counter = 0;
long long g_frequency = testFrequency;

BOOL WINAPI scriptedCounter(LARGE_INTEGER* now) {
    now->QuadPart = g_counter;
    return TRUE;
}

BOOL WINAPI scriptedFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = g_frequency;
    return TRUE;
}

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_counter.active());
        ASSERT_TRUE(m_frequency.active());
        g_frequency = testFrequency;
        Timer::setOverheadTicks(0);
    }
    void TearDown() override { Timer::setOverheadTicks(m_savedOverhead); }

    // One segment from the counter value begin to end.
    static void segment(Timer& timer, long long begin, long long end) {
        g_counter = begin;
        timer.start();
        g_counter = end;
        timer.stop();
    }

private:
    long long m_savedOverhead = Timer::getOverheadTicks();
    ImportPatch m_counter{GetModuleHandleA("platform.dll"), "kernel32.dll",
                          "QueryPerformanceCounter", reinterpret_cast<void*>(scriptedCounter)};
    ImportPatch m_frequency{GetModuleHandleA("platform.dll"), "kernel32.dll",
                            "QueryPerformanceFrequency",
                            reinterpret_cast<void*>(scriptedFrequency)};
};

// One segment of ticks read in each unit: scaled by the frequency the timer was made with,
// less the overhead and never below 0; values above ticks read as ticks; without a frequency
// only ticks read; products beyond 64 bits keep their size and quotients beyond them saturate.
TEST_F(TimerTest, ASegmentReadsInEveryUnit) {
    const auto other = static_cast<Timer::timerResolution>(7);
    const long long huge = 1LL << 62;
    const struct {
        Timer::timerResolution resolution;
        long long frequency, overhead, ticks;
        float real;
        long long whole;
        double tolerance;
    } rows[] = {
        {Timer::seconds, testFrequency, 0, 25000000, 2.5f, 2, 0},
        {Timer::milliseconds, testFrequency, 0, 25000000, 2500.0f, 2500, 0},
        {Timer::microseconds, testFrequency, 0, 25000000, 2500000.0f, 2500000, 0},
        {Timer::ticks, testFrequency, 0, 25000000, 25000000.0f, 25000000, 0},
        {other, testFrequency, 0, 25000000, 25000000.0f, 25000000, 0},
        {Timer::microseconds, testFrequency, 10, 810, 80.0f, 80, 0},
        {Timer::seconds, testFrequency, 500, 499, 0.0f, 0, 0},
        {Timer::ticks, testFrequency, 500, 499, 0.0f, 0, 0},
        {Timer::milliseconds, 0, 0, 500, 0.0f, 0, 0},
        {Timer::ticks, 0, 0, 500, 500.0f, 500, 0},
        {Timer::microseconds, testFrequency, 0, huge, float(huge / 10), huge / 10, 1e4},
        {Timer::microseconds, 1, 0, huge, float(huge) * 1e6f, LLONG_MAX, 0},
    };
    for (const auto& row : rows) {
        g_frequency = row.frequency;
        Timer::setOverheadTicks(row.overhead);
        Timer timer(row.resolution);
        EXPECT_EQ(row.resolution, timer.getResolution());
        EXPECT_EQ(0, timer.getElapsedTime()) << "a new timer is stopped at 0";
        segment(timer, 1, 1 + row.ticks);
        EXPECT_FLOAT_EQ(row.real, timer.getElapsedTimeReal()) << row.resolution << " " << row.ticks;
        if (row.tolerance == 0) {
            EXPECT_EQ(row.whole, timer.getElapsedTime()) << row.resolution << " " << row.ticks;
        } else {
            EXPECT_NEAR(double(row.whole), double(timer.getElapsedTime()), row.tolerance);
        }
    }
    EXPECT_EQ(Timer::microseconds, Timer().getResolution());
}

TEST_F(TimerTest, SegmentsAddUpAndOnlyResetRestartAndANewUnitClearThem) {
    Timer::setOverheadTicks(10);
    Timer timer(Timer::ticks);
    timer.stop();
    EXPECT_FALSE(timer.isTimerRunning()) << "stop on a stopped timer does nothing";
    segment(timer, 100, 400);
    segment(timer, 1000, 1500);
    EXPECT_EQ(790, timer.getElapsedTime()) << "the overhead is taken once per reading";
    EXPECT_EQ(790, timer.getElapsedTime());
    g_counter = 2000;
    timer.start();
    g_counter = 2600;
    EXPECT_EQ(1390.0f, timer.getElapsedTimeReal()) << "the running segment counts";
    EXPECT_TRUE(timer.isTimerRunning());
    g_counter = 5000;
    timer.start(); // the running segment is dropped
    timer.setResolution(Timer::ticks);
    EXPECT_TRUE(timer.isTimerRunning()) << "the same unit changes nothing";
    g_counter = 5050;
    timer.stop();
    EXPECT_EQ(840, timer.getElapsedTime());

    Timer copy(Timer::seconds);
    copy = timer;
    g_frequency = testFrequency / 2;
    timer.setResolution(Timer::milliseconds);
    EXPECT_FALSE(timer.isTimerRunning());
    EXPECT_EQ(0, timer.getElapsedTime());
    EXPECT_EQ(Timer::ticks, copy.getResolution());
    EXPECT_EQ(840, copy.getElapsedTime()) << "a copy keeps the total";
    Timer::setOverheadTicks(0);
    Timer halfRate(Timer::seconds);
    segment(halfRate, 100, 100 + testFrequency);
    copy = halfRate;
    EXPECT_EQ(2, copy.getElapsedTime()) << "and the frequency the original was made with";

    segment(timer, 100, 300);
    g_counter = 7000;
    timer.restart();
    g_counter = 7000 + testFrequency;
    EXPECT_EQ(1000, timer.getElapsedTime()) << "restart runs from 0";
    timer.reset();
    EXPECT_FALSE(timer.isTimerRunning());
    EXPECT_EQ(0, timer.getElapsedTime());
}

TEST(TimerOnTheRealCounter, MeasuresASleep) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency.QuadPart, Timer::getWindowsTimerFrequency());
    Timer timer(Timer::milliseconds);
    timer.start();
    Sleep(30);
    timer.stop();
    EXPECT_GE(timer.getElapsedTime(), 25);
    EXPECT_LT(timer.getElapsedTime(), 10000);
    const long long earlier = Timer::getCurrentTime();
    EXPECT_GE(Timer::getCurrentTime(), earlier) << "the counter never goes back";
}

} // namespace
