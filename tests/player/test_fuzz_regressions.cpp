// Faults the fuzz targets and the threaded runs found in the controller, each
// pinned down on the virtual clock: the bytes the stream played, the flags,
// the window's controls.
#include "controller_fixture.h"

#include "player/commands.h"
#include "player/psid_loader.h"

namespace {

// Two presses from Paused within one worker pass raise a resume and then a
// start; the worker takes the start first. The resume then waited for mute
// frames that a playing tune never sends: the worker hung for ever.
TEST_F(Controller, PlayTwiceFromPausedStartsAfreshAndNeverHangs) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(4);
    player.play();  // pause
    player.position_callbacks(3);
    press_play();  // resume requested
    press_play();  // not playing yet, no longer paused: a start
    player.worker_passes(2);
    player.position_callbacks(4);
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player_state.start_request, 0);
    EXPECT_EQ(player_state.resume_request, 0);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 2u);
    EXPECT_EQ(init_count(), 2);
}

}  // namespace
