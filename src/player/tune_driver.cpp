#include "player/tune_driver.h"

#include "cpu/cpu_call.h"
#include "machine/cia_timer.h"
#include "machine/psid_timing.h"
#include "player/control_frames.h"
#include "player/machine_tune.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/tune_info.h"

namespace {

C64Clock tune_clock() { return clock_for_psid_flags(tune_info.flags); }

// The caller of song n's play routine: bit (n - 1) modulo 32 of the header's
// speed (song 33 shares song 1's bit, song 0 takes bit 31).
PsidCaller caller_of_song(int32_t song) {
    uint32_t speed_bit = static_cast<uint32_t>(song - 1) & 31;
    bool timer = (tune_info.speed >> speed_bit) & 1;
    return timer ? PsidCaller::cia_timer : PsidCaller::video_frame;
}

}  // namespace

CpuCallResult init_tune() {
    if (tune_drives_itself(tune_info)) return machine_tune_start(player_state.current_song);
    cpu_reset();
    // The timer runs as the machine started it until the tune moves it.
    set_cia1_timer_a_latch(memory_image, cia_start_latch(tune_clock()));
    cpu_state.a = static_cast<uint8_t>(player_state.current_song - 1);
    CpuCallResult result = cpu_call(tune_info.init_address);
    update_play_rate(player_state.current_song);
    return result;
}

void update_play_rate(int32_t song) {
    C64Clock clock = tune_clock();
    set_play_period(clock, psid_period_cycles(clock, caller_of_song(song), memory_image));
}

CpuCallResult play_step() {
    // The log still holds the previous call's writes: each frame describes
    // the call before.
    encode_player_frame();
    return play_call();
}

CpuCallResult play_call() {
    if (tune_drives_itself(tune_info)) return machine_tune_step();
    return cpu_call(tune_info.play_address);
}
