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

constexpr LogEntry reset_entries[] = {{24, 15}, {0, 0},  {1, 0},    {7, 0},    {8, 0},
                                      {14, 0},  {15, 0}, {21, 255}, {22, 255}, {23, 0}};

constexpr int song_register_count = 25;
constexpr uint8_t gate_bit = 0x01;
constexpr int filter_cutoff_low = 21;

bool is_control_register(int reg) { return reg == 4 || reg == 11 || reg == 18; }

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
    encode_log(reset_entries);
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

void restart_song_registers(SongRegisters& registers) {
    for (int32_t chip = 0; chip < max_sids; ++chip) {
        uint8_t* value = registers.chip(chip);
        for (int reg = 0; reg < song_register_count; ++reg) value[reg] = 0;
        for (const LogEntry& entry : reset_entries) value[entry.reg] = entry.value;
    }
}

void take_stores(SongRegisters& registers, const SidWriteLog& log) {
    for (size_t i = 0; i < std::size(log.registers) && log.registers[i] != -1; ++i) {
        int32_t chip = log.registers[i] / sid_log_chip_step;
        int32_t reg = log.registers[i] % sid_log_chip_step;
        if (chip < max_sids && reg < song_register_count) registers.chip(chip)[reg] = log.values[i];
    }
}

void write_state_frame(const SongRegisters& registers) {
    int n = 0;
    for (int32_t chip = 0; chip < sids_sent(); ++chip) {
        const uint8_t* values = registers.chip(chip);
        auto put = [&n, chip](int reg, uint8_t value) {
            sid_write_log.registers[n] = chip * sid_log_chip_step + reg;
            sid_write_log.values[n] = value;
            ++n;
        };
        for (int reg = 0; reg < song_register_count; ++reg) {
            uint8_t value = values[reg];
            if (is_control_register(reg) && (value & gate_bit)) put(reg, value & ~gate_bit);
            put(reg, value);
        }
        // The encoder scales each cutoff half with the other half as last sent;
        // the low half once more, now that the high half is the song's too.
        put(filter_cutoff_low, values[filter_cutoff_low]);
    }
    sid_write_log.registers[n] = -1;
    // Changes-only must not thin this frame out: it is the whole state.
    send_whole_state_next();
    encode_player_frame();
    sid_write_log.registers[0] = -1;
}
