// The recent events a crash report shows: the last traces, warnings and the game's
// breadcrumbs, in a fixed ring of lines. Writers on any thread claim a slot by number and
// publish it after the copy; the crash-time reader takes no lock, so a line being written
// when the process fails is left out rather than shown half-made. No heap anywhere.
#include "contracts/diagnostics.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

struct EventLine {
    // The claim number plus one once the text is complete; 0 while it is being written.
    volatile LONG published;
    char text[dbRecentLineSize];
};

EventLine g_lines[dbRecentCapacity];
volatile LONG g_claimed = 0;

// Copies at most dbRecentLineSize - 1 characters, a line end becoming a space so that each
// event stays one line of the report.
void copyLine(char* target, const char* prefix, const char* text) {
    unsigned length = 0;
    for (const char* part : {prefix, text}) {
        for (const char* c = part; c && *c && length + 1 < dbRecentLineSize; ++c)
            target[length++] = (*c == '\r' || *c == '\n') ? ' ' : *c;
    }
    target[length] = 0;
}

} // namespace

void dbRememberEvent(const char* prefix, const char* text) {
    const LONG number = InterlockedIncrement(&g_claimed);
    EventLine& line = g_lines[static_cast<unsigned long>(number - 1) % dbRecentCapacity];
    InterlockedExchange(&line.published, 0);
    copyLine(line.text, prefix, text);
    InterlockedExchange(&line.published, number);
}

void dbAddBreadcrumb(const char* text) {
    dbRememberEvent("breadcrumb: ", text);
}

unsigned dbCopyRecentEvents(char* buffer, unsigned size) {
    if (!buffer || size == 0)
        return 0;
    const LONG newest = g_claimed;
    const LONG oldest = newest > LONG(dbRecentCapacity) ? newest - LONG(dbRecentCapacity) + 1 : 1;
    unsigned length = 0;
    buffer[0] = 0;
    for (LONG number = oldest; number <= newest; ++number) {
        const EventLine& line = g_lines[static_cast<unsigned long>(number - 1) % dbRecentCapacity];
        char copy[dbRecentLineSize];
        if (line.published != number)
            continue;
        std::memcpy(copy, line.text, sizeof copy);
        copy[sizeof copy - 1] = 0;
        // Overwritten while copied: a newer line took the slot.
        if (line.published != number)
            continue;
        const unsigned needed = unsigned(std::strlen(copy)) + 2;
        if (length + needed >= size)
            break;
        std::memcpy(buffer + length, copy, needed - 2);
        std::memcpy(buffer + length + needed - 2, "\r\n", 2);
        length += needed;
        buffer[length] = 0;
    }
    return length;
}
