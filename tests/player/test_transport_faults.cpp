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

}  // namespace
