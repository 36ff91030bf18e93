// The switch search and the value readings over a fuzzed argument vector. Input: one byte for
// the text buffer's size, then NUL-separated strings: the name, the program, the arguments.
// The search must agree with a plain reference, and every reading must stay in its buffer.
#include "CmdLine.h"
#include "cmdline/switch_search.h"

#include "fuzz_support.h"
#include "given_arguments.h"

#include <cctype>
#include <string>

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The switch the plainest way: "-name" (or a name given with its dash) equal to the whole
// argument once both are lower-cased.
int referenceSwitch(const char* name, int count, char* const* argv) {
    if (!name || !*name)
        return 0;
    const std::string wanted = name[0] == '-' ? lowered(name) : "-" + lowered(name);
    for (int index = 1; index < count; ++index) {
        if (lowered(argv[index]) == wanted)
            return index;
    }
    return 0;
}

const char* referenceValue(const char* name, int count, char* const* argv) {
    const int index = referenceSwitch(name, count, argv);
    if (index == 0 || index + 1 >= count || argv[index + 1][0] == '-')
        return nullptr;
    return argv[index + 1];
}

// The first blank-separated word, as sscanf's "%s" cuts it.
std::string firstWord(const char* text) {
    while (*text && std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    const char* end = text;
    while (*end && !std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    return lowered(std::string(text, end));
}

// Copies into a block of exactly size bytes: the value cut to size - 1 with the rest NUL, or
// the empty string.
void checkTextQuery(const char* name, const char* value, unsigned size) {
    std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
    std::memset(buffer.get(), 'x', size ? size : 1);
    const bool got = CmdLine::Get(name, buffer.get(), size);
    if (size == 0) {
        REQUIRE(!got && buffer[0] == 'x');
        return;
    }
    REQUIRE(got == (value != nullptr));
    if (!value) {
        REQUIRE(buffer[0] == '\0');
        return;
    }
    const std::size_t length = std::strlen(value);
    for (unsigned i = 0; i + 1 < size; ++i)
        REQUIRE(buffer[i] == (i < length ? value[i] : '\0'));
    REQUIRE(buffer[size - 1] == '\0');
}

// Blanks, at most one sign, then a digit: where sscanf's "%i" can find a number.
bool startsWithNumber(const char* text) {
    if (!text)
        return false;
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    if (*text == '+' || *text == '-')
        ++text;
    return std::isdigit(static_cast<unsigned char>(*text)) != 0;
}

// The readings change their target only when they answer true; a boolean that is not a word
// is read as the integer is.
void checkNumberQueries(const char* name, const char* value) {
    int integer = 12345;
    const bool gotInteger = CmdLine::Get(name, integer);
    REQUIRE(gotInteger ? startsWithNumber(value) : integer == 12345);
    float real = 1.5f;
    if (!CmdLine::Get(name, real))
        REQUIRE(real == 1.5f);
    REQUIRE(value || !CmdLine::Get(name, real));
    bool flag = true;
    const bool got = CmdLine::Get(name, flag);
    const std::string word = value ? firstWord(value) : std::string();
    if (word == "true" || word == "false")
        REQUIRE(got && flag == (word == "true"));
    else
        REQUIRE(got == gotInteger && flag == (!got || integer != 0));
}

void checkName(const char* name, int count, char** argv, unsigned size) {
    const int found = referenceSwitch(name, count, argv);
    const char* value = referenceValue(name, count, argv);
    REQUIRE(findSwitch(name) == found);
    REQUIRE(CmdLine::Exist(name) == (found != 0));
    REQUIRE(findValue(name) == value);
    checkTextQuery(name, value, size);
    std::string text = "stale";
    REQUIRE(CmdLine::Get(name, text) == (value != nullptr));
    REQUIRE(text == (value ? value : ""));
    checkNumberQueries(name, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const FuzzCommandLine input(data, size);
    checkName(input.strings.at(0), input.count, input.argv.get(), input.bufferSize);
    checkName(nullptr, input.count, input.argv.get(), input.bufferSize);
    return 0;
}
