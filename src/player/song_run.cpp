#include "player/song_run.h"

#include <climits>

#include "cpu/sid_write_log.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/tune_driver.h"

void SongRun::restart(int32_t length_ms) {
    clock_.restart();
    set_length(length_ms);
    restart_song_registers(registers_);
    init_abandoned_ = false;
}

CpuCallResult SongRun::step() {
    if (init_abandoned_) return CPU_ABANDONED;
    PlayPeriodLength period = current_play_period();  // the call may change it for the next one
    take_stores(registers_, sid_write_log);
    CpuCallResult result = play_step();
    if (result != CPU_ABANDONED) clock_.count_play_call(period.cycles, period.clock_hz);
    return result;
}

CpuCallResult SongRun::run_silently_to(int64_t target_us) {
    if (target_us < clock_.elapsed_us()) {
        clock_.restart();
        restart_song_registers(registers_);
        note_init(init_tune());
        if (init_abandoned_) return CPU_ABANDONED;
    }
    // The last call's stores (or the init's) have not been sent yet.
    take_stores(registers_, sid_write_log);
    for (;;) {
        bool reached = clock_.elapsed_us() >= target_us;
        if (reached) write_state_frame(registers_);
        PlayPeriodLength period = current_play_period();
        if (play_call() == CPU_ABANDONED) return CPU_ABANDONED;
        clock_.count_play_call(period.cycles, period.clock_hz);
        if (reached) return CPU_RETURNED;
        take_stores(registers_, sid_write_log);
    }
}

int32_t SongRun::elapsed_ms() const {
    int64_t ms = clock_.elapsed_us() / 1000;
    return static_cast<int32_t>(ms < INT32_MAX ? ms : INT32_MAX);
}
