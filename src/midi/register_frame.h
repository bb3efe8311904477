#pragma once
#include <cstdint>

// The SysEx message set the synthesizer understands. Every message is
// F0 2D <sub-command> ... F7 with 7-bit bytes between.
constexpr uint8_t sysex_start = 0xF0;
constexpr uint8_t sysex_manufacturer = 0x2D;
constexpr uint8_t sysex_end = 0xF7;
constexpr uint8_t message_register_frame = 0x4E;  // 12 + n bytes, n = 0..28 data bytes
constexpr uint8_t message_text = 0x4F;            // the text with bit 7 cleared, up to 36 bytes
constexpr uint8_t message_command_4c = 0x4C;      // F0 2D 4C F7; the player never sends it
constexpr uint8_t message_command_4d = 0x4D;      // F0 2D 4D F7; the player never sends it

constexpr int register_frame_max_bytes = 40;
constexpr int text_message_max_bytes = 36;

// Appends the register frame for the current sid_write_log to the current
// stream buffer: 1 when a frame was appended, 0 for an empty log (nothing is
// appended). Reads the log without changing it.
int encode_register_frame();

// Appends F0 2D 4F, the field's text up to its first zero byte (all 32 bytes
// when none) with bit 7 cleared, F7.
void append_text_message(const char (&text)[32]);

// The last raw value written to each of registers 0..27 by any encoded log;
// the cutoff scaling of registers 21 and 22 reads it. Never reset.
extern uint8_t sid_shadow[28];
