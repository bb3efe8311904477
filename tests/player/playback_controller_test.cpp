// The playback controller end to end: requests in, the exact buffers the
// stream plays out, on the virtual clock.
#include "controller_fixture.h"

#include "cpu/cpu_state.h"
#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/psid_loader.h"

namespace {

TEST_F(Controller, StartSendsResetAndNameThenAnEmptyBufferThenTheInitFrame) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    EXPECT_EQ(player.play_button_text(), "Pause");
    player.position_callbacks(6);
    auto buffers = player.buffers();
    ASSERT_EQ(buffers.size(), 6u);
    EXPECT_EQ(buffers[0].bytes, reset_frame() + text_message("Counter"));
    EXPECT_TRUE(buffers[1].bytes.empty());
    EXPECT_EQ(buffers[2].bytes, volume_frame(0x1F));  // the init call's writes
    EXPECT_EQ(buffers[3].bytes, play_call_frame(1));
    EXPECT_EQ(buffers[4].bytes, play_call_frame(2));
    EXPECT_EQ(buffers[5].bytes, play_call_frame(3));
    // A PAL frame, 19,656 cycles of 985,248 Hz, is 19.950 ms: the periods end
    // at 19, 39, 59, 79, 99 and 119 ms (whole 20 ms periods once; by hand).
    std::vector<uint32_t> deltas;
    for (auto& buffer : buffers) deltas.push_back(buffer.delta_ticks);
    EXPECT_EQ(deltas, (std::vector<uint32_t>{19, 20, 20, 20, 20, 20}));
    EXPECT_EQ(buffers[5].time_us - buffers[0].time_us, 100'000);  // played at 19 and 119 ms
    EXPECT_EQ(player.rate_label(), "50 Hz");
    EXPECT_EQ(init_count(), 1);
}

TEST_F(Controller, NothingPlaysWithoutATune) {
    player.play();
    player.worker_passes(10);
    EXPECT_EQ(player.buffer_count(), 0u);
    EXPECT_EQ(player.play_button_text(), "Play");
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
}

TEST_F(Controller, PlayPausePlayResumesWithTheRestoreFrameTwice) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);  // reset, empty, init, call 1; call 4 has run
    player.play();                 // pause
    EXPECT_EQ(player.play_button_text(), "Play");
    player.position_callbacks(6);
    player.play();  // resume
    EXPECT_EQ(player.play_button_text(), "Pause");
    player.position_callbacks(5);

    auto buffers = played();
    size_t mute = index_of(buffers, mute_frames());
    ASSERT_LT(mute, buffers.size());
    EXPECT_EQ(buffers[mute - 2], play_call_frame(2));
    EXPECT_EQ(buffers[mute - 1], play_call_frame(3));
    size_t restore = index_of(buffers, volume_frame(0x1F), mute);
    ASSERT_LT(restore + 4, buffers.size());
    EXPECT_TRUE(all_empty(buffers, mute + 1, restore));
    EXPECT_TRUE(buffers[restore + 1].empty());
    EXPECT_EQ(buffers[restore + 2], volume_frame(0x1F));
    // Call 4's writes were replaced by the mute log and never sent.
    EXPECT_EQ(buffers[restore + 3], play_call_frame(5));
    EXPECT_EQ(count_of(buffers, play_call_frame(4)), 0u);
    EXPECT_EQ(init_count(), 1);
}

TEST_F(Controller, QuickPauseAndPlayStillRestoreTheVolume) {
    // Play within the same play period as Pause: the mute frames have not
    // gone out yet when the resume is taken.
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.play();  // pause: taken 10 ms into a 20 ms period
    player.play();  // resume before the next position callback
    player.position_callbacks(4);
    auto buffers = played();
    EXPECT_EQ(count_of(buffers, volume_frame(0)), 0u);
    size_t restore = index_of(buffers, volume_frame(0x1F), 3);
    ASSERT_LT(restore, buffers.size());
    EXPECT_EQ(player_state.saved_volume, 0x1F);
}

TEST_F(Controller, StopAfterPauseDoesNothingAndPlayResumes) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.play();  // pause
    player.position_callbacks(3);
    player.stop();
    EXPECT_EQ(player_state.paused, 1);
    player.play();
    player.position_callbacks(3);
    auto buffers = played();
    EXPECT_EQ(count_of(buffers, reset_frame() + text_message("Counter")), 1u);
    EXPECT_EQ(count_of(buffers, volume_frame(0x1F)), 3u);  // init frame, restore twice
    EXPECT_EQ(init_count(), 1);
}

TEST_F(Controller, PlayStopPlayStartsAgainFromTheInit) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.stop();
    EXPECT_EQ(player.play_button_text(), "Play");
    player.position_callbacks(3);
    player.play();
    player.position_callbacks(6);
    auto buffers = played();
    size_t mute = index_of(buffers, mute_frames());
    size_t second_start = index_of(buffers, reset_frame() + text_message("Counter"), 1);
    ASSERT_LT(second_start, buffers.size());
    EXPECT_LT(mute, second_start);
    EXPECT_EQ(init_count(), 2);
    EXPECT_EQ(index_of(buffers, play_call_frame(1), second_start), second_start + 3);
}

TEST_F(Controller, StartInTheStoppingStateWaitsForTheMuteFrames) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.stop();  // taken 10 ms into a 20 ms period: the mute frames are still to come
    player.play();
    player.position_callbacks(6);
    auto buffers = played();
    size_t mute = index_of(buffers, mute_frames());
    size_t second_start = index_of(buffers, reset_frame() + text_message("Counter"), 1);
    ASSERT_LT(second_start, buffers.size());
    EXPECT_LT(mute, second_start);
}

TEST_F(Controller, TwoPlayPressesInOnePassStartOnce) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    press_play();
    press_play();
    player.worker_passes(1);
    player.position_callbacks(5);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 1u);
    EXPECT_EQ(init_count(), 1);
}

TEST_F(Controller, SongChangeWhilePlayingMutesThenStartsTheNewSong) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(5);
    player.choose_song(3);
    player.position_callbacks(6);
    auto buffers = played();
    size_t mute = index_of(buffers, mute_frames());
    size_t start = index_of(buffers, reset_frame() + text_message("Counter"), 1);
    ASSERT_LT(start, buffers.size());
    EXPECT_LT(mute, start);
    EXPECT_TRUE(all_empty(buffers, mute + 1, start));
    size_t init_frame = index_of(buffers, volume_frame(0x1F), start);
    EXPECT_TRUE(all_empty(buffers, start + 1, init_frame));
    EXPECT_EQ(buffers[init_frame + 1], play_call_frame(1));
    EXPECT_EQ(memory_image.bytes[0x1102], 2);  // song 3 passed 2 in A
    EXPECT_EQ(init_count(), 2);
}

TEST_F(Controller, SongChosenWhilePausedWaitsForTheNextFreshStart) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.play();  // pause
    player.choose_song(3);
    EXPECT_EQ(player_state.current_song, 3);
    player.play();  // resumes song 1
    player.position_callbacks(4);
    EXPECT_EQ(init_count(), 1);
    EXPECT_EQ(memory_image.bytes[0x1102], 0);
    player.stop();
    player.play();  // a fresh start takes song 3
    player.position_callbacks(4);
    EXPECT_EQ(init_count(), 2);
    EXPECT_EQ(memory_image.bytes[0x1102], 2);
}

TEST_F(Controller, AbandonedPlayCallStopsWithTwoMuteFramesInTheSameCallback) {
    PsidBuilder tune = counting_tune();
    tune.at(0x1020, {0x4C, 0x20, 0x10});  // JMP $1020: never returns
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    EXPECT_EQ(player.play_button_text(), "Play");
    EXPECT_EQ(player_state.playing, 0);
    EXPECT_EQ(player_state.silenced, 1);
    auto buffers = played();
    ASSERT_GE(buffers.size(), 3u);
    // The first callback queued the empty buffer, ran the play call into the
    // limit and queued the init frame with the mute frames behind it.
    EXPECT_TRUE(buffers[1].empty());
    EXPECT_EQ(buffers[2], volume_frame(0x1F) + mute_frames());
    EXPECT_TRUE(player.warnings().empty());

    player.play();  // starts afresh, behind the two buffers still in flight
    player.position_callbacks(3);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 2u);
}

TEST_F(Controller, ExitWhilePlayingSendsTheMuteFramesBeforeTheWindowCloses) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.exit_player();
    EXPECT_EQ(count_of(played(), mute_frames()), 1u);
}

// However the program ends while a tune sounds, the synthesizer hears the
// mute frames before the stream closes, and the close follows them closely.
struct Ending {
    const char* name;
    bool slow;  // 15 Hz at 20 %: a play period of 333 ms
    void (*before_exit)(HeadlessPlayer& player);
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.name; }

class EndingWhileSounding : public Controller, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingWhileSounding, TheMuteFramesPlayBeforeTheStreamCloses) {
    const Ending& ending = GetParam();
    ASSERT_EQ(player.load((ending.slow ? slow_counting_tune() : counting_tune()).write()), LOAD_OK);
    if (ending.slow) player.set_speed(20);
    player.play();
    player.position_callbacks(5);
    ending.before_exit(player);
    int64_t began_us = stream_engine::now_us();
    player.exit_player();
    int64_t closed_us = stream_engine::now_us();

    EXPECT_EQ(stream_engine::open_stream_count(), 0);
    auto buffers = player.buffers();
    auto last_message = std::find_if(buffers.rbegin(), buffers.rend(), [](auto& b) { return !b.bytes.empty(); });
    ASSERT_NE(last_message, buffers.rend());
    EXPECT_EQ(last_message->bytes, mute_frames());
    EXPECT_EQ(count_of(played(), mute_frames()), 1u);
    // One poll after the mute frames have played, then the close's own 100 ms.
    EXPECT_LE(closed_us - std::max(began_us, last_message->time_us), 130'000);

    // Nothing starts once the program is closing.
    press_play();
    player.worker_passes(3);
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
    EXPECT_EQ(player.buffer_count(), buffers.size());
}

INSTANTIATE_TEST_SUITE_P(
    ExitOrCloseBox, EndingWhileSounding,
    ::testing::Values(Ending{"StopThenExitAtOnce", false, [](HeadlessPlayer&) { press_stop(); }},
                      Ending{"PauseThenExitAtOnce", false, [](HeadlessPlayer&) { press_play(); }},
                      Ending{"ExitWhilePlayingAt15HzAnd20Percent", true, [](HeadlessPlayer&) {}},
                      Ending{"StopThenExitAt15HzAnd20Percent", true, [](HeadlessPlayer&) { press_stop(); }},
                      Ending{"ExitLongAfterAPause", false,
                             [](HeadlessPlayer& player) {
                                 player.play();
                                 player.position_callbacks(5);
                             }}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST_F(Controller, SpeedScalesTheDeltaTimeAndTheRateLabel) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(3);
    player.set_speed(150);
    EXPECT_EQ(player.rate_label(), "75 Hz");
    player.position_callbacks(8);
    // Four PAL frames at 100 % (19, 20, 20, 20 ms) leave 0.80 ms over; at
    // 150 % a frame is 19,656 x 100000 / (985,248 x 150) = 13.300 ms, so the
    // periods end 14.10, 27.40, 40.70, 54.00, 67.30 and 80.60 ms on (by hand).
    std::vector<uint32_t> deltas;
    for (auto& buffer : player.buffers()) deltas.push_back(buffer.delta_ticks);
    ASSERT_GE(deltas.size(), 10u);
    EXPECT_EQ(std::vector<uint32_t>(deltas.begin(), deltas.begin() + 4), (std::vector<uint32_t>{19, 20, 20, 20}));
    EXPECT_EQ(std::vector<uint32_t>(deltas.begin() + 4, deltas.begin() + 10),
              (std::vector<uint32_t>{14, 13, 13, 14, 13, 13}));
    player.set_speed(5);  // below the scale: held at 20 %
    EXPECT_EQ(player_state.speed_percent, 20);
    EXPECT_EQ(player.rate_label(), "10 Hz");
}

TEST_F(Controller, EveryStartBeginsOnAWholeTick) {
    // 60 Hz (speed bit set, latch left 0): 16, 17, 17 from every start, however
    // many periods went by before it; a leftover carried over would shift the
    // second start's pattern.
    PsidBuilder tune = counting_tune();
    tune.speed = 1;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        size_t before = player.buffers().size();
        player.play();
        player.position_callbacks(3 + start);
        auto buffers = player.buffers();
        ASSERT_GE(buffers.size(), before + 3);
        EXPECT_TRUE(buffers[before].bytes == reset_frame() + text_message("Counter"));
        EXPECT_EQ(buffers[before].delta_ticks, 16u);
        EXPECT_EQ(buffers[before + 1].delta_ticks, 17u);
        EXPECT_EQ(buffers[before + 2].delta_ticks, 17u);
        player.stop();
        player.position_callbacks(5);
    }
}

TEST_F(Controller, APlayCallThatNeverReturnsIsTimedInTheSong) {
    // The third play call runs for ever. Play call k runs at the position
    // callback of buffer k - 1, k periods into the song: three PAL frames of
    // 19.950 ms, in stream ticks 19 + 20 + 20 = 59 ms.
    PsidBuilder tune = counting_tune();
    tune.at(0x1020, {
        0xEE, 0x00, 0x11,  // INC $1100
        0xAD, 0x00, 0x11,  // LDA $1100
        0xC9, 0x03,        // CMP #3
        0xF0, 0xFE,        // BEQ *      the third call stays here
        0x60,              // RTS
    });
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    EXPECT_EQ(player_state.play_stopped_at_ms, -1);
    player.play();
    player.position_callbacks(6);
    EXPECT_EQ(player.play_button_text(), "Play");
    EXPECT_EQ(player_state.play_stopped_at_ms, 59);
    player.play();  // a fresh start has not stopped
    EXPECT_EQ(player_state.play_stopped_at_ms, -1);
    player.position_callbacks(6);
    EXPECT_EQ(player_state.play_stopped_at_ms, 59);
}

TEST_F(Controller, VoiceSwitchSendsZeroFrequencyInsteadOfTheTunesWrites) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.toggle_voice(0);
    // A frame encoded at one callback is queued at the next and played at
    // the one after.
    player.position_callbacks(3);
    auto buffers = played();
    Bytes silenced_voice = {0xF0, 0x2D, 0x4E, 0x03, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0xF7};
    EXPECT_EQ(buffers.back(), silenced_voice);
}

TEST_F(Controller, LoadWhilePlayingRestartsOnTheNewTunesStartSong) {
    PsidBuilder tune = counting_tune();
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    tune.name = "Second";
    tune.songs = 4;
    tune.start_song = 2;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    EXPECT_EQ(player_state.current_song, 2);
    EXPECT_EQ(player.play_button_text(), "Pause");
    player.position_callbacks(6);
    auto buffers = played();
    size_t mute = index_of(buffers, mute_frames());
    size_t start = index_of(buffers, reset_frame() + text_message("Second"));
    ASSERT_LT(start, buffers.size());
    EXPECT_LT(mute, start);
    EXPECT_EQ(memory_image.bytes[0x1102], 1);
}

TEST_F(Controller, FailedLoadWhilePlayingStaysStopped) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    EXPECT_EQ(player.load(temp_folder() + "/missing.sid"), LOAD_CANNOT_OPEN);
    EXPECT_EQ(player_state.tune_loaded, 0);
    player.position_callbacks(4);
    player.play();
    player.position_callbacks(4);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 1u);
}

TEST_F(Controller, LoadAfterPauseStartsTheNewTuneAfresh) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.play();  // pause
    player.position_callbacks(2);
    PsidBuilder second = counting_tune();
    second.name = "Second";
    ASSERT_EQ(player.load(second.write()), LOAD_OK);
    EXPECT_EQ(player_state.paused, 0);
    player.play();
    player.position_callbacks(3);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Second")), 1u);
}

// A tune opened from the desktop while the player runs: loaded and started,
// from stopped or while another plays, once; a tune that fails starts nothing.
TEST_F(Controller, LoadThatAsksToPlayStartsTheTuneOnce) {
    auto load_and_play = [this](const std::string& path) {
        std::snprintf(player_state.tune_path, sizeof player_state.tune_path, "%s", path.c_str());
        int result = load_tune_path(true);
        player.worker_passes(1);
        return result;
    };
    PsidBuilder tune = counting_tune();
    ASSERT_EQ(load_and_play(tune.write()), LOAD_OK);
    player.position_callbacks(4);
    EXPECT_EQ(player_state.playing, 1);
    tune.name = "Second";
    ASSERT_EQ(load_and_play(tune.write()), LOAD_OK);
    player.position_callbacks(6);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 1u);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Second")), 1u);
    EXPECT_EQ(player_state.playing, 1);

    EXPECT_EQ(load_and_play(temp_folder() + "/missing.sid"), LOAD_CANNOT_OPEN);
    player.position_callbacks(4);
    EXPECT_EQ(player_state.playing, 0);
    EXPECT_EQ(player_state.start_request, 0);
}

TEST_F(Controller, TransportFailureIsReportedOnceAndTheNextPlayRecovers) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    stream_engine::inject_fault(stream_engine::Fault::out);
    player.position_callbacks(1);   // the callback's queueing fails
    player.worker_passes(2);        // the worker reports it
    EXPECT_EQ(player.warnings(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player.play_button_text(), "Play");
    EXPECT_EQ(player_state.playing, 0);
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
    player.play();
    player.position_callbacks(3);
    EXPECT_EQ(player.warnings().size(), 1u);
    // The frame left in the slot when the queueing failed went with the old
    // stream: the new one begins with the reset frame.
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 2u);
    EXPECT_EQ(stream_engine::open_stream_count(), 1);
}

}  // namespace
