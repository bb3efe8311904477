// Faults the fuzz targets and the threaded runs found in the controller, each
// pinned down on the virtual clock: the bytes the stream played, the flags,
// the window's controls.
#include "controller_fixture.h"
#include "midi/stream_transport.h"
#include "player/commands.h"
#include "player/psid_loader.h"

namespace {

// Every buffer is whole SysEx messages, F0 ... F7 with 7-bit bytes between.
bool whole_messages(const Bytes& buffer) {
    bool inside = false;
    for (uint8_t b : buffer) {
        if (b == 0xF0) {
            if (inside) return false;
            inside = true;
        } else if (b == 0xF7) {
            if (!inside) return false;
            inside = false;
        } else if (!inside || b >= 0x80) {
            return false;
        }
    }
    return !inside;
}

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

// Each start on a running stream and each mute used to add a buffer to those
// the stream holds, and nothing but a resume took them away. After eight
// Stops and Plays the ring of sixteen was full: frames were appended into a
// buffer the stream was still to play, so it played half messages, and
// queueings found their slot held and dropped starts and mutes.
TEST_F(Controller, StopsAndStartsNeverFillTheStream) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    for (int i = 0; i < 12; ++i) {
        player.play();
        player.position_callbacks(2);
        player.stop();
    }
    player.play();
    player.position_callbacks(40);

    auto buffers = played();
    for (const Bytes& buffer : buffers) EXPECT_TRUE(whole_messages(buffer));
    EXPECT_EQ(count_of(buffers, reset_frame() + text_message("Counter")), 13u);
    EXPECT_EQ(count_of(buffers, mute_frames()), 12u);
    EXPECT_EQ(init_count(), 13);
    EXPECT_EQ(stream_retry_pending(), 0);
    // The last start plays within a period or two of the Play, not behind a
    // queue of empty buffers: call 30 of the last start is among the last.
    EXPECT_LT(index_of(buffers, play_call_frame(30)), buffers.size());
}

TEST_F(Controller, SongChangesWhilePlayingNeverFillTheStream) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(3);
    for (int i = 0; i < 20; ++i) {
        player.choose_song(1 + (i + 1) % 3);
        player.position_callbacks(3);
    }
    player.position_callbacks(10);

    auto buffers = played();
    for (const Bytes& buffer : buffers) EXPECT_TRUE(whole_messages(buffer));
    EXPECT_EQ(count_of(buffers, reset_frame() + text_message("Counter")), 21u);
    // Every song change mutes the song before it, before the next start.
    size_t start = 0;
    for (int i = 0; i < 20; ++i) {
        size_t mute = index_of(buffers, mute_frames(), start);
        size_t next_start = index_of(buffers, reset_frame() + text_message("Counter"), start + 1);
        ASSERT_LT(next_start, buffers.size());
        EXPECT_LT(mute, next_start);
        start = next_start;
    }
    EXPECT_EQ(init_count(), 21);
    EXPECT_EQ(stream_retry_pending(), 0);
}

// A load takes "a tune was playing" to mean "start the new one". A Pause or
// Stop pressed just before, not yet taken by the worker, left playing set:
// the new tune started while the button said "Play".
TEST_F(Controller, LoadRightAfterPauseOrStopDoesNotStartTheNewTune) {
    for (auto press : {press_play, press_stop}) {
        ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
        player.play();
        player.position_callbacks(4);
        ASSERT_EQ(press(), std::string("Play"));  // Pause, or Stop
        PsidBuilder second = counting_tune();
        second.name = "Second";
        ASSERT_EQ(player.load(second.write()), LOAD_OK);
        player.worker_passes(2);
        player.position_callbacks(4);
        EXPECT_EQ(player_state.playing, 0);
        EXPECT_EQ(player_state.start_request, 0);
        EXPECT_EQ(count_of(played(), reset_frame() + text_message("Second")), 0u);
    }
}

// A Play not yet taken when a load begins was taken by the same worker pass
// as the load's stop, after it: the old tune started on the image the loader
// was rewriting, and after a failed load the player played an empty image
// with no tune loaded. A file that does not load now changes nothing: the
// Play goes on with the tune that was loaded.
TEST_F(Controller, LoadRightAfterPlayStartsTheNewTuneOnly) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    press_play();
    EXPECT_EQ(player.load(temp_folder() + "/missing.sid"), LOAD_CANNOT_OPEN);
    player.worker_passes(2);
    player.position_callbacks(4);
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 1u);
    player.stop();
    player.position_callbacks(4);

    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    press_play();
    PsidBuilder second = counting_tune();
    second.name = "Second";
    ASSERT_EQ(player.load(second.write()), LOAD_OK);
    player.worker_passes(1);
    player.position_callbacks(4);
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Counter")), 1u) << "the first half's start alone";
    EXPECT_EQ(count_of(played(), reset_frame() + text_message("Second")), 1u);
}

// The worker compared the rate with the one it noted at the start of its own
// pass, so a change made by the stream callback between two passes never
// reached the label.
TEST_F(Controller, RateLabelFollowsChangesMadeBetweenWorkerPasses) {
    PsidBuilder tune = counting_tune();
    tune.play_address = 0;  // installs its handler: on the machine, the rate is the gap between frames
    tune.at(0x1000, {
        0xA9, 0x20,        // LDA #$20
        0x8D, 0x14, 0x03,  // STA $0314
        0xA9, 0x10,        // LDA #$10
        0x8D, 0x15, 0x03,  // STA $0315    handler at $1020
        0xA9, 0x4E,        // LDA #$4E
        0x8D, 0x05, 0xDC,  // STA $DC05    latch $4E25 (the low byte the machine's): 49.25 Hz
        0x60,              // RTS
    });
    tune.at(0x1020, {
        0xEE, 0x00, 0x11,  // INC $1100
        0xAD, 0x00, 0x11,  // LDA $1100
        0x8D, 0x00, 0xD4,  // STA $D400    a frame from every handler
        0xC9, 0x05,        // CMP #5
        0xD0, 0x05,        // BNE +5
        0xA9, 0x27,        // LDA #$27
        0x8D, 0x05, 0xDC,  // STA $DC05    from handler 5 on, latch $2725: 98.31 Hz
        0x4C, 0x31, 0xEA,  // JMP $EA31
    });
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    // By hand: the first handler comes at the start latch's underflow,
    // 16,422 cycles and the handler's few: 60 Hz. Then 20,006 cycles apart
    // (two steps each: an empty video frame, then the frame) up to the
    // sixth, whose timer reload takes the fifth's latch: 10,022 apart, a
    // step each. 10 + 16 steps fill the last 16 gaps with those: 98 Hz.
    EXPECT_EQ(player.rate_label(), "60 Hz");
    player.position_callbacks(30);  // between passes
    ASSERT_EQ(player_state.play_rate_hz, 98);
    player.worker_passes(1);
    EXPECT_EQ(player.rate_label(), "98 Hz");
}

}  // namespace
