// Measures the Timer overhead that every reading leaves out.
#include "sys/timer_calibration.h"

#include "Timer.h"

namespace {

// One start/stop pair read in raw ticks; the overhead is still 0 while this runs.
long long measuredPair(Timer& timer) {
    timer.start();
    timer.stop();
    const long long pair = timer.getElapsedTime();
    timer.reset();
    return pair;
}

} // namespace

void calibrateTimerOverhead() {
    if (Timer::getOverheadTicks() != 0)
        return;
    Timer timer(Timer::ticks);
    // The first pair pays for cold code and the first counter query, so it is thrown away.
    measuredPair(timer);
    const long long first = measuredPair(timer);
    const long long second = measuredPair(timer);
    Timer::setOverheadTicks((first + second) / 2);
}
