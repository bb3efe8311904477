#pragma once
// Where a message handed to the JACK sink lands: which process cycle, and at
// which frame of it. Times are on the steady clock, in microseconds.
//
// A cycle is placed by when its process callback actually runs, with the
// nominal length of its frames at the server's rate. JACK's own estimate of
// the cycle (jack_get_cycle_times) comes from a filter over past wake-ups:
// under a synchronous server or a busy machine it can trail the real cycles
// by many periods, and then catch up over seconds, so due times read against
// it were held back whole cycles, ran fast and jumped back. The callback's
// own clock reading has no memory: each message is placed on its own, so no
// error adds up.
//
// Every message goes out one period after it was handed over, at the frame
// that keeps its distance from its neighbours: a message handed over a third
// of the way into one cycle lands a third of the way into the next. One
// handed over before the last cycle began (its callback ran late) lands at
// frame 0, as early as it still can.
#include <cstdint>

namespace stream_engine {

struct JackCycle {
    int64_t start_us;      // when the process callback began
    uint32_t frames;       // the cycle's length in frames
    uint32_t sample_rate;  // frames a second

    // False for a message handed over at or after the callback began: its
    // place is in the next cycle.
    bool takes(int64_t handed_over_us) const { return handed_over_us < start_us; }

    // The frame for a message this cycle takes.
    uint32_t offset_of(int64_t handed_over_us) const {
        // Frames from the message to the callback, rounded up, so that two
        // messages a frame or more apart never trade places.
        int64_t frames_before = ((start_us - handed_over_us) * sample_rate + 999'999) / 1'000'000;
        if (frames_before >= frames) return 0;
        return static_cast<uint32_t>(frames - frames_before);
    }
};

}  // namespace stream_engine
