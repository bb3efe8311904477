#include "player/control_frames.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "cpu/sid_write_log.h"
#include "midi/register_frame.h"
#include "player/player_state.h"

namespace {

struct LogEntry {
    int32_t reg;
    uint8_t value;
};

// Replaces the shared log with a hand-built one and encodes it.
template <size_t n>
void encode_log(const LogEntry (&entries)[n], int times = 1) {
    for (size_t i = 0; i < n; ++i) {
        sid_write_log.registers[i] = entries[i].reg;
        sid_write_log.values[i] = entries[i].value;
    }
    sid_write_log.registers[n] = -1;
    for (int i = 0; i < times; ++i) encode_player_frame();
}

constexpr LogEntry reset_entries[] = {{24, 15}, {0, 0},  {1, 0},    {7, 0},    {8, 0},
                                      {14, 0},  {15, 0}, {21, 255}, {22, 255}, {23, 0}};

constexpr int song_register_count = 25;
constexpr uint8_t gate_bit = 0x01;
constexpr int filter_cutoff_low = 21;

bool is_control_register(int reg) { return reg == 4 || reg == 11 || reg == 18; }

}  // namespace

bool encode_player_frame() {
    const PlayerState& p = player_state;
    FrameSettings settings{p.filter_percent, {}};
    for (int g = 0; g < 4; ++g) settings.voice_enabled[g] = p.voice_enabled[g];
    EncodedFrame frame = encode_register_frame(settings);
    if (frame.volume >= 0) player_state.last_volume = frame.volume;
    return frame.appended;
}

void write_reset_frame() {
    encode_log(reset_entries);
}

void write_mute_frames() {
    player_state.saved_volume = player_state.last_volume.load();
    static constexpr LogEntry mute[] = {{24, 0}};
    encode_log(mute, 2);
}

void write_restore_frame() {
    const LogEntry restore[] = {{24, static_cast<uint8_t>(player_state.saved_volume)}};
    encode_log(restore);
}

void restart_song_registers(SongRegisters& registers) {
    for (uint8_t& value : registers.value) value = 0;
    for (const LogEntry& entry : reset_entries) registers.value[entry.reg] = entry.value;
}

void take_stores(SongRegisters& registers, const SidWriteLog& log) {
    for (size_t i = 0; i < std::size(log.registers) && log.registers[i] != -1; ++i) {
        int reg = log.registers[i] & 0x1F;
        if (reg < song_register_count) registers.value[reg] = log.values[i];
    }
}

void write_state_frame(const SongRegisters& registers) {
    int n = 0;
    auto put = [&n](int reg, uint8_t value) {
        sid_write_log.registers[n] = reg;
        sid_write_log.values[n] = value;
        ++n;
    };
    for (int reg = 0; reg < song_register_count; ++reg) {
        uint8_t value = registers.value[reg];
        if (is_control_register(reg) && (value & gate_bit)) put(reg, value & ~gate_bit);
        put(reg, value);
    }
    // The encoder scales each cutoff half with the other half as last sent;
    // the low half once more, now that the high half is the song's too.
    put(filter_cutoff_low, registers.value[filter_cutoff_low]);
    sid_write_log.registers[n] = -1;
    encode_player_frame();
    sid_write_log.registers[0] = -1;
}
