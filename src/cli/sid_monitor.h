#pragma once
// The built-in monitor: a stand-in synthesizer for a machine without a MIDI
// port. It takes every register frame the stream plays, as the synthesizer's
// SID would, and shows what the chip would be doing: each voice's note,
// waveform and gate, and the filter cutoff and volume.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "cli/frame_decoder.h"
#include "cli/sid_names.h"
#include "platform/stream_engine.h"

constexpr int monitor_line_count = 4;
constexpr int monitor_line_size = 80;
using MonitorLines = char[monitor_line_count][monitor_line_size];

// Three voice lines, then the filter line:
//   voice 1  A2   saw             gate on
//   filter   cutoff 1024 of 2047  low-pass  volume 15
void format_monitor(const SidRegisters& sid, MonitorLines& lines);

class SidMonitor : public stream_engine::MidiSink {
public:
    // Runs on the stream's player thread; takes a lock the display holds
    // only for a copy, and allocates nothing.
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override;

    // What the frames have set so far.
    SidRegisters registers() const;
    // The last text message: the tune's name, sent at every start.
    void last_text(char (&text)[40]) const;
    uint64_t frames() const;

private:
    mutable std::mutex lock_;
    SidRegisters sid_{};
    char name_[40] = {};
    uint64_t frames_ = 0;
};

// All of it on one line, for a log rather than a screen:
//   v1 A2 saw on | v2 E4 pulse off | v3 --- none off | cutoff 1024 low-pass volume 15
void format_monitor_line(const SidRegisters& sid, char* out, size_t size);
