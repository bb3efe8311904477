// The tune information list on a small file of our own: a one-song tune, a
// tune with per-song sections, a folder's entry, comments, continuation
// lines, and finding an entry by its path in the collection.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "collection/stil.h"
#include "scratch_folder.h"

namespace {

const char* const stil_text =
    "### The file's own preamble: every line starting with '#' is a comment.\n"
    "#\n"
    "\n"
    "### Quill, Ada ###\n"
    "/MUSICIANS/Q/Quill_Ada/\n"
    "COMMENT: Every tune in this folder was written on a borrowed machine.\n"
    "\n"
    "/MUSICIANS/Q/Quill_Ada/Harbour.sid\n"
    "  TITLE: Harbour Lights\n"
    " ARTIST: The Lanterns\n"
    "COMMENT: Arranged from memory, a tempo slower than the record,\n"
    "         and with the bridge left out.\n"
    "           An indented line keeps the blanks past the text column.\n"
    "\n"
    "/MUSICIANS/Q/Quill_Ada/Suite.sid\r\n"
    "COMMENT: Four songs; song 2 is a jingle.\r\n"
    "(#1)\r\n"
    "  TITLE: Overture\r\n"
    " ARTIST: Ada Quill\r\n"
    "(#3)\r\n"
    "   NAME: Third (intro)\r\n"
    "  TITLE: Dawn (0:00-0:40)\r\n"
    " ARTIST: First Band\r\n"
    "  TITLE: Dusk (0:40)\r\n"
    " ARTIST: Second Band\r\n"
    " AUTHOR: Ada Quill\r\n"
    "COMMENT: A comment with\r\n"
    "\tone line indented by a tab,\r\n"
    "  FOOTER: and one that only looks like a field.\r\n"
    "\r\n"
    "### Zed ###\n"
    "/GAMES/Z/Zed.sid\n"
    "  TITLE: Upper case\n"
    "\n"
    "/GAMES/Z/zed.sid\n"
    "  TITLE: lower case\n";

TEST(StilList, AOneSongTuneHasItsFieldsAsTheWholeTunesWithContinuationLinesJoined) {
    Stil stil = Stil::parse(stil_text);
    EXPECT_EQ(stil.entries(), 5u);

    std::optional<StilEntry> harbour = stil.entry("/MUSICIANS/Q/Quill_Ada/Harbour.sid");
    ASSERT_TRUE(harbour);
    EXPECT_TRUE(harbour->songs.empty());
    ASSERT_EQ(harbour->global.size(), 3u);
    EXPECT_EQ(harbour->global[0].name, "TITLE");
    EXPECT_EQ(harbour->global[0].text, "Harbour Lights");
    EXPECT_EQ(harbour->global[1].name, "ARTIST");
    EXPECT_EQ(harbour->global[1].text, "The Lanterns");
    EXPECT_EQ(harbour->global[2].name, "COMMENT");
    EXPECT_EQ(harbour->global[2].text,
              "Arranged from memory, a tempo slower than the record,\n"
              "and with the bridge left out.\n"
              "  An indented line keeps the blanks past the text column.");
    EXPECT_EQ(stil_field(harbour->song_fields(1), "TITLE"), "Harbour Lights") << "a one-song tune's song 1";
    EXPECT_EQ(stil_field(harbour->global, "AUTHOR"), "");

    std::optional<StilEntry> folder = stil.entry("/MUSICIANS/Q/Quill_Ada/");
    ASSERT_TRUE(folder);
    EXPECT_EQ(stil_field(folder->global, "COMMENT"), "Every tune in this folder was written on a borrowed machine.");
}

TEST(StilList, PerSongSectionsHoldTheirOwnFieldsInTheFilesOrder) {
    Stil stil = Stil::parse(stil_text);
    std::optional<StilEntry> suite = stil.entry("/MUSICIANS/Q/Quill_Ada/Suite.sid");
    ASSERT_TRUE(suite);
    EXPECT_EQ(stil_field(suite->global, "COMMENT"), "Four songs; song 2 is a jingle.");
    ASSERT_EQ(suite->songs.size(), 2u);
    EXPECT_EQ(suite->songs[0].song, 1);
    EXPECT_EQ(suite->songs[1].song, 3);

    EXPECT_EQ(stil_field(suite->song_fields(1), "TITLE"), "Overture");
    EXPECT_EQ(stil_field(suite->song_fields(1), "ARTIST"), "Ada Quill");
    EXPECT_EQ(stil_field(suite->song_fields(2), "COMMENT"), "Four songs; song 2 is a jingle.")
        << "a song without a section has the whole tune's fields";

    const std::vector<StilField>& third = suite->song_fields(3);
    std::vector<std::string> names;
    for (const StilField& field : third) names.push_back(field.name);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "TITLE", "ARTIST", "TITLE", "ARTIST", "AUTHOR", "COMMENT"}));
    EXPECT_EQ(third[1].text, "Dawn (0:00-0:40)");
    EXPECT_EQ(third[4].text, "Second Band");
    EXPECT_EQ(third[6].text,
              "A comment with\n"
              "one line indented by a tab,\n"
              "FOOTER: and one that only looks like a field.");
}

TEST(StilList, AnEntryIsFoundByItsExactPathElseByThePathInAnotherCase) {
    Stil stil = Stil::parse(stil_text);
    EXPECT_EQ(stil_field(stil.entry("/GAMES/Z/Zed.sid")->global, "TITLE"), "Upper case");
    EXPECT_EQ(stil_field(stil.entry("/GAMES/Z/zed.sid")->global, "TITLE"), "lower case");
    std::optional<StilEntry> other_case = stil.entry("/musicians/q/quill_ada/harbour.SID");
    ASSERT_TRUE(other_case);
    EXPECT_EQ(stil_field(other_case->global, "TITLE"), "Harbour Lights");

    EXPECT_FALSE(stil.entry("/MUSICIANS/Q/Quill_Ada/Missing.sid"));
    EXPECT_FALSE(stil.entry("MUSICIANS/Q/Quill_Ada/Harbour.sid")) << "paths begin at the root's '/'";
    EXPECT_FALSE(stil.entry(""));
    EXPECT_EQ(Stil::parse("no entries here\n  TITLE: stray\n").entries(), 0u);

    ScratchFolder folder;
    StilLoad missing = load_stil((folder.path() / "STIL.txt").string());
    EXPECT_EQ(missing.stil, nullptr);
    EXPECT_EQ(missing.error_number, ENOENT);
    StilLoad read = load_stil(folder.write("DOCUMENTS/STIL.txt", stil_text));
    ASSERT_NE(read.stil, nullptr);
    EXPECT_EQ(read.stil->entries(), 5u);
}

}  // namespace
