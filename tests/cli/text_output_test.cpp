// Texts as they leave the program: a tune's Latin-1 bytes as UTF-8, and JSON
// that a JSON reader takes back unchanged, whatever the bytes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli/json_line.h"
#include "cli/latin1_text.h"

TEST(Latin1Text, EveryByteBecomesItsCodePointAndControlsAreEscapedForATerminal) {
    EXPECT_EQ(latin1_to_utf8("R\xF6""dig \xA9 1987"), "R\xC3\xB6""dig \xC2\xA9 1987");
    EXPECT_EQ(latin1_to_utf8(std::string("\x00\x7F\x80\xFF", 4)), std::string("\x00\x7F\xC2\x80\xC3\xBF", 6));
    EXPECT_EQ(latin1_to_terminal_text("a\x1B[2J\x9B\"\\\xE9"), "a\\x1B[2J\\x9B\"\\\\\xC3\xA9");
    EXPECT_EQ(latin1_to_terminal_text("say \"hi\"", true), "say \\\"hi\\\"");
    std::string utf8 = latin1_to_utf8("\xC5ke \xD6" "berg");
    EXPECT_EQ(utf8_length(utf8), 9u);
    EXPECT_EQ(utf8_prefix(utf8, 1), "\xC3\x85");
    EXPECT_EQ(utf8_prefix(utf8, 5), "\xC3\x85ke \xC3\x96");
    EXPECT_EQ(utf8_prefix(utf8, 20), utf8);
}

TEST(JsonLine, NestedValuesAndAwkwardTextsReadBackAsWritten) {
    std::string awkward = std::string("quote \" backslash \\ tab \t newline \n nul ", 39) + std::string(1, '\0') +
                          " bell \x07 del \x7F " + latin1_to_utf8("\xF6\xE9");
    JsonLine line;
    line.begin_object()
        .key("text").string(awkward)
        .key("numbers").begin_array().number(54272).number(-1).number(1LL << 40).end_array()
        .key("none").null()
        .key("list").begin_array()
            .begin_object().key("song").number(1).end_object()
            .begin_object().key("song").number(2).key("stil").null().end_object()
        .end_array()
        .key("empty").begin_array().end_array()
        .end_object();
    ASSERT_EQ(line.text().find('\n'), std::string::npos) << "one object, one line";
    nlohmann::json read = nlohmann::json::parse(line.text());
    EXPECT_EQ(read["text"], awkward);
    EXPECT_EQ(read["numbers"], nlohmann::json({54272, -1, 1LL << 40}));
    EXPECT_TRUE(read["none"].is_null());
    EXPECT_EQ(read["list"][1]["song"], 2);
    EXPECT_TRUE(read["list"][1]["stil"].is_null());
    EXPECT_TRUE(read["empty"].empty());
}

TEST(JsonLine, BytesThatAreNoUtf8BecomeReplacementCharacters) {
    // A file name in Latin-1, a lone continuation byte, a cut-off character,
    // an overlong slash and a UTF-16 surrogate.
    std::string bad = "R\xF6" "dig \x80 \xE2\x82 \xC0\xAF \xED\xA0\x80 ok \xE2\x82\xAC";
    nlohmann::json read = nlohmann::json::parse(json_string(bad));
    std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(read.get<std::string>(), "R" + fffd + "dig " + fffd + " " + fffd + fffd + " " + fffd + fffd + " " +
                                           fffd + fffd + fffd + " ok \xE2\x82\xAC");
}
