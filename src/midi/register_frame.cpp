#include "midi/register_frame.h"

#include <bit>
#include <cstring>
#include <iterator>

#include "cpu/sid_write_log.h"
#include "midi/stream_transport.h"

uint8_t sid_shadows[max_sids][28];
uint8_t (&sid_shadow)[28] = sid_shadows[0];
SidRegisters synthesizer_registers[max_sids];

namespace {

constexpr int writable_registers = 25;  // 25..27 are read-only on the chip, 28..31 not there
constexpr int control_register = -1;  // voice control registers take 22.. first, then 25..
constexpr int first_control_position = 22;
constexpr int later_control_position = 25;
constexpr int filter_cutoff_low = 21;   // bits 0..2 of the 11-bit cutoff
constexpr int filter_cutoff_high = 22;  // bits 3..10
constexpr int mode_volume = 24;
constexpr int max_cutoff = 2047;

// The data position each writable SID register 0..24 is carried at.
constexpr int data_position[writable_registers] = {
    0,  1,  2,  3,  control_register, 4,  5,   // voice 1
    6,  7,  8,  9,  control_register, 10, 11,  // voice 2
    12, 13, 14, 15, control_register, 16, 17,  // voice 3
    18, 19, 20, 21,                            // filter and volume
};

// Each synthesizer's next frame carries all its registers.
bool whole_state_due[max_sids] = {true, true, true};

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

bool log_has_chip(const SidWriteLog& log, int chip) {
    for (int i = 0; i < static_cast<int>(std::size(log.registers)) && log.registers[i] != -1; ++i)
        if (log.registers[i] / sid_log_chip_step == chip) return true;
    return false;
}

constexpr int first_control_of(int position) { return position - (later_control_position - first_control_position); }

// Leaves out what the synthesizer already holds. A later control write stays
// whenever it differs from the first: the two together may close and open
// the gate (a hard restart) even though the chip ends where it began.
void drop_unchanged(Frame& frame, const SidRegisters& synth) {
    for (int p = later_control_position; p < later_control_position + 3; ++p) {
        int first = first_control_of(p);
        if ((frame.present >> p & 1) && frame.values[p] == frame.values[first]) frame.present &= ~(1u << p);
    }
    for (int p = 0; p < later_control_position; ++p) {
        if (!(frame.present >> p & 1)) continue;
        bool later_kept = p >= first_control_position && (frame.present >> (p + 3) & 1);
        if (!later_kept && frame.values[p] == synth.value[position_register[p]]) frame.present &= ~(1u << p);
    }
}

// Adds every register the frame does not carry, with the value the
// synthesizer holds.
void add_whole_state(Frame& frame, const SidRegisters& synth) {
    for (int reg = 0; reg < writable_registers; ++reg) {
        int position = data_position[reg];
        if (position == control_register) position = first_control_position + voice_group(reg);
        if (!(frame.present >> position & 1)) frame.put(position, synth.value[reg]);
    }
}

void apply_to_synthesizer(const Frame& frame, SidRegisters& synth) {
    for (uint32_t rest = frame.present; rest; rest &= rest - 1) {
        int p = std::countr_zero(rest);
        synth.value[position_register[p]] = frame.values[p];
    }
}

}  // namespace

void reset_sid_shadow() {
    std::memset(sid_shadows, 0, sizeof sid_shadows);
    std::memset(synthesizer_registers, 0, sizeof synthesizer_registers);
    send_whole_state_next();
}

void send_whole_state_next() {
    for (bool& due : whole_state_due) due = true;
}

EncodedFrame encode_register_frame(const FrameSettings& settings, int chip) {
    const SidWriteLog& log = sid_write_log;
    if (!log_has_chip(log, chip)) return {false, -1};
    uint8_t (&shadow)[28] = sid_shadows[chip];

    const int filter_percent = settings.filter_percent;
    const int32_t (&voice_enabled)[4] = settings.voice_enabled;
    int last_volume = -1;

    Frame frame;
    for (int i = 0; i < static_cast<int>(std::size(log.registers)) && log.registers[i] != -1; ++i) {
        if (log.registers[i] / sid_log_chip_step != chip) continue;
        int reg = log.registers[i] % sid_log_chip_step;
        uint8_t value = log.values[i];
        // A receiver would take a store into 25..27 as a control write the
        // tune never made; 28..31 are no registers at all.
        if (reg >= writable_registers) continue;

        shadow[reg] = value;
        if (reg == filter_cutoff_low) {
            int raw = shadow[filter_cutoff_high] << 3 | (value & 7);
            value = static_cast<uint8_t>(scaled_cutoff(raw, filter_percent) & 7);
        } else if (reg == filter_cutoff_high) {
            int raw = value << 3 | (shadow[filter_cutoff_low] & 7);
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

    SidRegisters& synth = synthesizer_registers[chip];
    if (settings.changes_only) {
        if (whole_state_due[chip]) {
            add_whole_state(frame, synth);
        } else {
            drop_unchanged(frame, synth);
            if (frame.present == 0) return {false, last_volume};
        }
    }
    apply_to_synthesizer(frame, synth);
    whole_state_due[chip] = false;

    uint32_t high_bits = 0;
    for (uint32_t rest = frame.present; rest; rest &= rest - 1) {
        int p = std::countr_zero(rest);
        if (frame.values[p] & 0x80) high_bits |= 1u << p;
    }

    append_stream_byte(sysex_start);
    append_stream_byte(sysex_manufacturer);
    append_stream_byte(settings.message);
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
