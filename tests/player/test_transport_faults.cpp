// Transport faults injected through the stream engine, and what the player
// does about them: each failure is told once, and the next Play recovers.
#include "controller_fixture.h"

#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/player_state.h"
#include "player/psid_loader.h"

namespace {

using stream_engine::Fault;

// The slot whose queueing failed held the last frame of the lost stream; the
// new stream's first buffer is the start alone, byte for byte.
TEST_F(Controller, AFailedSlotsBytesNeverLeadTheNextStream) {
    for (Fault fault : {Fault::prepare, Fault::out}) {
        ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
        player.play();
        player.position_callbacks(5);
        stream_engine::inject_fault(fault);
        player.position_callbacks(2);  // a frame's queueing fails
        player.worker_passes(2);
        ASSERT_EQ(stream_engine::open_stream_count(), 0);
        size_t before = player.buffer_count();
        player.play();
        player.position_callbacks(3);
        auto buffers = played();
        ASSERT_GT(buffers.size(), before);
        EXPECT_EQ(buffers[before], reset_frame() + text_message("Counter"));
        player.stop();
        player.position_callbacks(20);
    }
}

// A failure told in the middle of a start or resume sets the button to
// "Play"; when that start or resume goes on to play on a new stream, the
// button must say "Pause" again, or the user's next press pauses the tune.
TEST_F(Controller, SongChangeThatReopensAfterAFailureShowsPause) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(5);
    stream_engine::inject_fault(Fault::out);
    player.choose_song(2);  // the mute frames' callback fails; the start reopens
    EXPECT_EQ(player.warnings(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player.play_button_text(), "Pause");
}

TEST_F(Controller, ResumeThatReopensAfterAFailureShowsPause) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(5);
    player.play();  // pause, taken within the play period: the mute frames are still to come
    press_play();   // resume, taken by the next pass while it waits for them
    stream_engine::inject_fault(Fault::out);
    player.worker_passes(1);
    EXPECT_EQ(player.warnings(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player.play_button_text(), "Pause");
}

}  // namespace
