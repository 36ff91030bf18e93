// All arguments after the program joined into the caller's buffer, each followed by a blank.
#include "CmdLine.h"

#include "cmdline/switch_search.h"

#include <cstring>

void CmdLine::GetEntireString(char* buffer, unsigned int size) {
    if (!buffer || size == 0)
        return;
    const int count = argumentCount();
    char* const* argv = arguments();
    const std::size_t limit = size - 1;
    // The stop rule counts from what the buffer already holds (normally nothing), so that a
    // buffer that was not empty on entry is never overrun. The first argument that does not
    // fit ends the call; a shorter one after it is not tried.
    std::size_t used = std::strlen(buffer);
    for (int index = 1; index < count; ++index) {
        const std::size_t length = std::strlen(argv[index]);
        if (used + length + 1 > limit)
            return;
        std::memcpy(buffer + used, argv[index], length);
        buffer[used + length] = ' ';
        buffer[used + length + 1] = '\0';
        used += length + 1;
    }
}
