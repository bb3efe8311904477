#pragma once
// A stream buffer's bytes as the SysEx messages they hold. The player only
// ever appends whole messages, so a buffer is zero or more F0 ... F7 runs back
// to back; anything else (a message cut short, bytes between messages) is
// skipped rather than passed on as half a message.
#include <cstddef>
#include <cstdint>

// Calls each(start, length) for every complete F0 ... F7 message, in order.
template <class Each>
void for_each_sysex_message(const uint8_t* bytes, size_t length, Each&& each) {
    size_t start = 0;
    bool inside = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = bytes[i];
        if (byte < 0x80) continue;
        if (byte == 0xF7 && inside) each(bytes + start, i + 1 - start);
        // Any other status byte ends an open message unsent; F0 opens the next.
        inside = byte == 0xF0;
        start = i;
    }
}
