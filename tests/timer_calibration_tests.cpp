// The load-time overhead measurement, run directly against a scripted counter.
#include "Timer.h"
#include "support/import_patch.h"
#include "sys/timer_calibration.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<long long> g_readings;
unsigned g_calls = 0;

// Answers each query with the next scripted value.
BOOL WINAPI scriptedCounter(LARGE_INTEGER* now) {
    now->QuadPart = g_calls < g_readings.size() ? g_readings[g_calls] : -1;
    ++g_calls;
    return TRUE;
}

class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_patch.active());
        // Warm-up pair of 300 ticks, then pairs of 7 and 10.
        g_readings = {100, 400, 1000, 1007, 2000, 2010};
        g_calls = 0;
    }
    void TearDown() override { Timer::setOverheadTicks(0); }

private:
    ImportPatch m_patch{GetModuleHandleA(nullptr), "kernel32.dll", "QueryPerformanceCounter",
                        reinterpret_cast<void*>(scriptedCounter)};
};

TEST_F(CalibrationTest, AveragesTwoPairsAfterAWarmUpPair) {
    Timer::setOverheadTicks(0);
    calibrateTimerOverhead();
    EXPECT_EQ(6u, g_calls);
    EXPECT_EQ(8, Timer::getOverheadTicks()) << "(7 + 10) / 2, truncated";
}

TEST_F(CalibrationTest, AnOverheadSetAlreadyIsKept) {
    Timer::setOverheadTicks(5);
    calibrateTimerOverhead();
    EXPECT_EQ(0u, g_calls);
    EXPECT_EQ(5, Timer::getOverheadTicks());
}

} // namespace
