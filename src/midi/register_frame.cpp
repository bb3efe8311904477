#include "midi/register_frame.h"

#include <bit>
#include <cstring>
#include <iterator>

#include "cpu/sid_write_log.h"
#include "midi/stream_transport.h"

uint8_t sid_shadow[28];

namespace {

constexpr int frame_positions = 28;
constexpr int control_register = -1;  // voice control registers take 22.. first, then 25..
constexpr int first_control_position = 22;
constexpr int later_control_position = 25;
constexpr int filter_cutoff_low = 21;   // bits 0..2 of the 11-bit cutoff
constexpr int filter_cutoff_high = 22;  // bits 3..10
constexpr int mode_volume = 24;
constexpr int max_cutoff = 2047;

// The data position each SID register 0..27 is carried at.
constexpr int data_position[frame_positions] = {
    0,  1,  2,  3,  control_register, 4,  5,   // voice 1
    6,  7,  8,  9,  control_register, 10, 11,  // voice 2
    12, 13, 14, 15, control_register, 16, 17,  // voice 3
    18, 19, 20, 21, 25, 26, 27,                // filter, volume, read-only registers
};

// Voice group g of register r is r / 7: voices 1..3, then the filter group.
constexpr int voice_group(int reg) { return reg / 7; }

// The frequency positions of voice k are 6k and 6k + 1.
constexpr int frequency_position(int voice) { return voice * 6; }

// Scales the 11-bit cutoff by the filter setting; each half is scaled only
// when it is itself written, with the other half's latest raw value.
int scaled_cutoff(int raw_cutoff, int filter_percent) {
    int c = raw_cutoff * filter_percent / 100;
    return c > max_cutoff ? max_cutoff : c;
}

// Positions as bits of one word: position p is bit p, so mask byte k is
// bits 7k..7k+6.
struct Frame {
    uint32_t present = 0;
    uint8_t values[frame_positions];
    bool control_written[3] = {};

    void put(int position, uint8_t value) {
        values[position] = value;
        present |= 1u << position;
    }
};

uint8_t seven_bits(uint32_t bits, int byte) { return static_cast<uint8_t>(bits >> (7 * byte) & 0x7F); }

}  // namespace

void reset_sid_shadow() { std::memset(sid_shadow, 0, sizeof sid_shadow); }

EncodedFrame encode_register_frame(const FrameSettings& settings) {
    const SidWriteLog& log = sid_write_log;
    if (log.registers[0] == -1) return {false, -1};

    const int filter_percent = settings.filter_percent;
    const int32_t (&voice_enabled)[4] = settings.voice_enabled;
    int last_volume = -1;

    Frame frame;
    for (int i = 0; i < static_cast<int>(std::size(log.registers)) && log.registers[i] != -1; ++i) {
        int reg = log.registers[i] & 0x1F;
        uint8_t value = log.values[i];
        if (reg >= frame_positions) continue;  // 28..31 are never sent

        sid_shadow[reg] = value;
        if (reg == filter_cutoff_low) {
            int raw = sid_shadow[filter_cutoff_high] << 3 | (value & 7);
            value = static_cast<uint8_t>(scaled_cutoff(raw, filter_percent) & 7);
        } else if (reg == filter_cutoff_high) {
            int raw = value << 3 | (sid_shadow[filter_cutoff_low] & 7);
            value = static_cast<uint8_t>(scaled_cutoff(raw, filter_percent) >> 3);
        }
        if (reg == mode_volume) last_volume = value;

        int group = voice_group(reg);
        if (voice_enabled[group] != 1) continue;

        int position = data_position[reg];
        if (position == control_register) {
            position = frame.control_written[group] ? later_control_position + group
                                                    : first_control_position + group;
            frame.control_written[group] = true;
        }
        frame.put(position, value);
    }

    // A switched-off voice sounds nothing: its frequency goes out as 0 in
    // every frame, whatever the tune wrote.
    for (int voice = 0; voice < 3; ++voice) {
        if (voice_enabled[voice] == 0) {
            frame.put(frequency_position(voice), 0);
            frame.put(frequency_position(voice) + 1, 0);
        }
    }

    uint32_t high_bits = 0;
    for (uint32_t rest = frame.present; rest; rest &= rest - 1) {
        int p = std::countr_zero(rest);
        if (frame.values[p] & 0x80) high_bits |= 1u << p;
    }

    append_stream_byte(sysex_start);
    append_stream_byte(sysex_manufacturer);
    append_stream_byte(message_register_frame);
    for (int k = 0; k < 4; ++k) append_stream_byte(seven_bits(frame.present, k));
    for (int k = 0; k < 4; ++k) append_stream_byte(seven_bits(high_bits, k));
    for (uint32_t rest = frame.present; rest; rest &= rest - 1) {
        append_stream_byte(frame.values[std::countr_zero(rest)] & 0x7F);
    }
    append_stream_byte(sysex_end);
    return {true, last_volume};
}

void append_text_message(const char (&text)[32]) {
    append_stream_byte(sysex_start);
    append_stream_byte(sysex_manufacturer);
    append_stream_byte(message_text);
    for (char c : text) {
        if (c == '\0') break;
        append_stream_byte(static_cast<uint8_t>(c) & 0x7F);
    }
    append_stream_byte(sysex_end);
}
