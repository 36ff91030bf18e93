// A crash report's error log split into its sections, so that a test checks each one on its
// own; a title missing or out of order leaves the split incomplete.
#pragma once

#include <string>

struct ReportSections {
    bool complete = false;
    // The text between two titles: header is the first line without its end, system runs
    // through the memory line, and the call stack, stack dump and modules are whole lines.
    std::string header, system, accessViolation, minidump, registers, callStack, stackDump, modules;
};

inline ReportSections splitReport(const std::string& log) {
    ReportSections r;
    const struct {
        const char* title;
        bool endsSection; // the title is the last line of the section before it
        std::string* before;
    } titles[] = {{"\r\n", false, &r.header},
                  {"MBytes physical memory.\r\n", true, &r.system},
                  {"\r\nMiniDump ", false, &r.accessViolation},
                  {"\r\n\r\nRegisters:\r\n", false, &r.minidump},
                  {"Call Stack:\r\n", false, &r.registers},
                  {"\r\nStack dump:\r\n", false, &r.callStack},
                  {"\r\n\r\n\r\nModule list: names, addresses, sizes, time stamps and file "
                   "times:\r\n",
                   false, &r.stackDump}};
    std::size_t at = 0;
    for (const auto& t : titles) {
        std::size_t found = log.find(t.title, at);
        if (found == std::string::npos)
            return r;
        std::size_t end = found + std::string(t.title).size();
        *t.before = log.substr(at, (t.endsSection ? end : found) - at);
        at = end;
    }
    r.modules = log.substr(at);
    r.complete = true;
    return r;
}
