#include "web/web_stream.h"

#include <cstring>

#include "midi/play_period.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "platform/sysex_split.h"
#include "player/play_rate.h"

namespace {

WebBuffer output[web_output_buffers];
int32_t output_count;

uint8_t filling[web_buffer_capacity];
int32_t filling_length;
int32_t complete_length;  // end of the last whole message in filling

// What the synthesizer holds: every frame queued so far, applied in order.
SidRegisters synthesizer;

PlayPeriod period;
int32_t last_delta_ms;

}  // namespace

// Bytes past the capacity are dropped, and the buffer is then queued up to
// its last whole message, as the desktop transport does; no flow of the
// player comes near it (a start's buffer is under 60 bytes).
void append_stream_byte(uint8_t value) {
    if (filling_length >= web_buffer_capacity) return;
    filling[filling_length++] = value;
    if (value == sysex_end) complete_length = filling_length;
}

void clear_web_output() { output_count = 0; }

void queue_web_buffer() {
    last_delta_ms = static_cast<int32_t>(period.next_ticks(current_play_period()));
    if (output_count < web_output_buffers) {
        WebBuffer& buffer = output[output_count++];
        buffer.length = complete_length;
        std::memcpy(buffer.bytes, filling, static_cast<size_t>(complete_length));
        buffer.delta_ms = last_delta_ms;
        stream_engine::for_each_sysex(buffer.bytes, static_cast<size_t>(buffer.length),
                                      [](const uint8_t* message, size_t length) {
                                          apply_register_frame(message, length, synthesizer);
                                      });
        buffer.registers = synthesizer;
    }
    filling_length = 0;
    complete_length = 0;
}

void restart_web_period() { period.restart(); }

int32_t last_queued_delta_ms() { return last_delta_ms; }

int32_t web_output_count() { return output_count; }

const WebBuffer& web_output(int32_t index) { return output[index]; }
