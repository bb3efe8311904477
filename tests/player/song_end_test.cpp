// Songs of a known length on the virtual clock: the tune time each play call
// adds, the stop at the length, what the front end is told, and the next
// song following with nothing but the start sequence between.
#include "controller_fixture.h"

#include "player/commands.h"
#include "player/playback_controller.h"
#include "player/psid_loader.h"

namespace {

int32_t lengths_ms[4];  // by song; 0 unused

int32_t length_of(int32_t song) { return song >= 1 && song <= 3 ? lengths_ms[song] : -1; }

class SongEnd : public Controller {
protected:
    void SetUp() override {
        // A PAL frame is 19,656 cycles of 985,248 Hz, 19.950 ms (these were
        // whole 20 ms periods once; recomputed by hand): five end at 99.75 ms,
        // three at 59.85 ms.
        lengths_ms[1] = 99;  // five play periods
        lengths_ms[2] = 59;
        lengths_ms[3] = -1;
        install_song_length_lookup(length_of);
        PsidBuilder tune = counting_tune();
        tune.songs = 3;
        ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    }
    static int play_calls() { return memory_image.bytes[0x1100]; }
    static int song_index() { return memory_image.bytes[0x1102]; }
};

TEST_F(SongEnd, ASongStopsAtItsLengthThenTheNextFollowsWithOnlyTheStartSequence) {
    player.play();
    player.position_callbacks(12);
    auto buffers = played();
    ASSERT_GE(buffers.size(), 8u);
    EXPECT_EQ(buffers[2], volume_frame(0x1F));
    for (int call = 1; call <= 4; ++call) EXPECT_EQ(buffers[2 + call], play_call_frame(static_cast<uint8_t>(call)));
    // From the init frame to the mute frames: five periods, the song's 99 ms.
    EXPECT_EQ(buffers[7], mute_frames());
    EXPECT_TRUE(all_empty(buffers, 8, buffers.size()));
    EXPECT_EQ(play_calls(), 5);
    EXPECT_EQ(player_state.song_time_ms, 99);  // 99.75 ms
    EXPECT_EQ(player_state.song_length_ms, 99);
    EXPECT_EQ(player_state.playing, 0);
    EXPECT_EQ(player.song_ends_told(), 1);
    EXPECT_EQ(player.play_button_text(), "Pause") << "what follows is the front end's to say";

    ASSERT_TRUE(take_song_end());
    EXPECT_FALSE(take_song_end()) << "taken once";
    size_t before = played().size();
    player.play_song(2);
    player.position_callbacks(12);
    buffers = played();
    size_t start = index_of(buffers, reset_frame() + text_message("Counter"), before);
    ASSERT_LT(start + 6, buffers.size());
    EXPECT_TRUE(all_empty(buffers, before, start));
    EXPECT_EQ(song_index(), 1);
    EXPECT_EQ(buffers[start + 2], volume_frame(0x1F));
    EXPECT_EQ(buffers[start + 3], play_call_frame(1));
    EXPECT_EQ(buffers[start + 4], play_call_frame(2));
    EXPECT_EQ(buffers[start + 5], mute_frames()) << "song 2 lasts three periods";
    EXPECT_EQ(player_state.song_length_ms, 59);
    EXPECT_EQ(player.song_ends_told(), 2);

    // Song 3's length is unknown: it plays on.
    ASSERT_TRUE(take_song_end());
    player.play_song(3);
    player.position_callbacks(40);
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player_state.song_length_ms, -1);
    EXPECT_EQ(player.song_ends_told(), 2);
    EXPECT_GT(player_state.song_time_ms, 500);
}

TEST_F(SongEnd, PauseAndResumeKeepTheSongsTimeAndAStopAtTheEndIsNotOverruled) {
    lengths_ms[1] = 199;  // ten periods, 199.5 ms
    player.play();
    player.position_callbacks(6);
    player.play();  // pause
    int32_t paused_at = player_state.song_time_ms;
    EXPECT_GT(paused_at, 0);
    player.position_callbacks(10);
    EXPECT_EQ(player_state.song_time_ms, paused_at);
    player.play();  // resume
    player.position_callbacks(20);
    EXPECT_EQ(play_calls(), 10) << "ten periods of song, however long the pause";
    EXPECT_EQ(player.song_ends_told(), 1);
    ASSERT_TRUE(take_song_end());

    // A Stop pressed in the last period, before the worker takes it: the
    // song still stops at its length, but nothing moves on past the Stop.
    player.play_song(2);
    while (player_state.song_time_ms < lengths_ms[2] - 20) player.position_callbacks(1);
    EXPECT_STREQ(press_stop(), "Play");
    player.position_callbacks(3);
    player.worker_passes(1);
    EXPECT_EQ(player.song_ends_told(), 1);
    EXPECT_FALSE(take_song_end());
}

TEST_F(SongEnd, TuneTimeIsCountedExactlyAtRatesThatAreNoWholeNumberOfMilliseconds) {
    // 60 Hz: 16 2/3 ms a call. One second is exactly 60 calls; dropping the
    // fraction would make it 61.
    PsidBuilder tune = counting_tune();
    tune.speed = 1;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    lengths_ms[1] = 1000;
    player.set_speed(150);  // tune time, whatever the speed
    player.play();
    player.position_callbacks(80);
    EXPECT_EQ(play_calls(), 60);
    EXPECT_EQ(player_state.song_time_ms, 1000);
    EXPECT_EQ(player.song_ends_told(), 1);
}

}  // namespace
