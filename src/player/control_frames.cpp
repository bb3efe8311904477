#include "player/control_frames.h"

#include <cstddef>
#include <cstdint>

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
    for (int i = 0; i < times; ++i) encode_register_frame();
}

}  // namespace

void write_reset_frame() {
    static constexpr LogEntry reset[] = {{24, 15}, {0, 0},  {1, 0},    {7, 0},    {8, 0},
                                         {14, 0},  {15, 0}, {21, 255}, {22, 255}, {23, 0}};
    encode_log(reset);
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
