// The reports of earlier runs that wait to be sent: an error log with the minidump beside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PendingReport {
    std::string logPath;
    std::string dumpPath;
    ULONGLONG bytes;   // log and minidump together
    ULONGLONG written; // the log's last write, as a file time
};

// The pending reports in the folders (each with a trailing backslash), oldest first.
std::vector<PendingReport> findPendingReports(const std::vector<std::string>& folders);

// Deletes the oldest reports, with a trace each, until at most countLimit remain, of at most
// byteLimit bytes together; returns the rest, oldest first.
std::vector<PendingReport> capPendingReports(std::vector<PendingReport> reports, int countLimit,
                                             ULONGLONG byteLimit);

// Deletes both files of a report.
void removePendingReport(const PendingReport& report);
