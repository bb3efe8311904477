#pragma once
// What the synthesizer is promised about every byte on the stream: whole
// SysEx messages F0 2D <sub-command> ... F7 with 7-bit bytes between; register
// frames of 12 + n bytes whose mask has exactly n bits and whose high bits
// belong to present positions; text messages of at most 36 bytes. The player
// sends nothing else.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "midi/register_frame.h"

enum class MessageKind { register_frame, text };

struct Message {
    MessageKind kind;
    const uint8_t* bytes;
    size_t length;
};

inline int bits_set(uint8_t value) { return __builtin_popcount(value); }

// Checks the message at bytes[0..] and returns its length.
inline size_t check_message(const uint8_t* bytes, size_t available, Message* out) {
    FUZZ_CHECK(available >= 4);
    FUZZ_CHECK(bytes[0] == sysex_start);
    FUZZ_CHECK(bytes[1] == sysex_manufacturer);
    size_t end = 2;
    while (end < available && bytes[end] != sysex_end) {
        FUZZ_CHECK(bytes[end] < 0x80);  // also catches an F0 inside a message
        ++end;
    }
    FUZZ_CHECK(end < available);  // the message is closed in the same buffer
    size_t length = end + 1;

    if (bytes[2] == message_register_frame) {
        FUZZ_CHECK(length >= 12 && length <= static_cast<size_t>(register_frame_max_bytes));
        int present = 0;
        for (int k = 0; k < 4; ++k) {
            uint8_t mask = bytes[3 + k];
            uint8_t high = bytes[7 + k];
            FUZZ_CHECK((high & ~mask) == 0);  // a high bit only for a present position
            present += bits_set(mask);
        }
        FUZZ_CHECK(length == 12 + static_cast<size_t>(present));
        *out = {MessageKind::register_frame, bytes, length};
    } else {
        FUZZ_CHECK(bytes[2] == message_text);
        FUZZ_CHECK(length <= static_cast<size_t>(text_message_max_bytes));
        *out = {MessageKind::text, bytes, length};
    }
    return length;
}

// Calls visit(message) for each message of one buffer, checking each.
template <class Visit>
void for_each_message(const uint8_t* bytes, size_t length, Visit visit) {
    size_t at = 0;
    while (at < length) {
        Message message;
        at += check_message(bytes + at, length - at, &message);
        visit(message);
    }
}

// Data position p of a register frame: present, and its full 8-bit value.
inline bool frame_has(const Message& frame, int position) {
    return frame.bytes[3 + position / 7] & (1 << (position % 7));
}
inline int frame_positions_present(const Message& frame) {
    int n = 0;
    for (int k = 0; k < 4; ++k) n += bits_set(frame.bytes[3 + k]);
    return n;
}
inline uint8_t frame_value(const Message& frame, int position) {
    int index = 0;  // data bytes come in ascending position order
    for (int p = 0; p < position; ++p) index += frame_has(frame, p);
    bool high = frame.bytes[7 + position / 7] & (1 << (position % 7));
    return static_cast<uint8_t>(frame.bytes[11 + index] | (high ? 0x80 : 0));
}
