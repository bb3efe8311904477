// A play list on the virtual clock: each song for its length from the
// database (the default for the unknown ones), then the next song and the
// next file by themselves; the keys' steps across the ends of files.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "headless/headless_player.h"
#include "cli/list_player.h"
#include "player/commands.h"
#include "player/player_state.h"
#include "small_collection.h"

namespace {

using Place = std::pair<int, int>;  // file index, song

Place place(const ListPlayer& list) { return {list.file_index(), player_state.current_song.load()}; }

// Runs the stream until the controller ends the song; the tune time it reached.
int32_t play_to_song_end(HeadlessPlayer& player) {
    for (int ms = 0; ms < 60000; ms += 5) {
        if (take_song_end()) return player_state.song_time_ms;
        player.advance_ms(5);
    }
    ADD_FAILURE() << "the song did not end";
    return -1;
}

class ListPlayerTest : public ::testing::Test {
protected:
    SmallCollection collection;
    std::vector<std::string> files = {
        collection.add("multisong.sid", "M/Multi.sid", "0:00.1 0:00.2 0:00 0:00.06"),
        collection.add("melody.sid", "M/Melody.sid", ""),
        collection.add("demo.sid", "M/Demo.sid", "0:00.08"),
    };
    HeadlessPlayer player;
};

TEST_F(ListPlayerTest, EverySongPlaysItsLengthThenTheNextSongAndFileFollowUntilTheEnd) {
    ListSettings settings;
    settings.all_songs = true;
    settings.default_length_ms = 300;
    ListPlayer list(files, settings, stderr);
    ASSERT_TRUE(list.open());
    player.play();
    struct Step {
        Place at;
        int32_t length_ms;
    };
    // A length ends at the first whole period at or past it (by hand, in
    // cycles of 985,248 Hz): multisong's songs 1 and 4 run on the timer's
    // start latch, 16,422 cycles (16.668 ms: 6 periods 100.0 ms, 4 periods
    // 66.67 ms); the others once a PAL frame, 19,656 cycles (19.950 ms: 11
    // periods 219.45 ms, 16 periods 319.2 ms, 5 periods 99.75 ms).
    const Step steps[] = {{{0, 1}, 100}, {{0, 2}, 219}, {{0, 3}, 319}, {{0, 4}, 66}, {{1, 1}, 319}, {{2, 1}, 99}};
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "file " << step.at.first << " song " << step.at.second);
        EXPECT_EQ(place(list), step.at);
        EXPECT_EQ(play_to_song_end(player), step.length_ms);
        if (&step != &steps[std::size(steps) - 1]) {
            ASSERT_TRUE(list.advance());
            player.worker_passes(1);
        }
    }
    EXPECT_FALSE(list.advance()) << "past the last song the list is over";
    player.worker_passes(1);
    EXPECT_EQ(player_state.playing, 0);
}

TEST_F(ListPlayerTest, KeysStepAcrossFilesAndLoopWraps) {
    ListSettings settings;
    settings.loop = true;
    settings.all_songs = true;
    ListPlayer list(files, settings, stderr);
    ASSERT_TRUE(list.open());
    player.play();
    EXPECT_TRUE(list.step_song(-1));
    EXPECT_EQ(place(list), (Place{2, 1})) << "before the first song, with --loop, the last";
    EXPECT_TRUE(list.step_song(+1));
    EXPECT_EQ(place(list), (Place{0, 1}));
    EXPECT_TRUE(list.step_file(+1));
    EXPECT_EQ(place(list), (Place{1, 1}));
    EXPECT_TRUE(list.step_song(-1));
    EXPECT_EQ(place(list), (Place{0, 4})) << "back into the previous file: its last song";
    player.worker_passes(1);
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player_state.song_length_ms, 60);
}

TEST(ListPlayer, AFileThatDoesNotLoadIsPassedOverAndASingleSongOfUnknownLengthHasNone) {
    SmallCollection collection;
    HeadlessPlayer player;
    std::vector<std::string> files = {std::string(ZARVEL_TUNES_DIR) + "/mus.sid",
                                      collection.add("melody.sid", "M/Melody.sid", "")};
    char* text = nullptr;
    size_t size = 0;
    std::FILE* err = open_memstream(&text, &size);
    {
        ListPlayer list(files, ListSettings{}, err);
        ASSERT_TRUE(list.open());
        EXPECT_EQ(list.file_index(), 1);
        player.play();
        EXPECT_EQ(player_state.song_length_ms, 60000 * 3) << "two files: the default length";
        EXPECT_FALSE(list.step_file(-1)) << "only a broken file that way";
        player.worker_passes(1);
        EXPECT_EQ(list.file_index(), 1);
        EXPECT_EQ(player_state.playing, 1) << "the song that played plays again, not silence";
    }
    {
        ListPlayer single({files[1]}, ListSettings{}, err);
        ASSERT_TRUE(single.open());
        player.stop();
        player.play();
        EXPECT_EQ(player_state.song_length_ms, -1) << "one song alone plays until stopped";
    }
    std::fclose(err);
    EXPECT_NE(std::string(text, size).find("mus.sid: not a playable tune"), std::string::npos);
    std::free(text);
}

}  // namespace
