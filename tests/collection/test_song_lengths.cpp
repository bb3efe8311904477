// The song-length database on small files of our own: both length forms,
// attributes, comments and sections, lines it must skip, duplicate MD5s,
// and reading a file once per process.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collection/song_lengths.h"
#include "scratch_folder.h"

namespace {

Md5Digest md5(const char* hex) {
    Md5Digest digest{};
    EXPECT_TRUE(parse_md5_hex(hex, digest)) << hex;
    return digest;
}

std::vector<int32_t> lengths(const SongLengths& database, const char* hex) {
    std::span<const int32_t> found = database.lengths_ms(md5(hex));
    return {found.begin(), found.end()};
}

using Lengths = std::vector<int32_t>;

TEST(SongLengthsDatabase, ReadsTheCollectionsFormWithBothLengthFormsAndAttributes) {
    SongLengths database = SongLengths::parse(
        "[Database]\r\n"
        "; /MUSICIANS/A/Artist/One.sid\r\n"
        "0123456789abcdef0123456789abcdef=3:12\r\n"
        "; /MUSICIANS/A/Artist/Three.sid\r\n"
        "FEDCBA9876543210FEDCBA9876543210=0:05.5 1:02.025 123:45.678\r\n"
        "  ; an indented comment, and a blank line\r\n"
        "\r\n"
        "11111111111111111111111111111111=0:46(G) 1:02 (M) 0:00 2:00(B)(Z)\n"
        "[Other]\n"
        "22222222222222222222222222222222=1:00\n"
        "[database]\n"
        "33333333333333333333333333333333 = 0:01");

    EXPECT_EQ(database.tunes(), 4u);
    EXPECT_EQ(database.malformed_lines(), 0);
    EXPECT_EQ(lengths(database, "0123456789abcdef0123456789abcdef"), Lengths{192'000});
    EXPECT_EQ(lengths(database, "fedcba9876543210fedcba9876543210"), (Lengths{5'500, 62'025, 7'425'678}));
    // 0:00 is no length at all: the song's length is unknown.
    EXPECT_EQ(lengths(database, "11111111111111111111111111111111"),
              (Lengths{46'000, 62'000, unknown_length_ms, 120'000}));
    EXPECT_EQ(lengths(database, "22222222222222222222222222222222"), Lengths{}) << "a line of another section";
    EXPECT_EQ(lengths(database, "33333333333333333333333333333333"), Lengths{1'000});

    Md5Digest three = md5("fedcba9876543210fedcba9876543210");
    EXPECT_EQ(database.length_ms(three, 1), 5'500);
    EXPECT_EQ(database.length_ms(three, 3), 7'425'678);
    EXPECT_EQ(database.length_ms(three, 0), unknown_length_ms);
    EXPECT_EQ(database.length_ms(three, 4), unknown_length_ms);
    EXPECT_EQ(database.length_ms(md5("44444444444444444444444444444444"), 1), unknown_length_ms);
}

TEST(SongLengthsDatabase, SkipsAndCountsEveryLineItCannotReadAndKeepsTheRest) {
    SongLengths database = SongLengths::parse(
        "[Database]\n"
        "0123456789abcdef0123456789abcdef=1:00\n"
        "0123456789abcdef0123456789abcde=1:00\n"    // line 3: 31 digits
        "0123456789abcdef0123456789abcdeg=1:00\n"   // g is no hex digit
        "0123456789abcdef0123456789abcdef 1:00\n"   // no '='
        "11111111111111111111111111111111=\n"       // no length
        "22222222222222222222222222222222=1:5\n"    // one digit of seconds
        "33333333333333333333333333333333=1:60\n"   // seconds above 59
        "44444444444444444444444444444444=1:00.1234\n"
        "55555555555555555555555555555555=1:00 2:00x\n"
        "66666666666666666666666666666666=(G) 1:00\n"
        "77777777777777777777777777777777=1:00(G\n"
        "88888888888888888888888888888888=35791:23.648\n"  // 2^31 ms
        "99999999999999999999999999999999=1:00,2:00\n"
        "[Database\n"
        "not a line of the database\n"
        "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa=35791:23.647 0:00.1\n");

    EXPECT_EQ(database.malformed_lines(), 14);
    EXPECT_EQ(database.first_malformed_line(), 3);
    EXPECT_EQ(database.tunes(), 2u);
    EXPECT_EQ(lengths(database, "0123456789abcdef0123456789abcdef"), Lengths{60'000});
    EXPECT_EQ(lengths(database, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"), (Lengths{INT32_MAX, 100}));
    EXPECT_EQ(lengths(database, "55555555555555555555555555555555"), Lengths{}) << "no song of a bad line is kept";

    EXPECT_EQ(song_lengths_warning("db.md5", database),
              "db.md5: 14 lines are not song lengths and were skipped (the first is line 3)");
    EXPECT_EQ(song_lengths_warning("db.md5", SongLengths::parse("x\n")),
              "db.md5: 1 line is not song lengths and was skipped (the first is line 1)");
    EXPECT_EQ(song_lengths_warning("db.md5", SongLengths::parse("")), "");
}

TEST(SongLengthsDatabase, TheLaterOfTwoLinesWithTheSameMd5Wins) {
    SongLengths database = SongLengths::parse(
        "ffffffffffffffffffffffffffffffff=0:10\n"
        "00000000000000000000000000000000=1:00 1:01\n"
        "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee=0:20\n"
        "00000000000000000000000000000000=2:00\n"
        "00000000000000000000000000000000=3:00 3:01 3:02\n");
    EXPECT_EQ(database.tunes(), 3u);
    EXPECT_EQ(database.duplicate_lines(), 2);
    EXPECT_EQ(lengths(database, "00000000000000000000000000000000"), (Lengths{180'000, 181'000, 182'000}));
    EXPECT_EQ(lengths(database, "ffffffffffffffffffffffffffffffff"), Lengths{10'000});
    EXPECT_EQ(lengths(database, "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee"), Lengths{20'000});
}

TEST(SongLengthsDatabase, LengthTextsAreReadAndWrittenAsTheCollectionWritesThem) {
    struct Case {
        const char* text;
        int32_t ms;  // -2: refused
    } cases[] = {
        {"0:01", 1'000},     {"3:00", 180'000},  {"59:59", 3'599'000}, {"60:00", 3'600'000}, {"1:23.4", 83'400},
        {"1:23.45", 83'450}, {"1:23.456", 83'456}, {"1:23.", -2},       {"1:2", -2},          {":23", -2},
        {"1:23 ", -2},       {"-1:00", -2},       {"1:23(G)", -2},     {"", -2},
    };
    for (const Case& c : cases) {
        int32_t ms = -2;
        EXPECT_EQ(parse_song_length(c.text, ms), c.ms != -2) << c.text;
        EXPECT_EQ(ms, c.ms) << c.text;
    }
    EXPECT_EQ(format_song_time(0), "0:00");
    EXPECT_EQ(format_song_time(83'999), "1:23");
    EXPECT_EQ(format_song_time(7'425'678), "123:45");
    EXPECT_EQ(format_song_time(unknown_length_ms), "-:--");
}

TEST(SongLengthsDatabase, AFileIsReadOnceAndAFailedReadIsTriedAgain) {
    ScratchFolder folder;
    std::string path = (folder.path() / "Songlengths.md5").string();

    SongLengthsLoad missing = load_song_lengths(path);
    EXPECT_EQ(missing.database, nullptr);
    EXPECT_EQ(missing.error_number, ENOENT);

    folder.write("Songlengths.md5", "[Database]\n0123456789abcdef0123456789abcdef=1:00\n");
    SongLengthsLoad first = load_song_lengths(path);
    ASSERT_NE(first.database, nullptr);
    EXPECT_EQ(first.database->tunes(), 1u);

    folder.write("Songlengths.md5", "[Database]\n");
    SongLengthsLoad again = load_song_lengths(path);
    EXPECT_EQ(again.database, first.database) << "the file is not read a second time";

    SongLengthsLoad folder_as_file = load_song_lengths(folder.path().string());
    EXPECT_EQ(folder_as_file.database, nullptr);
    EXPECT_NE(folder_as_file.error_number, 0);
}

}  // namespace
