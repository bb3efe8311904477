// Seeking on demo.sid (tests/tunes/demo.s: three voices whose gates open and
// close every few calls, a filter sweep, 50 Hz): the frame a seek sends
// leaves the synthesizer with the registers an uninterrupted run has at that
// time, and the stream then goes on exactly as that run does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/headless_player.h"
#include "midi/frame_decoder.h"
#include "player/commands.h"
#include "player/playback_controller.h"
#include "player/player_state.h"

namespace {

using Buffers = std::vector<HeadlessPlayer::Buffer>;

const std::string demo = std::string(ZARVEL_TUNES_DIR) + "/demo.sid";
constexpr int period_ms = 20;  // 50 Hz

// Buffers of a start: 0 the reset frame and name, 1 queued by the first
// pacing step before it encodes anything, 2 the init's stores, then play call
// k's stores in buffer k + 3. So the state at time t (the calls that begin
// before t) is that of the buffers before first_buffer_after(t).
size_t first_buffer_after(int t_ms) { return static_cast<size_t>((t_ms + period_ms - 1) / period_ms) + 3; }

// Every register frame of the buffers applied in order to a chip of zeros.
SidRegisters decode(const Buffers& buffers, size_t begin, size_t end) {
    SidRegisters registers{};
    for (size_t b = begin; b < end; ++b) {
        const std::vector<uint8_t>& bytes = buffers[b].bytes;
        for (size_t start = 0; start < bytes.size(); ++start) {
            if (bytes[start] != 0xF0) continue;
            size_t stop = start;
            while (stop < bytes.size() && bytes[stop] != 0xF7) ++stop;
            apply_register_frame(&bytes[start], stop - start + 1, registers);
            start = stop;
        }
    }
    return registers;
}

// Where in the buffer a frame with positions 0..24 all present begins (mask
// bytes 7F 7F 7F and the low four bits of the fourth), or npos; demo's own
// frames carry 13 registers at most.
size_t state_frame_in(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 7 <= bytes.size(); ++i) {
        if (bytes[i] == 0xF0 && bytes[i + 2] == 0x4E && bytes[i + 3] == 0x7F && bytes[i + 4] == 0x7F &&
            bytes[i + 5] == 0x7F && (bytes[i + 6] & 0x0F) == 0x0F)
            return i;
    }
    return std::string::npos;
}

bool position_present(const uint8_t* frame, int position) { return frame[3 + position / 7] & (1 << (position % 7)); }

Buffers uninterrupted_run(size_t buffers) {
    HeadlessPlayer player;
    EXPECT_EQ(player.load(demo), LOAD_OK);
    player.play();
    while (player.buffer_count() < buffers) player.position_callbacks(1);
    return player.buffers();
}

TEST(Seek, FirstFrameHoldsTheUninterruptedStateAndTheStreamGoesOnAsIt) {
    struct Case {
        const char* name;
        int playing_at_ms;  // where the song stands when the seek is asked for
        int target_ms;
    };
    const Case cases[] = {
        {"forward from the start", 0, 10000},
        {"forward from where it plays, between two calls", 5000, 12345},
        {"backward", 20000, 7000},
        {"back to the start: the init's stores only", 3000, 0},
    };
    constexpr size_t compared = 200;
    const Buffers reference = uninterrupted_run(first_buffer_after(12345) + compared + 1);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffers run;
        {
            HeadlessPlayer player;
            ASSERT_EQ(player.load(demo), LOAD_OK);
            player.play();
            while (player_state.song_time_ms < c.playing_at_ms) player.position_callbacks(1);
            player.seek_to(c.target_ms);
            player.position_callbacks(static_cast<int>(compared) + 10);
            run = player.buffers();
        }
        size_t at = 0;
        while (at < run.size() && state_frame_in(run[at].bytes) == std::string::npos) ++at;
        ASSERT_LT(at + compared, run.size()) << "no state frame";
        const uint8_t* frame = &run[at].bytes[state_frame_in(run[at].bytes)];

        size_t expected_end = first_buffer_after(c.target_ms);
        SidRegisters expected = decode(reference, 0, expected_end);
        SidRegisters got = decode(run, at, at + 1);
        for (int reg = 0; reg < 25; ++reg) EXPECT_EQ(got.value[reg], expected.value[reg]) << "register " << reg;
        // A voice sounding at the target has its gate closed and opened in
        // the frame, so that the note starts afresh on the synthesizer.
        for (int voice = 0; voice < 3; ++voice) {
            bool gate_on = expected.value[4 + 7 * voice] & 1;
            EXPECT_EQ(position_present(frame, 25 + voice), gate_on) << "voice " << voice + 1;
        }
        for (size_t i = 1; i <= compared; ++i) {
            ASSERT_EQ(run[at + i].bytes, reference[expected_end + i - 1].bytes) << "buffer " << i << " after the seek";
        }
    }
}

// Every chip's frames of the buffers applied in order to chips of zeros.
void decode_chips(const Buffers& buffers, size_t begin, size_t end, SidRegisters (&chips)[max_sids]) {
    for (size_t b = begin; b < end; ++b) {
        const std::vector<uint8_t>& bytes = buffers[b].bytes;
        for (size_t start = 0; start < bytes.size(); ++start) {
            if (bytes[start] != 0xF0) continue;
            size_t stop = start;
            while (stop < bytes.size() && bytes[stop] != 0xF7) ++stop;
            apply_chip_frame(&bytes[start], stop - start + 1, chips);
            start = stop;
        }
    }
}

TEST(Seek, WithTheSecondSidAsFramesItsStateFollowsTooWholeEvenWithChangesOnly) {
    // two_sids.sid (tests/tunes/two_sids.s): the second SID writes every
    // call, values the first never gets; 50 Hz as demo, so the reference's
    // buffers count as first_buffer_after says.
    const std::string two_sids = std::string(ZARVEL_TUNES_DIR) + "/two_sids.sid";
    constexpr int target_ms = 3010;
    for (bool changes_only : {false, true}) {
        SCOPED_TRACE(changes_only ? "changes only" : "every store");
        auto run_to = [&](bool seek) {
            HeadlessPlayer player;
            EXPECT_EQ(player.load(two_sids), LOAD_OK);
            player_state.extra_sids = EXTRA_SIDS_FRAMES;
            player_state.changes_only = changes_only ? 1 : 0;
            player.play();
            player.position_callbacks(20);
            if (seek) player.seek_to(target_ms);
            while (player.buffer_count() < first_buffer_after(target_ms) + 5) player.position_callbacks(1);
            return player.buffers();
        };
        const Buffers reference = run_to(false);
        const Buffers run = run_to(true);
        // Past the init's buffer, whose frame is whole with changes only too.
        size_t at = first_buffer_after(0);
        while (at < run.size() && state_frame_in(run[at].bytes) == std::string::npos) ++at;
        ASSERT_LT(at, run.size()) << "no state frame";

        SidRegisters expected[max_sids]{};
        decode_chips(reference, 0, first_buffer_after(target_ms), expected);
        // The seek's buffer alone on chips of zeros: it must hold every
        // register of both chips, whatever was sent before it.
        SidRegisters got[max_sids]{};
        decode_chips(run, at, at + 1, got);
        for (int chip = 0; chip < 2; ++chip) {
            for (int reg = 0; reg < 25; ++reg) {
                EXPECT_EQ(got[chip].value[reg], expected[chip].value[reg]) << "chip " << chip + 1 << " register " << reg;
            }
        }
    }
}

TEST(Seek, PastAKnownLengthEndsTheSongAndAPausedSongStays) {
    // 15 s, as a song-length database would give it.
    install_song_length_lookup([](int32_t) -> int32_t { return 15000; });
    HeadlessPlayer player;  // (its reset removed the lookup)
    install_song_length_lookup([](int32_t) -> int32_t { return 15000; });
    ASSERT_EQ(player.load(demo), LOAD_OK);
    player.play();
    player.position_callbacks(10);

    player.play();  // pause
    EXPECT_FALSE(seek_to(14000));
    player.play();  // resume
    player.position_callbacks(5);
    EXPECT_LT(player_state.song_time_ms, 1000);

    player.seek_to(15000);
    player.position_callbacks(5);
    EXPECT_EQ(player.song_ends_told(), 1);
    EXPECT_TRUE(take_song_end());
    EXPECT_EQ(player_state.playing, 0);
    EXPECT_EQ(player_state.silenced, 1);  // the mute frames went out
}

}  // namespace
