// Seeking on demo.sid (three voices whose gates open and close every few
// calls, a filter sweep, a PAL frame's rate): the seek's frame leaves the synthesizer with
// the registers an uninterrupted run has then, and the stream goes on as it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "headless/headless_player.h"
#include "midi/frame_decoder.h"
#include "player/player_state.h"

namespace {

using Buffers = std::vector<HeadlessPlayer::Buffer>;
const std::string demo = std::string(ZARVEL_TUNES_DIR) + "/demo.sid";

// A start's buffers: 0 the reset frame and name, 1 queued by the first pacing
// step before it encodes anything, 2 the init's stores, k + 3 play call k's,
// which begins k PAL frames of 19,656 cycles at 985,248 Hz in (19.950 ms).
// The state at t holds the calls that begin before t, k < t x 985,248 /
// 19,656,000 (t in ms): that of the buffers before this one. 10 s: calls
// 0..501 (501 begins at 9.995 s, 502 at 10.015 s), buffer 505.
size_t first_buffer_after(int t_ms) {
    return static_cast<size_t>((int64_t{t_ms} * 985'248 + 19'655'999) / 19'656'000) + 3;
}

// Every message of the bytes applied in order (non-frames change nothing).
void apply(const std::vector<uint8_t>& bytes, size_t from, SidRegisters& registers) {
    for (size_t start = from, end; start < bytes.size(); start = end + 1) {
        for (end = start; end < bytes.size() && bytes[end] != 0xF7;) ++end;
        if (end < bytes.size()) apply_register_frame(&bytes[start], end - start + 1, registers);
    }
}

// Where a frame with all of positions 0..24 begins (masks 7F 7F 7F, then the
// low 4 bits), or npos; demo's own frames carry 13 registers at most.
size_t state_frame_in(const std::vector<uint8_t>& b) {
    for (size_t i = 0; i + 7 <= b.size(); ++i)
        if (b[i] == 0xF0 && b[i + 3] == 0x7F && b[i + 4] == 0x7F && b[i + 5] == 0x7F && (b[i + 6] & 0x0F) == 0x0F)
            return i;
    return std::string::npos;
}

TEST(Seek, FirstFrameHoldsTheUninterruptedStateAndTheStreamGoesOnAsIt) {
    struct Case {
        const char* name;
        int playing_at_ms, target_ms;
    } const cases[] = {
        {"forward from the start", 0, 10000},
        {"forward from where it plays, between two calls", 5000, 12345},
        {"backward", 20000, 7000},
        {"back to the start: the init's stores only", 3000, 0},
    };
    constexpr size_t compared = 200;
    Buffers reference;
    {
        HeadlessPlayer player;
        ASSERT_EQ(player.load(demo), LOAD_OK);
        player.play();
        player.position_callbacks(static_cast<int>(first_buffer_after(12345) + compared));
        reference = player.buffers();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessPlayer player;
        ASSERT_EQ(player.load(demo), LOAD_OK);
        player.play();
        while (player_state.song_time_ms < c.playing_at_ms) player.position_callbacks(1);
        player.seek_to(c.target_ms);
        player.position_callbacks(static_cast<int>(compared) + 10);
        Buffers run = player.buffers();
        size_t at = 0;
        while (at < run.size() && state_frame_in(run[at].bytes) == std::string::npos) ++at;
        ASSERT_LT(at + compared, run.size()) << "no state frame";

        size_t end = first_buffer_after(c.target_ms);
        SidRegisters expected{}, got{};
        for (size_t b = 0; b < end; ++b) apply(reference[b].bytes, 0, expected);
        size_t frame = state_frame_in(run[at].bytes);
        apply(run[at].bytes, frame, got);
        for (int reg = 0; reg < 25; ++reg) EXPECT_EQ(got.value[reg], expected.value[reg]) << "register " << reg;
        // A voice sounding there gets a second control write (positions 25..27,
        // mask byte 3 bits 4..6): its gate closes and opens, the note starts afresh.
        for (int voice = 0; voice < 3; ++voice)
            EXPECT_EQ((run[at].bytes[frame + 6] >> (4 + voice)) & 1, expected.value[4 + 7 * voice] & 1) << voice;
        for (size_t i = 1; i <= compared; ++i)
            ASSERT_EQ(run[at + i].bytes, reference[end + i - 1].bytes) << "buffer " << i << " after the seek";
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

}  // namespace
