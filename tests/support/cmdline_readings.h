// Every query's answer for one switch on one line, so that a table row, or a child process's
// output, states them all: "yes [text] int float bool". "no" is a switch that Exist does not
// find, "-" a query that gave false and left its output as it was (text: emptied), "?" one
// that broke that rule or where the buffer and the string disagree.
#pragma once

#include "CmdLine.h"

#include <cstdio>
#include <string>

inline std::string cmdLineReadings(const char* name) {
    std::string line = CmdLine::Exist(name) ? "yes " : "no ";
    std::string text = "junk";
    char buffer[64] = "junk";
    const bool textFound = CmdLine::Get(name, text);
    if (CmdLine::Get(name, buffer, sizeof buffer) != textFound || text != buffer)
        line += "? ";
    line += textFound ? "[" + text + "]" : text.empty() ? "-" : "?";

    int integer = 99;
    if (CmdLine::Get(name, integer))
        line += " " + std::to_string(integer);
    else
        line += integer == 99 ? " -" : " ?";

    float number = 9.5f;
    char printed[32] = {};
    if (CmdLine::Get(name, number))
        std::snprintf(printed, sizeof printed, " %g", double(number));
    else
        std::snprintf(printed, sizeof printed, number == 9.5f ? " -" : " ?");
    line += printed;

    // Read over both values, so that a result that writes nothing shows.
    bool wasFalse = false, wasTrue = true;
    const bool fromFalse = CmdLine::Get(name, wasFalse);
    const bool fromTrue = CmdLine::Get(name, wasTrue);
    if (fromFalse && fromTrue && wasFalse == wasTrue)
        return line + (wasFalse ? " 1" : " 0");
    return line + (!fromFalse && !fromTrue && !wasFalse && wasTrue ? " -" : " ?");
}
