#pragma once
// An event's bytes as the synthesizer must receive them: whole SysEx messages
// only. The player only ever appends whole messages; this is what every
// consumer of a stream buffer (ports, files, the monitor) splits it with. A port that got half a message would take the next message's start as
// part of it, so a message cut short, or bytes outside any message, are dropped.
#include <cstddef>
#include <cstdint>

namespace stream_engine {

// Calls send(start, length) for each complete F0 ... F7 message, in order.
// A status byte inside a message (other than the closing F7) ends it unsent;
// an F0 there starts the next one.
template <class Send>
void for_each_sysex(const uint8_t* bytes, size_t length, Send&& send) {
    size_t start = 0;
    bool inside = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = bytes[i];
        if (byte < 0x80) continue;
        if (byte == 0xF7 && inside) send(bytes + start, i + 1 - start);
        inside = byte == 0xF0;
        start = i;
    }
}

}  // namespace stream_engine
