// GetEntireString over a fuzzed argument vector and buffer. Input: one byte for the buffer's
// size, then NUL-separated strings: the text already in the buffer, the program, the
// arguments. The buffer is a block of exactly its size, so any write past it is reported.
#include "CmdLine.h"

#include "fuzz_support.h"
#include "given_arguments.h"

#include <string>

namespace {

// What the buffer must hold afterwards: the text it had, then each argument with its blank
// for as long as the next one still fits in size - 1 characters.
std::string referenceJoin(std::string text, int count, char* const* argv, unsigned size) {
    for (int index = 1; index < count; ++index) {
        const std::string next = std::string(argv[index]) + ' ';
        if (text.size() + next.size() > size - 1)
            break;
        text += next;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const FuzzCommandLine input(data, size);
    const unsigned bufferSize = input.bufferSize;

    std::unique_ptr<char[]> buffer(new char[bufferSize ? bufferSize : 1]);
    std::memset(buffer.get(), 'x', bufferSize ? bufferSize : 1);
    CmdLine::GetEntireString(nullptr, bufferSize);
    if (bufferSize == 0) {
        CmdLine::GetEntireString(buffer.get(), 0);
        REQUIRE(buffer[0] == 'x');
        return 0;
    }
    // The text on entry is cut to what a terminated buffer can hold.
    const std::string before = std::string(input.strings.at(0)).substr(0, bufferSize - 1);
    std::memcpy(buffer.get(), before.c_str(), before.size() + 1);
    CmdLine::GetEntireString(buffer.get(), bufferSize);
    const void* end = std::memchr(buffer.get(), '\0', bufferSize);
    REQUIRE(end != nullptr);
    REQUIRE(std::string(buffer.get()) ==
            referenceJoin(before, input.count, input.argv.get(), bufferSize));
    return 0;
}
