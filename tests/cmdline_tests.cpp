// The command-line queries over argument vectors put in the runtime's vector, which the
// library reads at every call, so no real command line limits them.
#include "CmdLine.h"
#include "SysUtilInterface.h"
#include "contracts/memory.h"
#include "support/arguments.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Every query's answer for one switch: "yes [text] int float bool"; "no" when Exist does not
// find it, "-" a false that left its output (text: emptied), "?" a broken rule or a mismatch.
std::string readings(const char* name) {
    std::string line = CmdLine::Exist(name) ? "yes " : "no ";
    std::string text = "junk";
    char buffer[64] = "junk";
    const bool textFound = CmdLine::Get(name, text);
    if (CmdLine::Get(name, buffer, sizeof buffer) != textFound || text != buffer)
        line += "? ";
    line += textFound ? "[" + text + "]" : text.empty() ? "-" : "?";
    int integer = 99;
    float number = 9.5f;
    char printed[32];
    const bool isInteger = CmdLine::Get(name, integer), isFloat = CmdLine::Get(name, number);
    std::snprintf(printed, sizeof printed, " %g", double(number));
    line += isInteger ? " " + std::to_string(integer) : integer == 99 ? " -" : " ?";
    line += isFloat ? printed : number == 9.5f ? " -" : " ?";
    // Read over both values, so that a result that writes nothing shows.
    bool wasFalse = false, wasTrue = true;
    const bool fromFalse = CmdLine::Get(name, wasFalse), fromTrue = CmdLine::Get(name, wasTrue);
    if (fromFalse && fromTrue && wasFalse == wasTrue)
        return line + (wasFalse ? " 1" : " 0");
    return line + (!fromFalse && !fromTrue && !wasFalse && wasTrue ? " -" : " ?");
}

// Whole switches, case ignored, only arguments with a dash ("lain" would find plain without
// its first character); null and empty names are never found.
TEST(CmdLine, FindsWholeSwitchesIgnoringCaseAndOnlyArgumentsWithADash) {
    Arguments given({"-Width", "800", "--height", "-width=5", "plain", "-5", "-"});
    for (const char* name : {"width", "WIDTH", "-width", "--height", "width=5", "5", "-5", "-"})
        EXPECT_TRUE(CmdLine::Exist(name)) << name;
    for (const char* name : {"wid", "widths", "800", "height", "-height", "plain", "lain", "-plain",
                             "game.exe", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(CmdLine::Exist(name)) << (name ? name : "null");
    const std::tuple<std::vector<const char*>, const char*, const char*> rows[] = {
        {{"-", "1"}, "", "no - - - -"},
        {{"-", "1"}, nullptr, "no - - - -"},
        {{"-x", "-y"}, "x", "yes - - - -"},
        {{"-y"}, "y", "yes - - - -"},
        {{"-x", "1", "-X", "2", "-x", "3"}, "X", "yes [1] 1 1 1"},
        {{"-v", " -3"}, "v", "yes [ -3] -3 -3 1"},
        {{"-v", "0x1p3"}, "v", "yes [0x1p3] 1 0 1"}, // %i reads hexadecimal; %f no such floats
        {{"-v", "FALSE"}, "v", "yes [FALSE] - - 0"},
        {{"-v", ""}, "v", "yes [] - - -"},
    };
    for (const auto& [arguments, name, expected] : rows) {
        Arguments given(arguments);
        EXPECT_EQ(expected, readings(name)) << (name ? name : "null");
    }
}

// Appends each argument with its blank until one does not fit in size - 1 characters with
// what the buffer held; the whole buffer is compared, so a byte written past the size shows.
TEST(CmdLine, EntireStringNeverWritesPastItsSize) {
    const std::tuple<std::vector<const char*>, unsigned, const char*, const char*> rows[] = {
        {{"ab", "cd"}, 7, "", "ab cd \0xxx"},
        {{"ab", "cd"}, 6, "", "ab \0xxxxxx"},    // "ab cd " would be 6 characters
        {{"abcdef", "x"}, 6, "", "\0xxxxxxxxx"}, // x fits, but is not tried after a misfit
        {{"ab"}, 9, "held ", "held ab \0x"},
        {{"ab"}, 8, "12345", "12345\0xxxx"},
        {{"a"}, 1, "", "\0xxxxxxxxx"},
        {{"a"}, 0, "", "\0xxxxxxxxx"},
    };
    for (const auto& [arguments, size, before, after] : rows) {
        Arguments given(arguments);
        char buffer[10];
        std::memset(buffer, 'x', sizeof buffer);
        std::memcpy(buffer, before, std::strlen(before) + 1);
        CmdLine::GetEntireString(buffer, size);
        EXPECT_EQ(std::string(after, 10), std::string(buffer, 10)) << size;
    }
    char untouched[] = "abc";
    Arguments given({"-v", "abcdef"});
    EXPECT_FALSE(CmdLine::Get("v", untouched, 0) || CmdLine::Get("v", nullptr, 10) ||
                 std::strcmp("abc", untouched) != 0);
    CmdLine::GetEntireString(nullptr, 8);
}

// The last of 10,000 arguments is found; its value of 100,000 characters is read whole or cut
// to a buffer, and its first word, cut at 127 characters, is no boolean.
TEST(CmdLine, TenThousandArgumentsAndAValueOfAHundredThousandCharacters) {
    const std::string value(100000, 'a');
    std::vector<const char*> vector(9998, "-s");
    vector.insert(vector.end(), {"-last", value.c_str()});
    Arguments given(vector);
    std::string text;
    bool flag = true;
    char buffer[66];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CmdLine::Get("last", text) && text == value) << text.size();
    EXPECT_FALSE(CmdLine::Get("last", flag) || !CmdLine::Get("last", buffer, 64));
    EXPECT_EQ(std::string(63, 'a') + '\0' + "xx", std::string(buffer, 66));
}

// Running out of memory gives each call its defined failure, never an exception across the
// module boundary, which the 32-bit runtime cannot unwind; the value and URL need heap blocks.
TEST(OutOfMemory, EachCallReachesItsAllocationAndFailsCleanly) {
    Arguments given({"-longvalue", "a-value-longer-than-any-small-string"});
    std::string value = "old", host, path;
    MemFailAllocationAfter(1);
    EXPECT_FALSE(CmdLine::Get("longvalue", value));
    EXPECT_EQ(0u, MemFailAllocationAfter(1)) << "CmdLine::Get reached its allocation";
    EXPECT_EQ("", value);
    EXPECT_FALSE(SysUtilInterface::i()->splitUrl(
        "http://a-host-name-longer-than-a-small-string.example/and/a/path", host, path));
    EXPECT_EQ(0u, MemFailAllocationAfter(0)) << "splitUrl reached its allocation";
}

} // namespace
