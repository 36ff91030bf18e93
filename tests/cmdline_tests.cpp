// The command-line queries over argument vectors set by the test, and over the vector that
// the runtime split from a real child process's command line.
#include "support/arguments.h"
#include "support/child_process.h"
#include "support/cmdline_readings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

TEST(CmdLine, FindsWholeSwitchesIgnoringCaseAndOnlyArgumentsWithADash) {
    Arguments arguments({"-Width", "800", "--height", "-width=5", "plain", "-5"});
    for (const char* name : {"width", "WIDTH", "-width", "--height", "width=5", "5", "-5"})
        EXPECT_TRUE(CmdLine::Exist(name)) << name;
    // "lain" would find plain if plain were taken for a switch.
    for (const char* name : {"wid", "widths", "800", "height", "-height", "plain", "lain", "-plain",
                             "game.exe", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(CmdLine::Exist(name)) << (name ? name : "null");
}

// A value is the argument after the switch unless it begins with '-'; the first occurrence
// wins; numbers read as msvcrt's %i and %f, booleans as a word and else an integer.
TEST(CmdLine, ReadsTheValueAsTextIntegerFloatAndBoolean) {
    const struct {
        std::vector<const char*> arguments;
        const char* name;
        const char* readings;
    } rows[] = {
        {{"-x", "-y"}, "x", "yes - - - -"},
        {{"-y"}, "y", "yes - - - -"},
        {{"-n", "-5"}, "n", "yes - - - -"},
        {{}, "q", "no - - - -"},
        {{"-x", "1", "-X", "2", "-x", "3"}, "X", "yes [1] 1 1 1"},
        {{"-v", "0x1F"}, "v", "yes [0x1F] 31 0 1"},
        {{"-v", "010"}, "v", "yes [010] 8 10 1"},
        {{"-v", "12abc"}, "v", "yes [12abc] 12 12 1"},
        {{"-v", " +42"}, "v", "yes [ +42] 42 42 1"},
        {{"-v", " -3"}, "v", "yes [ -3] -3 -3 1"},
        {{"-v", "0"}, "v", "yes [0] 0 0 0"},
        {{"-v", "2.5"}, "v", "yes [2.5] 2 2.5 1"},
        {{"-v", ".25"}, "v", "yes [.25] - 0.25 -"},
        {{"-v", "1e3"}, "v", "yes [1e3] 1 1000 1"},
        {{"-v", "0x1p3"}, "v", "yes [0x1p3] 1 0 1"}, // no hexadecimal floats
        {{"-v", "inf"}, "v", "yes [inf] - - -"},
        {{"-v", "True"}, "v", "yes [True] - - 1"},
        {{"-v", "true x"}, "v", "yes [true x] - - 1"},
        {{"-v", "FALSE"}, "v", "yes [FALSE] - - 0"},
        {{"-v", "0 true"}, "v", "yes [0 true] 0 0 0"},
        {{"-v", "yes"}, "v", "yes [yes] - - -"},
        {{"-v", ""}, "v", "yes [] - - -"},
    };
    for (const auto& row : rows) {
        Arguments arguments(row.arguments);
        EXPECT_EQ(row.readings, cmdLineReadings(row.name)) << row.name;
    }
    const std::string longWord(200, 'a');
    Arguments arguments({"-v", longWord.c_str()});
    bool flag = true;
    EXPECT_FALSE(CmdLine::Get("v", flag)) << "a word cut at 127 characters";
}

TEST(CmdLine, TheBufferHoldsAtMostSizeMinusOneCharactersPaddedWithNul) {
    Arguments arguments({"-v", "abcdef"});
    const struct {
        unsigned size;
        bool found;
        const char* after;
    } rows[] = {{4, true, "abc\0xxxxxx"},
                {10, true, "abcdef\0\0\0\0"},
                {1, true, "\0xxxxxxxxx"},
                {0, false, "xxxxxxxxxx"}};
    for (const auto& row : rows) {
        char buffer[10];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(row.found, CmdLine::Get("v", buffer, row.size));
        EXPECT_EQ(std::string(row.after, 10), std::string(buffer, 10)) << row.size;
    }
    EXPECT_FALSE(CmdLine::Get("v", nullptr, 10));
}

TEST(CmdLine, EntireStringJoinsWithBlanksAndStopsAtTheFirstArgumentThatDoesNotFit) {
    const struct {
        std::vector<const char*> arguments;
        unsigned size;
        const char* before;
        const char* after;
    } rows[] = {
        {{"ab", "cd"}, 7, "", "ab cd "},
        {{"ab", "cd"}, 6, "", "ab "},     // "ab cd " would be 6 characters, more than 5
        {{"abcdef", "x"}, 6, "", ""},     // x would fit, but nothing after a misfit is tried
        {{"ab"}, 9, "held ", "held ab "}, // appends to what the buffer holds
        {{"ab"}, 8, "12345", "12345"},    // and never beyond its size
        {{}, 8, "keep", "keep"},
        {{"ab"}, 0, "keep", "keep"},
    };
    for (const auto& row : rows) {
        Arguments arguments(row.arguments);
        char buffer[16] = {};
        std::strcpy(buffer, row.before);
        CmdLine::GetEntireString(buffer, row.size);
        EXPECT_STREQ(row.after, buffer) << "size " << row.size << ", buffer '" << row.before << "'";
    }
    CmdLine::GetEntireString(nullptr, 8);
}

TEST(CmdLine, QuotesOfARealCommandLineGroupWordsAndAnEmptyPairIsAValue) {
    SetEnvironmentVariableA("CMDLINE_NAMES", "name;empty;n;b;last");
    ChildResult child =
        runChild("\"" + programDirectory() +
                 "cmdline_child.exe\" -name \"John "
                 "Jacob Jingleheimer Smith\" -empty \"\" -n \"12 34\" -b \"true x\" -last");
    SetEnvironmentVariableA("CMDLINE_NAMES", nullptr);
    child.output.erase(std::remove(child.output.begin(), child.output.end(), '\r'),
                       child.output.end());
    EXPECT_EQ(
        "name: yes [John Jacob Jingleheimer Smith] - - -\n"
        "empty: yes [] - - -\n"
        "n: yes [12 34] 12 12 1\n"
        "b: yes [true x] - - 1\n"
        "last: yes - - - -\n"
        "entire 200: [-name John Jacob Jingleheimer Smith -empty  -n 12 34 -b true x -last ]\n"
        "entire 40: [-name John Jacob Jingleheimer Smith ]\n",
        child.output);
}

} // namespace
