// Finding and capping the reports that wait to be sent. Runs on the upload thread of a sound
// process, so the heap is the ordinary one.
#include "crash/pending_reports.h"

#include "contracts/diagnostics.h"

#include <algorithm>

namespace {

const char logSuffix[] = "_ErrorLog.txt";
const char dumpSuffix[] = "_MiniDump.dmp";

bool fileSize(const std::string& path, ULONGLONG* size) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    *size = (ULONGLONG(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return true;
}

} // namespace

namespace {

void addPendingReports(const std::string& folder, std::vector<PendingReport>* reports) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*" + logSuffix).c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more;
         more = FindNextFileA(search, &found) != FALSE) {
        const std::string name = found.cFileName;
        PendingReport report;
        report.logPath = folder + name;
        report.dumpPath =
            folder + name.substr(0, name.size() - (sizeof logSuffix - 1)) + dumpSuffix;
        ULONGLONG dumpBytes = 0;
        if (!fileSize(report.dumpPath, &dumpBytes))
            continue;
        report.bytes = ((ULONGLONG(found.nFileSizeHigh) << 32) | found.nFileSizeLow) + dumpBytes;
        report.written = (ULONGLONG(found.ftLastWriteTime.dwHighDateTime) << 32) |
                         found.ftLastWriteTime.dwLowDateTime;
        reports->push_back(report);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

} // namespace

std::vector<PendingReport> findPendingReports(const std::vector<std::string>& folders) {
    std::vector<PendingReport> reports;
    for (const std::string& folder : folders)
        addPendingReports(folder, &reports);
    std::stable_sort(
        reports.begin(), reports.end(),
        [](const PendingReport& a, const PendingReport& b) { return a.written < b.written; });
    return reports;
}

std::vector<PendingReport> capPendingReports(std::vector<PendingReport> reports, int countLimit,
                                             ULONGLONG byteLimit) {
    ULONGLONG bytes = 0;
    for (const PendingReport& report : reports)
        bytes += report.bytes;
    std::size_t dropped = 0;
    while (dropped < reports.size() &&
           (reports.size() - dropped > std::size_t(countLimit) || bytes > byteLimit)) {
        const PendingReport& oldest = reports[dropped++];
        dbTracefAux("Crash upload: dropped the oldest pending report %s", oldest.logPath.c_str());
        removePendingReport(oldest);
        bytes -= oldest.bytes;
    }
    reports.erase(reports.begin(), reports.begin() + std::ptrdiff_t(dropped));
    return reports;
}

void removePendingReport(const PendingReport& report) {
    DeleteFileA(report.logPath.c_str());
    DeleteFileA(report.dumpPath.c_str());
}
