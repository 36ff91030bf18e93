// The stopwatch over the performance counter and its readings.
#include "Timer.h"

#include <windows.h>

#include <climits>

long long Timer::s_overheadTicks = 0;

namespace {

// The ticks of the stopped segments plus the running one, less the overhead, never below 0.
long long correctedTicks(long long elapsedTicks, long long startTime, long long overhead) {
    long long total = elapsedTicks;
    if (startTime != 0)
        total += Timer::getCurrentTime() - startTime;
    total -= overhead;
    return total < 0 ? 0 : total;
}

// Units of a reading per second; 0 for ticks and for unknown values, which are not divided.
long long unitsPerSecond(Timer::timerResolution resolution) {
    switch (resolution) {
    case Timer::microseconds:
        return 1000000;
    case Timer::milliseconds:
        return 1000;
    case Timer::seconds:
        return 1;
    default:
        return 0;
    }
}

// ticks * units / frequency. The product is exact in 64 bits up to LLONG_MAX / units ticks;
// beyond that it is formed in double precision rather than left to wrap. Without a counter
// frequency (no high-resolution counter) nothing can be scaled, so scaled units read 0.
double reading(long long ticks, Timer::timerResolution resolution, long long frequency) {
    const long long units = unitsPerSecond(resolution);
    if (units == 0)
        return double(ticks);
    if (frequency <= 0)
        return 0;
    const double product =
        ticks <= LLONG_MAX / units ? double(ticks * units) : double(ticks) * double(units);
    return product / double(frequency);
}

} // namespace

Timer::Timer(timerResolution resolution)
    : m_resolution(resolution), m_startTime(0), m_frequency(0), m_elapsedTicks(0) {
    m_frequency = getWindowsTimerFrequency();
}

Timer& Timer::operator=(const Timer& other) {
    m_resolution = other.m_resolution;
    m_startTime = other.m_startTime;
    m_frequency = other.m_frequency;
    m_elapsedTicks = other.m_elapsedTicks;
    return *this;
}

Timer::timerResolution Timer::getResolution() const {
    return m_resolution;
}

void Timer::setResolution(timerResolution resolution) {
    if (resolution == m_resolution)
        return;
    m_resolution = resolution;
    reset();
}

void Timer::reset() {
    m_elapsedTicks = 0;
    m_startTime = 0;
}

void Timer::start() {
    m_startTime = getCurrentTime();
}

void Timer::stop() {
    if (m_startTime == 0)
        return;
    m_elapsedTicks += getCurrentTime() - m_startTime;
    m_startTime = 0;
}

void Timer::restart() {
    reset();
    start();
}

bool Timer::isTimerRunning() const {
    return m_startTime != 0;
}

float Timer::getElapsedTimeReal() const {
    const long long total = correctedTicks(m_elapsedTicks, m_startTime, s_overheadTicks);
    return float(reading(total, m_resolution, m_frequency));
}

long long Timer::getElapsedTime() const {
    const long long total = correctedTicks(m_elapsedTicks, m_startTime, s_overheadTicks);
    const double quotient = reading(total, m_resolution, m_frequency);
    // 2^63 itself is already out of range for the conversion.
    return quotient >= 9223372036854775808.0 ? LLONG_MAX : static_cast<long long>(quotient);
}

long long Timer::getCurrentTime() {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

long long Timer::getWindowsTimerFrequency() {
    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

long long Timer::getOverheadTicks() {
    return s_overheadTicks;
}

void Timer::setOverheadTicks(long long overhead) {
    s_overheadTicks = overhead;
}
