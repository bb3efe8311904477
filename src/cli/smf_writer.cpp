#include "cli/smf_writer.h"

#include <initializer_list>

#include "platform/sysex_split.h"

namespace {

constexpr uint8_t meta_event = 0xFF;
constexpr uint8_t meta_tempo = 0x51;
constexpr uint8_t meta_end_of_track = 0x2F;
constexpr uint32_t variable_length_max = 0x0FFFFFFF;

// Byte by byte: g++ 12 warns, wrongly, about insert() of a list into an
// empty vector.
void append_bytes(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) out.push_back(b);
}

void append_u32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void append_u16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// A delta time the format cannot hold is spent on empty text events first;
// a sequencer skips them, so the later events keep their times.
void append_delta(std::vector<uint8_t>& track, uint64_t ticks) {
    while (ticks > variable_length_max) {
        append_variable_length(track, variable_length_max);
        append_bytes(track, {meta_event, 0x01, 0x00});
        ticks -= variable_length_max;
    }
    append_variable_length(track, static_cast<uint32_t>(ticks));
}

}  // namespace

void append_variable_length(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

SmfWriter::SmfWriter() {
    // The tempo at time 0. It is MIDI's default too, but a sequencer that
    // assumes another one would then play every frame at the wrong moment.
    append_bytes(track_, {0x00, meta_event, meta_tempo, 0x03, static_cast<uint8_t>(tempo_us_per_quarter >> 16),
                          static_cast<uint8_t>(tempo_us_per_quarter >> 8), static_cast<uint8_t>(tempo_us_per_quarter)});
}

void SmfWriter::add_buffer(uint32_t delta_ticks, const uint8_t* bytes, size_t length) {
    pending_ticks_ += delta_ticks;
    stream_engine::for_each_sysex(bytes, length, [this](const uint8_t* message, size_t size) {
        append_delta(track_, pending_ticks_);
        pending_ticks_ = 0;
        // F0, the length of what follows it, then those bytes (F7 included).
        track_.push_back(0xF0);
        append_variable_length(track_, static_cast<uint32_t>(size - 1));
        track_.insert(track_.end(), message + 1, message + size);
    });
}

std::vector<uint8_t> SmfWriter::finish() const {
    std::vector<uint8_t> file;
    file.reserve(track_.size() + 32);
    append_bytes(file, {'M', 'T', 'h', 'd'});
    append_u32(file, 6);
    append_u16(file, 0);  // format 0: a single track
    append_u16(file, 1);
    append_u16(file, ticks_per_quarter);

    std::vector<uint8_t> end;
    append_delta(end, pending_ticks_);
    append_bytes(end, {meta_event, meta_end_of_track, 0x00});

    append_bytes(file, {'M', 'T', 'r', 'k'});
    append_u32(file, static_cast<uint32_t>(track_.size() + end.size()));
    file.insert(file.end(), track_.begin(), track_.end());
    file.insert(file.end(), end.begin(), end.end());
    return file;
}
