#pragma once
// The stream as the web page receives it. The register-frame encoder appends
// through append_stream_byte, as it does on the desktop; here the bytes go
// into one buffer being filled, and queueing moves that buffer, with its
// delta time, into the output the page reads after each call.
#include <cstdint>

#include "cli/frame_decoder.h"

constexpr int web_buffer_capacity = 512;  // as a stream buffer's message area
constexpr int web_output_buffers = 4;     // a call queues three at most

struct WebBuffer {
    uint8_t bytes[web_buffer_capacity];
    int32_t length;
    int32_t delta_ms;         // one play period, its leftover carried
    SidRegisters registers;   // the synthesizer's registers once it has played
};

// Empties the output; the buffer being filled keeps what it holds.
void clear_web_output();

// Hands the buffer being filled to the output with a delta time of one play
// period, the leftover of each period carried into the next as the desktop
// stream carries it, and starts an empty one.
void queue_web_buffer();

// Drops the carried leftover: every start calls it before its first buffer;
// a resume keeps the leftover.
void restart_web_period();

// The delta time of the buffer queued last: the time that passes, once it
// has played, before the next step runs.
int32_t last_queued_delta_ms();

int32_t web_output_count();
const WebBuffer& web_output(int32_t index);
