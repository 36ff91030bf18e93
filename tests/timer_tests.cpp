// The exported Timer with the platform DLL's counter queries scripted through its import
// table, so every reading is exact; one case runs on the real counter.
#include "Timer.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

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
        HMODULE platform = GetModuleHandleA("platform.dll");
        m_counter.reset(new ImportPatch(platform, "kernel32.dll", "QueryPerformanceCounter",
                                        reinterpret_cast<void*>(scriptedCounter)));
        m_frequency.reset(new ImportPatch(platform, "kernel32.dll", "QueryPerformanceFrequency",
                                          reinterpret_cast<void*>(scriptedFrequency)));
        ASSERT_TRUE(m_counter->active());
        ASSERT_TRUE(m_frequency->active());
        g_counter = 1000;
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
    std::unique_ptr<ImportPatch> m_counter;
    std::unique_ptr<ImportPatch> m_frequency;
};

const Timer::timerResolution allResolutions[] = {Timer::microseconds, Timer::milliseconds,
                                                 Timer::seconds, Timer::ticks,
                                                 static_cast<Timer::timerResolution>(7)};

TEST_F(TimerTest, ANewTimerIsStoppedAtZeroInEveryResolution) {
    for (Timer::timerResolution resolution : allResolutions) {
        Timer timer(resolution);
        EXPECT_EQ(resolution, timer.getResolution());
        EXPECT_FALSE(timer.isTimerRunning());
        EXPECT_EQ(0, timer.getElapsedTime()) << resolution;
        EXPECT_EQ(0.0f, timer.getElapsedTimeReal()) << resolution;
        timer.stop();
        EXPECT_FALSE(timer.isTimerRunning());
        EXPECT_EQ(0, timer.getElapsedTime()) << "stop on a stopped timer does nothing";
    }
    EXPECT_EQ(Timer::microseconds, Timer().getResolution());
}

TEST_F(TimerTest, SegmentsAddUpAndTheOverheadIsTakenOncePerReading) {
    Timer::setOverheadTicks(10);
    Timer timer(Timer::ticks);
    segment(timer, 100, 400);
    segment(timer, 1000, 1500);
    EXPECT_EQ(790, timer.getElapsedTime());
    EXPECT_EQ(790.0f, timer.getElapsedTimeReal());
    EXPECT_EQ(790, timer.getElapsedTime()) << "a reading changes nothing";

    Timer scaled(Timer::microseconds);
    segment(scaled, 100, 400);
    segment(scaled, 1000, 1510);
    EXPECT_EQ(80, scaled.getElapsedTime()) << "800 corrected ticks at 10 MHz";
}

TEST_F(TimerTest, ARunningTimerReadsItsRunningSegmentAndKeepsRunning) {
    Timer timer(Timer::ticks);
    segment(timer, 100, 300);
    g_counter = 1000;
    timer.start();
    g_counter = 1600;
    EXPECT_EQ(800, timer.getElapsedTime());
    EXPECT_TRUE(timer.isTimerRunning());
    g_counter = 1900;
    EXPECT_EQ(1100.0f, timer.getElapsedTimeReal());

    g_counter = 5000;
    timer.start(); // begins a new segment: the running one is dropped
    g_counter = 5050;
    timer.stop();
    EXPECT_EQ(250, timer.getElapsedTime());
    EXPECT_FALSE(timer.isTimerRunning());
}

TEST_F(TimerTest, ResetRestartAndAChangeOfResolutionClearTheTotal) {
    Timer timer(Timer::ticks);
    segment(timer, 100, 300);
    g_counter = 1000;
    timer.start();
    timer.setResolution(Timer::ticks);
    EXPECT_TRUE(timer.isTimerRunning()) << "the same resolution changes nothing";
    g_counter = 1100;
    EXPECT_EQ(300, timer.getElapsedTime());

    timer.setResolution(Timer::seconds);
    EXPECT_EQ(Timer::seconds, timer.getResolution());
    EXPECT_FALSE(timer.isTimerRunning());
    EXPECT_EQ(0, timer.getElapsedTime());
    g_counter = 1000 + 5 * testFrequency;
    EXPECT_EQ(0, timer.getElapsedTime()) << "stopped at 0";

    timer.setResolution(Timer::ticks);
    segment(timer, 100, 300);
    g_counter = 2000;
    timer.restart();
    EXPECT_TRUE(timer.isTimerRunning());
    g_counter = 2040;
    EXPECT_EQ(40, timer.getElapsedTime()) << "restart runs from 0";
    timer.reset();
    EXPECT_FALSE(timer.isTimerRunning());
    EXPECT_EQ(0, timer.getElapsedTime());
}

TEST_F(TimerTest, AnOverheadAboveTheTicksReadsZero) {
    Timer::setOverheadTicks(500);
    for (Timer::timerResolution resolution : allResolutions) {
        Timer timer(resolution);
        segment(timer, 100, 599);
        EXPECT_EQ(0, timer.getElapsedTime()) << resolution;
        EXPECT_EQ(0.0f, timer.getElapsedTimeReal()) << resolution;
    }
}

TEST_F(TimerTest, TwoAndAHalfSecondsInEachResolution) {
    const struct {
        Timer::timerResolution resolution;
        float real;
        long long whole;
    } cases[] = {
        {Timer::seconds, 2.5f, 2},
        {Timer::milliseconds, 2500.0f, 2500},
        {Timer::microseconds, 2500000.0f, 2500000},
        {Timer::ticks, 25000000.0f, 25000000},
        {static_cast<Timer::timerResolution>(4), 25000000.0f, 25000000},
    };
    for (const auto& c : cases) {
        Timer timer(c.resolution);
        segment(timer, 1, 1 + 25000000);
        EXPECT_EQ(c.real, timer.getElapsedTimeReal()) << c.resolution;
        EXPECT_EQ(c.whole, timer.getElapsedTime()) << c.resolution;
    }
}

TEST_F(TimerTest, CopiesKeepTheFrequencyTheyWereMadeWith) {
    Timer original(Timer::milliseconds);
    segment(original, 100, 100 + testFrequency);
    g_frequency = testFrequency / 2;
    Timer copy(Timer::seconds);
    EXPECT_EQ(&copy, &(copy = original));
    EXPECT_EQ(Timer::milliseconds, copy.getResolution());
    EXPECT_EQ(1000, copy.getElapsedTime()) << "read with the original's frequency";
    g_counter = 7000;
    original.start();
    copy = original;
    EXPECT_TRUE(copy.isTimerRunning());
}

TEST_F(TimerTest, WithoutAFrequencyOnlyTicksRead) {
    g_frequency = 0;
    Timer scaled(Timer::milliseconds);
    Timer raw(Timer::ticks);
    segment(scaled, 100, 600);
    segment(raw, 100, 600);
    EXPECT_EQ(0, scaled.getElapsedTime());
    EXPECT_EQ(0.0f, scaled.getElapsedTimeReal());
    EXPECT_EQ(500, raw.getElapsedTime());
}

TEST_F(TimerTest, ReadingsBeyondTheExactProductKeepTheirSize) {
    const long long huge = 1LL << 62;
    Timer timer(Timer::microseconds);
    segment(timer, 1, 1 + huge);
    EXPECT_NEAR(double(huge) / 10, double(timer.getElapsedTime()), 1e4)
        << "2^62 ticks at 10 MHz, not a wrapped product";
    g_frequency = 1;
    Timer tooLong(Timer::microseconds);
    segment(tooLong, 1, 1 + huge);
    EXPECT_EQ(LLONG_MAX, tooLong.getElapsedTime()) << "a quotient beyond 64 bits saturates";
}

TEST(TimerOnTheRealCounter, MeasuresASleep) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency.QuadPart, Timer::getWindowsTimerFrequency());
    EXPECT_GE(Timer::getOverheadTicks(), 0) << "calibrated at load";
    EXPECT_LT(Timer::getOverheadTicks(), frequency.QuadPart / 10);
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
