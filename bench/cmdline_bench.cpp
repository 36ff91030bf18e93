// CmdLine::Exist over a 20-argument command line, set in the runtime's argument vector here,
// against a plain loop of _stricmp over the same arguments.
#include "bench.h"

#include "CmdLine.h"

#include <cstdlib>
#include <cstring>

namespace {

// Ten switches, each with a value: the game's typical shape.
char* g_arguments[] = {const_cast<char*>("game.exe"), const_cast<char*>("-width"),
                       const_cast<char*>("1024"),     const_cast<char*>("-height"),
                       const_cast<char*>("768"),      const_cast<char*>("-depth"),
                       const_cast<char*>("32"),       const_cast<char*>("-refresh"),
                       const_cast<char*>("85"),       const_cast<char*>("-level"),
                       const_cast<char*>("e1m1"),     const_cast<char*>("-skill"),
                       const_cast<char*>("3"),        const_cast<char*>("-sound"),
                       const_cast<char*>("on"),       const_cast<char*>("-music"),
                       const_cast<char*>("off"),      const_cast<char*>("-log"),
                       const_cast<char*>("game.log"), const_cast<char*>("-lang"),
                       const_cast<char*>("en"),       nullptr};
const int argumentTotal = 21; // the program and 20 arguments

// What Exist does, written out by hand over the same vector.
bool rawExist(const char* name) {
    for (int index = 1; index < argumentTotal; ++index) {
        if (g_arguments[index][0] == '-' && _stricmp(g_arguments[index] + 1, name) == 0)
            return true;
    }
    return false;
}

} // namespace

BENCH_CASE(cmdline) {
    const int savedCount = __argc;
    char** savedVector = __argv;
    __argc = argumentTotal;
    __argv = g_arguments;

    volatile bool sink = false;
    double ours = nanosecondsPerCall(200000, [&] { sink = CmdLine::Exist("missing"); });
    double raw = nanosecondsPerCall(200000, [&] { sink = rawExist("missing"); });
    reportRatio("Exist, absent switch, 20 arguments", ours, raw);
    ours = nanosecondsPerCall(200000, [&] { sink = CmdLine::Exist("skill"); });
    raw = nanosecondsPerCall(200000, [&] { sink = rawExist("skill"); });
    reportRatio("Exist, 6th of 10 switches", ours, raw);

    int value = 0;
    unsigned long long before = allocationsSoFar();
    for (int i = 0; i < 10000; ++i)
        sink = CmdLine::Get("refresh", value);
    reportCount("heap allocations per integer Get", double(allocationsSoFar() - before) / 10000);

    __argc = savedCount;
    __argv = savedVector;
    (void)sink;
}
