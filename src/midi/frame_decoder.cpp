#include "midi/frame_decoder.h"

#include "midi/register_frame.h"

namespace {

constexpr int positions = 28;
constexpr size_t frame_head = 11;  // F0 2D 4E, then 4 mask and 4 high-bit bytes

// The register each data position writes. Positions 25..27 carry a voice's
// later control write, or registers 25..27, which are read-only on the chip;
// either way the chip can only take it as the control write.
constexpr int position_register[positions] = {
    0,  1,  2,  3,  5,  6,  7,   // voice 1 without its control, voice 2's frequency
    8,  9,  10, 12, 13, 14, 15,  // voice 2, voice 3's frequency
    16, 17, 19, 20, 21, 22, 23,  // voice 3, filter cutoff, resonance and routing
    24, 4,  11, 18, 4,  11, 18,  // mode and volume; first, then last control writes
};

bool present(const uint8_t* masks, int position) { return masks[position / 7] & (1 << (position % 7)); }

}  // namespace

bool apply_register_frame(const uint8_t* message, size_t length, SidRegisters& registers) {
    if (length < frame_head + 1 || message[0] != sysex_start || message[1] != sysex_manufacturer ||
        message[2] != message_register_frame || message[length - 1] != sysex_end)
        return false;
    const uint8_t* masks = message + 3;
    const uint8_t* high_bits = message + 7;
    size_t data_bytes = 0;
    for (int p = 0; p < positions; ++p) data_bytes += present(masks, p);
    if (length != frame_head + data_bytes + 1) return false;

    const uint8_t* data = message + frame_head;
    for (int p = 0; p < positions; ++p) {
        if (!present(masks, p)) continue;
        bool high = high_bits[p / 7] & (1 << (p % 7));
        registers.value[position_register[p]] = static_cast<uint8_t>((*data++ & 0x7F) | (high ? 0x80 : 0));
    }
    return true;
}
