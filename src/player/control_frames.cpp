#include "player/control_frames.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "cpu/cpu_call.h"
#include "cpu/sid_write_log.h"
#include "midi/register_frame.h"
#include "player/player_state.h"

namespace {

struct LogEntry {
    int32_t reg;
    uint8_t value;
};

// Replaces the shared log with a hand-built one, the same entries for each
// chip sent, and encodes it.
constexpr int32_t mode_volume = 24;

// The second and third chip's volume when the mute frames went out (the
// first chip's is saved_volume); written by every mute before a restore reads it.
uint8_t saved_extra_volume[max_sids] = {15, 15, 15};

LogEntry same_for_every_chip(int, LogEntry entry) { return entry; }

template <size_t n, class ForChip = decltype(&same_for_every_chip)>
void encode_log(const LogEntry (&entries)[n], int times = 1, ForChip for_chip = same_for_every_chip) {
    static_assert(n * max_sids < std::size(SidWriteLog{}.registers));
    int32_t chips = sids_sent();
    size_t slot = 0;
    for (int32_t chip = 0; chip < chips; ++chip) {
        for (size_t i = 0; i < n; ++i, ++slot) {
            LogEntry entry = for_chip(chip, entries[i]);
            sid_write_log.registers[slot] = chip * sid_log_chip_step + entry.reg;
            sid_write_log.values[slot] = entry.value;
        }
    }
    sid_write_log.registers[slot] = -1;
    for (int i = 0; i < times; ++i) encode_player_frame();
}

}  // namespace

int32_t tune_sid_count() { return 1 + (other_sid_windows != 0) + (third_sid_windows != 0); }

// With a port per chip, the front end's device splits the chips' frames
// out of the one stream.
int32_t sids_sent() { return player_state.extra_sids == EXTRA_SIDS_OFF ? 1 : tune_sid_count(); }

const char* extra_sids_not_played_text() {
    return third_sid_windows
               ? "the tune's second and third SID are not played; to hear them, choose extra SIDs: frames for a "
                 "receiver of several SIDs (--extra-sids frames), or ports with a synthesizer for each SID"
               : "the tune's second SID is not played; to hear it, choose extra SIDs: frames for a receiver of "
                 "several SIDs (--extra-sids frames), or ports with a synthesizer for each SID";
}

bool encode_player_frame() {
    const PlayerState& p = player_state;
    FrameSettings settings{p.filter_percent, {}, p.changes_only};
    for (int g = 0; g < 4; ++g) settings.voice_enabled[g] = p.voice_enabled[g];
    bool appended = false;
    for (int32_t chip = 0; chip < sids_sent(); ++chip) {
        settings.message = shared_port_frame_message(chip);
        EncodedFrame frame = encode_register_frame(settings, chip);
        if (chip == 0 && frame.volume >= 0) player_state.last_volume = frame.volume;
        appended |= frame.appended;
    }
    return appended;
}

void write_reset_frame() {
    send_whole_state_next();
    static constexpr LogEntry reset[] = {{24, 15}, {0, 0},  {1, 0},    {7, 0},    {8, 0},
                                         {14, 0},  {15, 0}, {21, 255}, {22, 255}, {23, 0}};
    encode_log(reset);
}

void write_mute_frames() {
    player_state.saved_volume = player_state.last_volume.load();
    for (int chip = 1; chip < max_sids; ++chip) saved_extra_volume[chip] = sid_shadows[chip][mode_volume];
    static constexpr LogEntry mute[] = {{mode_volume, 0}};
    encode_log(mute, 2);
}

void write_restore_frame() {
    send_whole_state_next();
    const LogEntry restore[] = {{mode_volume, static_cast<uint8_t>(player_state.saved_volume)}};
    encode_log(restore, 1, [](int chip, LogEntry entry) {
        if (chip > 0) entry.value = saved_extra_volume[chip];
        return entry;
    });
}
