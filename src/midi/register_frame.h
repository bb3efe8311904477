#pragma once
#include <cstdint>

// The SysEx message set the synthesizer understands. Every message is
// F0 2D <sub-command> ... F7 with 7-bit bytes between.
constexpr uint8_t sysex_start = 0xF0;
constexpr uint8_t sysex_manufacturer = 0x2D;
constexpr uint8_t sysex_end = 0xF7;
constexpr uint8_t message_register_frame = 0x4E;  // 12 + n bytes, n = 0..28 data bytes
constexpr uint8_t message_text = 0x4F;            // the text with bit 7 cleared, up to 36 bytes
// A second and third SID chip's register frames, laid out as the first's;
// receivers that drive several chips take them.
constexpr uint8_t message_second_sid_frame = 0x50;
constexpr uint8_t message_third_sid_frame = 0x51;

constexpr int max_sids = 3;

// The sub-command of chip 0, 1 or 2's frames on a port shared by the chips.
constexpr uint8_t shared_port_frame_message(int chip) {
    return chip == 0 ? message_register_frame : chip == 1 ? message_second_sid_frame : message_third_sid_frame;
}

// The register each data position 0..27 writes on the receiving chip.
// Positions 25..27 carry a voice's later control write: receivers take them
// so whatever the player meant, which is why registers 25..27 (read-only on
// the chip) are never sent there.
constexpr int frame_positions = 28;
constexpr int position_register[frame_positions] = {
    0,  1,  2,  3,  5,  6,  7,   // voice 1 without its control, voice 2's frequency
    8,  9,  10, 12, 13, 14, 15,  // voice 2, voice 3's frequency
    16, 17, 19, 20, 21, 22, 23,  // voice 3, filter cutoff, resonance and routing
    24, 4,  11, 18, 4,  11, 18,  // mode and volume; first, then last control writes
};

// The 25 writable SID registers (0..24) as the frames have left them.
struct SidRegisters {
    uint8_t value[25];
};

constexpr int register_frame_max_bytes = 40;
constexpr int text_message_max_bytes = 36;

// The window's settings a frame is encoded with, as they stand for that
// frame: a change takes effect with the next one.
struct FrameSettings {
    int32_t filter_percent;    // 20..200
    int32_t voice_enabled[4];  // voices 1..3, then the filter and volume group; 1 on
    // 1: a frame leaves out every register whose value the synthesizer
    // already holds (see synthesizer_registers), and no frame is sent when
    // that leaves nothing.
    int32_t changes_only = 0;
    uint8_t message = message_register_frame;  // the sub-command the frame goes out with
};

struct EncodedFrame {
    bool appended;   // false for an empty log: nothing was appended
    int32_t volume;  // raw value of the log's last register 24 write; -1 when it has none
};

// Appends the register frame of chip 0, 1 or 2 for its stores in the current
// sid_write_log to the current stream buffer. Reads the log without changing
// it. Stores into registers 25..27 update nothing and are never sent.
EncodedFrame encode_register_frame(const FrameSettings& settings, int chip = 0);

// Appends F0 2D 4F, the field's text up to its first zero byte (all 32 bytes
// when none) with bit 7 cleared, F7.
void append_text_message(const char (&text)[32]);

// The last raw value written to each of registers 0..27 by any encoded log;
// the cutoff scaling of registers 21 and 22 reads it. A tune's start does not
// clear it: the synthesizer keeps its registers too.
extern uint8_t sid_shadows[max_sids][28];
extern uint8_t (&sid_shadow)[28];  // the first chip's

// The shadows as a fresh process has them; with them the synthesizers'
// registers, which are then all due in their next frames.
void reset_sid_shadow();

// What each chip at the end of the cable holds, as every frame encoded so
// far (with or without changes_only) has left it.
extern SidRegisters synthesizer_registers[max_sids];

// The next frame of every chip carries all 25 registers, whatever
// changes_only leaves out: after a start, a resume, a song change or a seek
// a synthesizer that missed something is set right.
void send_whole_state_next();

