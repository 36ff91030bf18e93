// The command-line queries over argument vectors set by the test, and over the vector that
// the runtime split from a real child process's command line.
#include "CmdLine.h"
#include "support/child_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Puts the given arguments after a program name in the runtime's argument vector, which is
// what every query reads, and puts the process's own vector back afterwards.
class Arguments {
public:
    Arguments(std::initializer_list<const char*> arguments)
        : Arguments(std::vector<const char*>(arguments)) {}
    explicit Arguments(const std::vector<const char*>& arguments)
        : m_savedCount(__argc), m_savedVector(__argv) {
        m_vector.push_back(const_cast<char*>("-game.exe"));
        for (const char* argument : arguments)
            m_vector.push_back(const_cast<char*>(argument));
        m_vector.push_back(nullptr);
        __argc = int(m_vector.size() - 1);
        __argv = m_vector.data();
    }
    ~Arguments() {
        __argc = m_savedCount;
        __argv = m_savedVector;
    }

private:
    int m_savedCount;
    char** m_savedVector;
    std::vector<char*> m_vector;
};

TEST(CmdLineSearch, MatchesWholeNamesIgnoringCaseAndOnlyArgumentsWithADash) {
    Arguments arguments{"-Width", "800", "--height", "-width=5", "plain", "-5"};
    for (const char* name : {"width", "WIDTH", "-width", "--height", "width=5", "5", "-5"})
        EXPECT_TRUE(CmdLine::Exist(name)) << name;
    for (const char* name :
         {"wid", "widths", "800", "height", "-height", "plain", "-plain", "game.exe", ""})
        EXPECT_FALSE(CmdLine::Exist(name)) << name;
    EXPECT_FALSE(CmdLine::Exist(nullptr));
}

TEST(CmdLineSearch, SetupAndShutdownChangeNothing) {
    Arguments arguments{"-x"};
    char* vector[] = {const_cast<char*>("other"), const_cast<char*>("-y"), nullptr};
    EXPECT_TRUE(CmdLine::Setup(2, vector));
    EXPECT_TRUE(CmdLine::Setup("-y"));
    EXPECT_TRUE(CmdLine::Exist("x"));
    EXPECT_FALSE(CmdLine::Exist("y"));
    EXPECT_TRUE(CmdLine::Shutdown());
    EXPECT_TRUE(CmdLine::Exist("x"));
}

TEST(CmdLineValue, AMissingValueFailsEveryFormAndLeavesEmptyText) {
    // -x is followed by a switch, -y is last, -n's "-5" is a switch, -q is absent.
    Arguments arguments{"-x", "-y", "-n", "-5"};
    for (const char* name : {"x", "y", "n", "q"}) {
        char buffer[8] = "junk";
        std::string text = "junk";
        int integer = 7;
        float number = 7;
        bool flag = true;
        EXPECT_FALSE(CmdLine::Get(name, buffer, sizeof buffer)) << name;
        EXPECT_STREQ("", buffer) << name;
        EXPECT_FALSE(CmdLine::Get(name, text)) << name;
        EXPECT_EQ("", text) << name;
        EXPECT_FALSE(CmdLine::Get(name, integer)) << name;
        EXPECT_FALSE(CmdLine::Get(name, number)) << name;
        EXPECT_FALSE(CmdLine::Get(name, flag)) << name;
        EXPECT_EQ(7, integer);
        EXPECT_EQ(7.0f, number);
        EXPECT_TRUE(flag);
    }
}

TEST(CmdLineValue, TheFirstOccurrenceWins) {
    Arguments arguments{"-x", "1", "-X", "2", "-x", "3"};
    int integer = 0;
    std::string text;
    EXPECT_TRUE(CmdLine::Get("x", integer));
    EXPECT_EQ(1, integer);
    EXPECT_TRUE(CmdLine::Get("X", text));
    EXPECT_EQ("1", text);
}

TEST(CmdLineValue, TheBufferHoldsAtMostSizeMinusOneCharactersPaddedWithNul) {
    Arguments arguments{"-v", "abcdef"};
    char buffer[10];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CmdLine::Get("v", buffer, 4));
    EXPECT_EQ(std::string("abc\0xxxxxx", 10), std::string(buffer, 10));
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CmdLine::Get("v", buffer, 10));
    EXPECT_EQ(std::string("abcdef\0\0\0\0", 10), std::string(buffer, 10));
    EXPECT_TRUE(CmdLine::Get("v", buffer, 1));
    EXPECT_EQ('\0', buffer[0]);

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(CmdLine::Get("v", buffer, 0));
    EXPECT_EQ('x', buffer[0]) << "a size of 0 writes nothing";
    EXPECT_FALSE(CmdLine::Get("v", nullptr, 10));
}

// A value of the switch -v, and what reading it gives: read false means the output must keep
// whatever it held.
template <class T> struct Reading {
    const char* value;
    bool read;
    T expected;
};

// Reads each value into outputs that start as either of two different values.
template <class T> void expectReadings(const std::vector<Reading<T>>& cases, T first, T second) {
    for (const Reading<T>& c : cases) {
        Arguments arguments{"-v", c.value};
        for (T initial : {first, second}) {
            T output = initial;
            EXPECT_EQ(c.read, CmdLine::Get("v", output)) << "'" << c.value << "'";
            EXPECT_EQ(c.read ? c.expected : initial, output) << "'" << c.value << "'";
        }
    }
}

TEST(CmdLineValue, IntegersReadAsPercentI) {
    expectReadings<int>({{"0x1F", true, 31},
                         {"0X1f", true, 31},
                         {"010", true, 8},
                         {"12abc", true, 12},
                         {" +42", true, 42},
                         {" -3", true, -3},
                         {"0", true, 0},
                         {"abc", false, 0},
                         {"", false, 0},
                         {"x12", false, 0}},
                        99, -99);
}

TEST(CmdLineValue, FloatsReadAsPercentFOfTheRuntime) {
    expectReadings<float>({{"2.5", true, 2.5f},
                           {".25", true, 0.25f},
                           {"1e3", true, 1000.0f},
                           {"7", true, 7.0f},
                           {"3.5fps", true, 3.5f},
                           {"0x1p3", true, 0.0f}, // no hexadecimal floats
                           {"inf", false, 0},
                           {"fast", false, 0},
                           {"", false, 0}},
                          9.0f, -9.0f);
}

TEST(CmdLineValue, BooleansReadAWordThenAnInteger) {
    const std::string longWord(200, 'a');
    expectReadings<bool>({{"TRUE", true, true},
                          {"True", true, true},
                          {"true x", true, true},
                          {"FALSE", true, false},
                          {"2", true, true},
                          {"0x10", true, true},
                          {"0", true, false},
                          {"0 true", true, false},
                          {"yes", false, false},
                          {"on", false, false},
                          {"", false, false},
                          {longWord.c_str(), false, false}},
                         false, true);
}

TEST(CmdLineEntireString, JoinsWithBlanksAndStopsAtTheFirstArgumentThatDoesNotFit) {
    const struct {
        std::vector<const char*> arguments;
        unsigned size;
        const char* before;
        const char* after;
    } cases[] = {
        {{"ab", "cd"}, 7, "", "ab cd "},
        {{"ab", "cd"}, 6, "", "ab "},     // "ab cd " would be 6 characters, more than 5
        {{"abcdef", "x"}, 6, "", ""},     // x would fit, but nothing after a misfit is tried
        {{"ab"}, 9, "held ", "held ab "}, // appends to what the buffer holds
        {{"ab"}, 8, "12345", "12345"},    // and never beyond its size
        {{}, 8, "keep", "keep"},
        {{"ab"}, 0, "keep", "keep"},
    };
    for (const auto& c : cases) {
        Arguments arguments(c.arguments);
        char buffer[16] = {};
        std::strcpy(buffer, c.before);
        CmdLine::GetEntireString(buffer, c.size);
        EXPECT_STREQ(c.after, buffer) << "size " << c.size << ", buffer '" << c.before << "'";
    }
    CmdLine::GetEntireString(nullptr, 8);
}

// What the child prints for the queries when started with the given arguments.
std::string childAnswers(const std::string& arguments, const char* queries) {
    SetEnvironmentVariableA("CMDLINE_QUERIES", queries);
    ChildResult child = runChild("\"" + programDirectory() + "cmdline_child.exe\" " + arguments);
    SetEnvironmentVariableA("CMDLINE_QUERIES", nullptr);
    std::string output = child.output;
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    return output;
}

TEST(CmdLineChild, QuotesGroupWordsAndAnEmptyPairIsAValue) {
    const std::string answers = childAnswers(
        "-name \"John Jacob Jingleheimer Smith\" -empty \"\" -n \"12 34\" -b \"true x\" -last",
        "exist name;text name;text empty;int empty;float empty;bool empty;int n;float n;"
        "text n;bool b;text last;entire 200;entire 40");
    EXPECT_EQ(
        "exist name: 1\n"
        "text name: 1 [John Jacob Jingleheimer Smith]\n"
        "text empty: 1 []\n"
        "int empty: 0 -1\n"
        "float empty: 0 -1\n"
        "bool empty: 0 0\n"
        "int n: 1 12\n"
        "float n: 1 12\n"
        "text n: 1 [12 34]\n"
        "bool b: 1 1\n"
        "text last: 0 []\n"
        "entire 200: [-name John Jacob Jingleheimer Smith -empty  -n 12 34 -b true x -last ]\n"
        "entire 40: [-name John Jacob Jingleheimer Smith ]\n",
        answers);
}

} // namespace
