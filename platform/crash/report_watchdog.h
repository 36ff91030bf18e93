// The report's watchdog: the process ends with exit code 1 when a report cannot finish.
#pragma once

// Starts the watchdog's thread, which waits until a report begins. Called where the filter
// is installed: a thread created after the fault could not start while another thread
// holds the loader lock, which is one of the ways a report hangs.
void startReportWatchdog();

// Tells the watchdog that a report has begun; runs after the fault, so it only signals.
void armReportWatchdog();

// Ends the watchdog's thread before the library's code goes away.
void stopReportWatchdog();
