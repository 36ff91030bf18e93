// Elapsed time from the high-resolution performance counter.
#pragma once

#include "PlatformExport.h"

// A stopwatch over the performance counter: it adds up the ticks of any number of start/stop
// segments and reads the total in the unit it was made with. Every reading leaves out, once,
// the measured cost of one start/stop pair (the overhead, see setOverheadTicks) and never
// goes below 0. One thread at a time per object; the object owns nothing, so copy it freely.
class PLAT_API Timer {
public:
    enum timerResolution { microseconds = 0, milliseconds = 1, seconds = 2, ticks = 3 };

    // Stopped at 0; the counter's frequency is read now and kept. Values above ticks read as
    // ticks do.
    explicit Timer(timerResolution resolution = microseconds);
    Timer(const Timer&) = default;
    Timer& operator=(const Timer& other);

    timerResolution getResolution() const;
    // A different unit stops the timer at 0; the current one changes nothing.
    void setResolution(timerResolution resolution);

    // Stopped at 0.
    void reset();
    // Begins a segment now; on a running timer the running segment is dropped.
    void start();
    // Adds the running segment to the total; nothing on a stopped timer.
    void stop();
    // Running from 0.
    void restart();
    bool isTimerRunning() const;

    // The total, running segment included, in the timer's unit. Neither changes the timer.
    float getElapsedTimeReal() const;
    // The same quotient in double precision, truncated toward zero: whole units.
    long long getElapsedTime() const;

    static long long getCurrentTime();
    static long long getWindowsTimerFrequency();
    // The ticks every reading leaves out: measured once when the library loads, unless
    // setOverheadTicks stored a value first.
    static long long getOverheadTicks();
    static void setOverheadTicks(long long overhead);

private:
    timerResolution m_resolution;
    long long m_startTime; // 0 while stopped
    long long m_frequency;
    long long m_elapsedTicks; // the stopped segments only
    static long long s_overheadTicks;
};
