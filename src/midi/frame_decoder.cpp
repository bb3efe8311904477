#include "midi/frame_decoder.h"

#include "midi/register_frame.h"

namespace {

constexpr int positions = 28;
constexpr size_t frame_head = 11;  // F0 2D 4E, then 4 mask and 4 high-bit bytes

bool present(const uint8_t* masks, int position) { return masks[position / 7] & (1 << (position % 7)); }

bool apply_frame(const uint8_t* message, size_t length, uint8_t sub_command, SidRegisters& registers) {
    if (length < frame_head + 1 || message[0] != sysex_start || message[1] != sysex_manufacturer ||
        message[2] != sub_command || message[length - 1] != sysex_end)
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

}  // namespace

bool apply_register_frame(const uint8_t* message, size_t length, SidRegisters& registers) {
    return apply_frame(message, length, message_register_frame, registers);
}

int apply_chip_frame(const uint8_t* message, size_t length, SidRegisters (&chips)[max_sids]) {
    for (int chip = 0; chip < max_sids; ++chip)
        if (apply_frame(message, length, shared_port_frame_message(chip), chips[chip])) return chip;
    return -1;
}
