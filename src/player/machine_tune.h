#pragma once
#include <cstdint>

#include "cpu/cpu_call.h"
#include "player/tune_info.h"

// Tunes that drive themselves play on the machine (src/machine): an RSID,
// or a PSID whose header names no play routine. Their interrupts come from
// the chips, and each register frame is what one handler stored (or a video
// frame's worth of stores made outside handlers), placed at its machine time.
// The tune driver hands such tunes here; the rest keep the call-by-call model.

// Whether tune runs on the machine: an RSID, or a PSID with play address 0,
// which installs its own interrupt handler and may re-arm its interrupts
// several times a frame.
inline bool tune_drives_itself(const TuneInfo& tune) { return tune.rsid != 0 || tune.irq_mode != 0; }

// Starts song (1-based) of the loaded tune on a fresh machine, from the
// memory image the loader filled, and runs it to its first frame. The frame's
// stores are in sid_write_log afterwards, as after an init call.
CpuCallResult machine_tune_start(int32_t song);

// Runs the machine to its next frame, at most one video frame on, and leaves
// that frame's stores in sid_write_log (none when the tune stored nothing).
// Sets the play period to the machine time between the two frames before:
// the buffer queued next holds the frame before this one. CPU_ABANDONED once
// the CPU has jammed.
CpuCallResult machine_tune_step();

// What the tune running on the machine has shown so far.
struct MachineTuneReport {
    uint32_t sources;    // MachineSource bits (machine.h) of the interrupts taken
    bool plays_samples;  // it rewrites the volume register far faster than frames can carry
    uint64_t cycles;     // machine time since the start
    uint64_t step_end;   // the machine time of the last step's frame, or where it stopped looking
};
MachineTuneReport machine_tune_report();

// The running machine's clock, in cycles per second.
int32_t machine_tune_clock_hz();

// The notice a sample-playing tune gets, once.
constexpr const char* samples_notice =
    "this tune plays samples through the volume register; the synthesizer cannot sound them";
