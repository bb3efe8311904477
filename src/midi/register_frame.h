#pragma once
#include <cstdint>

// The SysEx message set the synthesizer understands. Every message is
// F0 2D <sub-command> ... F7 with 7-bit bytes between.
constexpr uint8_t sysex_start = 0xF0;
constexpr uint8_t sysex_manufacturer = 0x2D;
constexpr uint8_t sysex_end = 0xF7;
constexpr uint8_t message_register_frame = 0x4E;  // 12 + n bytes, n = 0..28 data bytes
constexpr uint8_t message_text = 0x4F;            // the text with bit 7 cleared, up to 36 bytes

constexpr int register_frame_max_bytes = 40;
constexpr int text_message_max_bytes = 36;

// The window's settings a frame is encoded with, as they stand for that
// frame: a change takes effect with the next one.
struct FrameSettings {
    int32_t filter_percent;    // 20..200
    int32_t voice_enabled[4];  // voices 1..3, then the filter and volume group; 1 on
};

struct EncodedFrame {
    bool appended;   // false for an empty log: nothing was appended
    int32_t volume;  // raw value of the log's last register 24 write; -1 when it has none
};

// Appends the register frame for the current sid_write_log to the current
// stream buffer. Reads the log without changing it.
EncodedFrame encode_register_frame(const FrameSettings& settings);

// Appends F0 2D 4F, the field's text up to its first zero byte (all 32 bytes
// when none) with bit 7 cleared, F7.
void append_text_message(const char (&text)[32]);

// The last raw value written to each of registers 0..27 by any encoded log;
// the cutoff scaling of registers 21 and 22 reads it. A tune's start does not
// clear it: the synthesizer keeps its registers too.
extern uint8_t sid_shadow[28];

// The shadow as a fresh process has it.
void reset_sid_shadow();
