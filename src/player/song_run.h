#pragma once
// One song as it runs, whatever drives it: its tune time, the length it ends
// at and what the synthesizer holds of it. The desktop controller runs it from
// the stream's pacing step, the web page's core from the page's scheduler;
// both end songs and seek through it, so they do so alike.
#include <cstdint>

#include "cpu/cpu_call.h"
#include "player/control_frames.h"
#include "player/song_clock.h"

class SongRun {
public:
    // A fresh start of the current song, before its init runs: tune time 0,
    // the registers as the reset frame leaves them, length_ms its length
    // (0 or less: not known).
    void restart(int32_t length_ms);

    // The result of the song's init. An init that did not return leaves the
    // tune half set up: the next step stops the song instead of running the
    // play routine on it.
    void note_init(CpuCallResult result) { init_abandoned_ = result == CPU_ABANDONED; }
    // The song stopped because its init, not a play call, did not return.
    bool init_abandoned() const { return init_abandoned_; }

    // Another length for the song under way (0 or less: not known).
    void set_length(int32_t length_ms) { length_us_ = length_ms > 0 ? int64_t{length_ms} * 1000 : 0; }

    // The step whose call would begin at or past a known length ends the song
    // instead of calling.
    bool played_its_length() const { return length_us_ > 0 && clock_.elapsed_us() >= length_us_; }
    bool target_past_length(int64_t target_us) const { return length_us_ > 0 && target_us >= length_us_; }

    // One play step (play_step: the previous call's frame, then the next
    // call), its stores kept and its period counted.
    CpuCallResult step();

    // Play calls without their frames until the song stands at target_us,
    // from where it is or, for a target behind it, from its init again; then
    // the state frame (write_state_frame) into the buffer being filled.
    //
    // In play the CPU runs one call ahead of the stream: a step sends the
    // call before and runs the next. So the first call at or past the target
    // runs here too, its stores left in the log for the next step to send,
    // and the stream goes on without a gap. Each call counts one play period
    // of tune time, as in play, so the song ends where it would have.
    CpuCallResult run_silently_to(int64_t target_us);

    int64_t elapsed_us() const { return clock_.elapsed_us(); }
    int32_t elapsed_ms() const;

private:
    SongClock clock_;
    int64_t length_us_ = 0;
    SongRegisters registers_{};
    bool init_abandoned_ = false;
};
