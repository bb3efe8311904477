#include "player/machine_tune.h"

#include <algorithm>
#include <climits>

#include "cpu/memory_image.h"
#include "machine/machine.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/tune_info.h"

namespace {

// The player's one machine. Like the rest of the player's state it belongs
// to whoever drives playback, under StreamLock.
Machine machine;

uint64_t last_frame_cycle;  // where the frame sent last sits in machine time
uint64_t step_end;          // where the last step stopped looking
int32_t pending_gap;        // cycles between the last two frames, for the buffer queued next
bool samples_told;          // the samples notice went out since the start

// The machine times of the last frames (the start counts as one), for the
// rate shown: one frame's gap jumps with every handler that stored nothing.
constexpr int32_t shown_frames = 16;
uint64_t recent_frames[shown_frames];
int32_t recent_count;  // frames noted since the start, the start included

C64Clock tune_clock() { return clock_for_psid_flags(tune_info.flags); }

// The banking a PSID's code needs: its load range must be RAM. An RSID
// starts as a C64 does after power-on.
uint8_t start_port_value(const TuneInfo& tune) {
    if (tune.rsid) return 0x37;
    if (tune.load_end > 0xE000) return 0x35;                               // the KERNAL's area: RAM, I/O stays
    if (tune.load_end > 0xA000 && tune.load_address < 0xC000) return 0x36;  // BASIC's area
    return 0x37;
}

void copy_frame_to_log(const MachineFrame& frame) {
    for (int32_t i = 0; i < frame.count; ++i) {
        sid_write_log.registers[i] = frame.registers[i];
        sid_write_log.values[i] = frame.values[i];
    }
    sid_write_log.registers[frame.count] = -1;
}

// Runs to the next frame or one video frame on; returns where the step ended.
CpuCallResult run_one_step() {
    uint64_t limit = step_end + static_cast<uint64_t>(frame_cycles(tune_clock()));
    MachineStop stop = machine_run_until(&machine, limit);
    uint64_t end = limit;
    if (stop == MACHINE_FRAME_READY) {
        copy_frame_to_log(machine.ready);
        end = machine.ready.cycle;
        machine_take_frame(&machine);
    } else {
        sid_write_log.registers[0] = -1;
        if (stop == MACHINE_JAMMED) end = machine.cpu.cycles;
    }
    // A frame closed at a video frame's start may be placed a few cycles
    // before the previous step's limit; time never runs backwards.
    if (end < step_end) end = step_end;
    step_end = end;
    if (stop == MACHINE_JAMMED) return CPU_ABANDONED;
    return CPU_RETURNED;
}

void note_frame_for_rate(uint64_t cycle) {
    int32_t oldest = recent_count < shown_frames ? 0 : recent_count % shown_frames;
    uint64_t first = recent_frames[oldest];
    int32_t gaps = recent_count < shown_frames ? recent_count : shown_frames;
    recent_frames[recent_count % shown_frames] = cycle;
    ++recent_count;
    if (recent_count >= 2 * shown_frames) recent_count -= shown_frames;  // the same place in the ring
    if (gaps <= 0 || cycle <= first) return;
    uint64_t mean = (cycle - first + static_cast<uint64_t>(gaps / 2)) / static_cast<uint64_t>(gaps);
    set_shown_period(static_cast<int32_t>(std::min<uint64_t>(mean, INT32_MAX)));  // a tune silent for half an hour
}

}  // namespace

CpuCallResult machine_tune_start(int32_t song) {
    C64Clock clock = tune_clock();
    machine_init(&machine, clock);
    machine.other_sid_windows = other_sid_windows;
    machine.third_sid_windows = third_sid_windows;
    machine.psid_vectors = !tune_info.rsid;
    machine_start(&machine, memory_image.bytes, tune_info.init_address, static_cast<uint8_t>(song - 1),
                  start_port_value(tune_info), tune_info.rsid != 0);
    step_end = 0;
    samples_told = false;
    CpuCallResult result = run_one_step();
    last_frame_cycle = step_end;
    // The buffer queued after the start holds the reset frame; the first
    // frame follows it by the machine time it took to come.
    pending_gap = static_cast<int32_t>(last_frame_cycle);
    set_play_period(clock, pending_gap > 0 ? pending_gap : frame_cycles(clock));
    recent_frames[0] = 0;
    recent_count = 1;
    if (sid_write_log.registers[0] >= 0) note_frame_for_rate(step_end);
    return result;
}

CpuCallResult machine_tune_step() {
    set_stream_period(tune_clock(), pending_gap > 0 ? pending_gap : 1);
    CpuCallResult result = run_one_step();
    if (sid_write_log.registers[0] >= 0) note_frame_for_rate(step_end);
    if (machine.plays_samples && !samples_told) {
        samples_told = true;
        player_state.samples_notice = 1;
    }
    pending_gap = static_cast<int32_t>(step_end - last_frame_cycle);
    last_frame_cycle = step_end;
    return result;
}

MachineTuneReport machine_tune_report() {
    return {machine.sources_seen, machine.plays_samples, machine.cpu.cycles, step_end};
}

int32_t machine_tune_clock_hz() { return machine.clock.cpu_hz; }
