// WinMain's argument text becoming the tune path loaded at start.
#include "ui/command_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

struct ArgumentCase {
    const char* name;
    const char* argument;
    ArgumentResult result;
    const char* path;
};

const ArgumentCase argument_cases[] = {
    // Quoted, as Explorer and shortcuts pass a path: both quotes go.
    {"quoted path with a blank", "\"C:\\Tunes\\A B.sid\"", ArgumentResult::taken, "C:\\Tunes\\A B.sid"},
    // Quoted forms keep their old rule exactly: the last character goes,
    // whatever it is.
    {"quoted path then a blank keeps the closing quote", "\"C:\\x.sid\" ", ArgumentResult::taken,
     "C:\\x.sid\""},
    {"two quoted paths keep the inner quotes", "\"C:\\a.sid\" \"C:\\b.sid\"", ArgumentResult::taken,
     "C:\\a.sid\" \"C:\\b.sid"},
    {"a lone quote is no path", "\"", ArgumentResult::none, ""},
    {"empty quotes are no path", "\"\"", ArgumentResult::none, ""},
    // Unquoted, as a shell or a script passes a path without blanks: kept
    // whole instead of becoming ":\Tunes\x.si".
    {"unquoted path as it stands", "C:\\Tunes\\x.sid", ArgumentResult::taken, "C:\\Tunes\\x.sid"},
    {"one unquoted character", "x", ArgumentResult::taken, "x"},
    {"no argument", "", ArgumentResult::none, ""},
    {"null argument", nullptr, ArgumentResult::none, ""},
};

class TakeTuneArgument : public testing::TestWithParam<ArgumentCase> {};

TEST_P(TakeTuneArgument, GivesThePathTheWindowLoads) {
    const ArgumentCase& c = GetParam();
    char path[tune_path_size];
    std::memset(path, 'Z', sizeof path);
    EXPECT_EQ(take_tune_argument(c.argument, path), c.result);
    EXPECT_STREQ(path, c.path);
}

INSTANTIATE_TEST_SUITE_P(Arguments, TakeTuneArgument, testing::ValuesIn(argument_cases),
                         [](const testing::TestParamInfo<ArgumentCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

// The .sid association starts the program as zarvel.exe /play "PATH".
TEST(TakePlaySwitch, OnlyTheWholeSwitchStartsTheTuneAndThePathAfterItIsTakenAsUsual) {
    struct Case {
        const char* argument;
        bool play;
        const char* rest;
    };
    const Case cases[] = {
        {"/play \"C:\\Tunes\\A B.sid\"", true, "\"C:\\Tunes\\A B.sid\""},
        {"/PLAY \t \"x.sid\"", true, "\"x.sid\""},
        {"/play", true, ""},
        {"/player.sid", false, "/player.sid"},  // a file of that name, not the switch
        {"/pla", false, "/pla"},
        {"\"C:\\play.sid\"", false, "\"C:\\play.sid\""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        const char* argument = c.argument;
        EXPECT_EQ(take_play_switch(argument), c.play) << c.argument;
        EXPECT_STREQ(argument, c.rest) << c.argument;
    }
    const char* none = nullptr;
    EXPECT_FALSE(take_play_switch(none));

    const char* association = "/play \"C:\\Tunes\\A B.sid\"";
    char path[tune_path_size];
    ASSERT_TRUE(take_play_switch(association));
    EXPECT_EQ(take_tune_argument(association, path), ArgumentResult::taken);
    EXPECT_STREQ(path, "C:\\Tunes\\A B.sid");
}

// The buffer sits between two guards that must survive every argument.
struct GuardedPath {
    char before[16];
    char path[tune_path_size];
    char after[16];
};

void expect_guards_intact(const GuardedPath& g) {
    for (char c : g.before) ASSERT_EQ(c, '#');
    for (char c : g.after) ASSERT_EQ(c, '#');
}

TEST(TakeTuneArgumentLength, LongestPathThatFitsIsTakenWhole) {
    GuardedPath g;
    std::memset(&g, '#', sizeof g);
    std::string longest(tune_path_size - 1, 'a');
    EXPECT_EQ(take_tune_argument(longest.c_str(), g.path), ArgumentResult::taken);
    EXPECT_EQ(std::string(g.path), longest);
    expect_guards_intact(g);

    std::string quoted = "\"" + longest + "\"";
    EXPECT_EQ(take_tune_argument(quoted.c_str(), g.path), ArgumentResult::taken);
    EXPECT_EQ(std::string(g.path), longest);
    expect_guards_intact(g);
}

TEST(TakeTuneArgumentLength, OneCharacterMoreIsRefusedAndNothingIsWrittenPastTheBuffer) {
    for (std::string argument : {std::string(tune_path_size, 'b'), "\"" + std::string(tune_path_size, 'b') + "\"",
                                 std::string(5000, 'c'), "\"" + std::string(5000, 'c')}) {
        GuardedPath g;
        std::memset(&g, '#', sizeof g);
        EXPECT_EQ(take_tune_argument(argument.c_str(), g.path), ArgumentResult::too_long)
            << argument.size() << " characters";
        EXPECT_STREQ(g.path, "") << "a refused argument leaves no path to load";
        expect_guards_intact(g);
    }
}

}  // namespace
