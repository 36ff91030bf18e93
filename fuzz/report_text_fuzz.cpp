// The crash report's path splitting and report-base naming. Input: eight bytes of system time
// (a FILETIME, little-endian), then the program path. Each part goes to a block of exactly
// the size the report gives it; the parts must be the path's own pieces, cut to fit.
#include "crash/exception_report.h"

#include "fuzz_support.h"

#include <string>

namespace {

const std::size_t driveSize = 4;
const std::size_t partSize = 256;
const std::size_t reportBaseSize = MAX_PATH;
// The report base leaves room for a 13-character file suffix.
const std::size_t reportBaseLimit = MAX_PATH - 13;

struct Parts {
    std::string drive, directory, baseName, extension;
};

// The drive runs to the last colon before the last backslash, the directory to that
// backslash, and the extension from the name's last dot.
Parts referenceSplit(const std::string& path) {
    const std::size_t backslash = path.rfind('\\');
    const std::size_t colon = path.substr(0, backslash).rfind(':');
    const std::size_t directoryStart = colon == std::string::npos ? 0 : colon + 1;
    const std::size_t nameStart = backslash == std::string::npos ? directoryStart : backslash + 1;
    const std::string name = path.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    Parts parts;
    parts.drive = nameStart > 0 ? path.substr(0, directoryStart) : "";
    parts.directory = path.substr(directoryStart, nameStart - directoryStart);
    parts.baseName = name.substr(0, dot);
    parts.extension = dot == std::string::npos ? "" : name.substr(dot);
    return parts;
}

// "month-day-year_hh_mm_ss" of the time in UTC with the seconds made even, or false where
// Windows cannot give a DOS date (before 1980, after 2107, or the top bit set).
bool referenceTime(const FILETIME& time, std::string& text) {
    const std::uint64_t ticks = std::uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    const std::uint64_t unixOffset = 11644473600;
    if (ticks >> 63 || ticks / 10000000 < unixOffset)
        return false;
    const std::time_t seconds = static_cast<std::time_t>(ticks / 10000000 - unixOffset);
    std::tm parts;
    gmtime_r(&seconds, &parts);
    if (parts.tm_year + 1900 < 1980 || parts.tm_year + 1900 > 2107)
        return false;
    char formatted[64];
    std::snprintf(formatted, sizeof formatted, "%d-%d-%d_%02d_%02d_%02d", parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                  parts.tm_sec / 2 * 2);
    text = formatted;
    return true;
}

std::string cut(const std::string& text, std::size_t size) {
    return text.substr(0, size - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(FILETIME))
        return 0;
    std::memcpy(&g_nativeSystemTime, data, sizeof(FILETIME));
    FuzzStrings strings(data + sizeof(FILETIME), size - sizeof(FILETIME));
    const char* path = strings.at(0);

    std::unique_ptr<char[]> drive(new char[driveSize]), directory(new char[partSize]),
        baseName(new char[partSize]), extension(new char[partSize]);
    splitPath(path, drive.get(), directory.get(), baseName.get(), extension.get());
    const Parts expected = referenceSplit(path);
    REQUIRE(drive.get() == cut(expected.drive, driveSize));
    REQUIRE(directory.get() == cut(expected.directory, partSize));
    REQUIRE(baseName.get() == cut(expected.baseName, partSize));
    REQUIRE(extension.get() == cut(expected.extension, partSize));
    // Parts shorter than their blocks were not cut, so together they are the path again.
    if (std::strlen(path) < partSize - 1 && std::strlen(drive.get()) < driveSize - 1)
        REQUIRE(std::string(drive.get()) + directory.get() + baseName.get() + extension.get() ==
                path);

    std::unique_ptr<char[]> reportBase(new char[reportBaseSize]);
    std::memset(reportBase.get(), 'x', reportBaseSize);
    makeReportBase(path, reportBase.get());
    std::string time;
    const std::string named = referenceTime(g_nativeSystemTime, time)
                                  ? std::string(drive.get()) + directory.get() + time
                                  : std::string(baseName.get());
    REQUIRE(reportBase.get() == cut(named, reportBaseLimit));
    for (std::size_t i = reportBaseLimit; i < reportBaseSize; ++i)
        REQUIRE(reportBase[i] == 'x');
    return 0;
}
