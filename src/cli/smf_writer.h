#pragma once
// The stream as a Standard MIDI File that a sequencer plays to the
// synthesizer with the player's own timing: format 0, one track, 500 ticks
// per quarter note at 500,000 microseconds per quarter, so one tick is the
// stream's 1 ms tick and every delta time carries over unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

class SmfWriter {
public:
    static constexpr uint16_t ticks_per_quarter = 500;
    static constexpr uint32_t tempo_us_per_quarter = 500000;

    SmfWriter();

    // One stream buffer: its delta time, then each complete SysEx message as
    // an F0 event (the first at the buffer's time, the rest 0 ticks after).
    // An empty buffer writes nothing, and its delta time is added to the next
    // event's, so the later messages keep their times.
    void add_buffer(uint32_t delta_ticks, const uint8_t* bytes, size_t length);

    // The whole file: header chunk, then the track with its end-of-track
    // event at the time of the last buffer added.
    std::vector<uint8_t> finish() const;

private:
    std::vector<uint8_t> track_;  // the track's events so far, without the end
    uint64_t pending_ticks_ = 0;  // time since the last event written
};

// A MIDI variable-length quantity: seven bits a byte, most significant
// first, bit 7 set on all but the last. Values above 0x0FFFFFFF do not fit.
void append_variable_length(std::vector<uint8_t>& out, uint32_t value);
