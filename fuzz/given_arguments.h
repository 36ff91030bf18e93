// The argument vector that the command-line cores read through the runtime's accessors
// (__p___argc, __p___argv) in the native build.
#pragma once

#include "fuzz_support.h"

// Every query from now on sees these count strings; the caller keeps them alive.
void giveArguments(int count, char** vector);

// One input read as a command line: its first byte a buffer size, then strings, the first
// for the target's own use and the rest given to the queries as the argument vector.
struct FuzzCommandLine {
    FuzzCommandLine(const std::uint8_t* data, std::size_t size)
        : bufferSize(data[0]), strings(data + 1, size - 1), count(strings.count() - 1),
          argv(strings.vector(1)) {
        giveArguments(count, argv.get());
    }
    const unsigned bufferSize;
    const FuzzStrings strings;
    const int count;
    const FuzzStrings::Vector argv;
};
