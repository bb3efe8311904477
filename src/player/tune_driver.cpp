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

constexpr uint16_t hardware_irq_vector = 0xFFFE;
constexpr uint16_t system_irq_vector = 0x0314;

C64Clock tune_clock() { return clock_for_psid_flags(tune_info.flags); }

// The caller of song n's play routine: bit (n - 1) modulo 32 of the header's
// speed (song 33 shares song 1's bit, song 0 takes bit 31), or the interrupt
// routine the tune installed itself.
PsidCaller caller_of_song(int32_t song) {
    uint32_t speed_bit = static_cast<uint32_t>(song - 1) & 31;
    bool timer = ((tune_info.speed >> speed_bit) & 1) || tune_info.irq_mode;
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

    // An interrupt-driven tune names no play routine; it installs one. The
    // hardware vector wins over the system vector, and once found the
    // address stays for every later init of this tune.
    if (tune_info.play_address == 0) {
        uint16_t vector = read_word(hardware_irq_vector);
        if (vector == 0) vector = read_word(system_irq_vector);
        tune_info.play_address = vector;
    }
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
    if (!tune_info.irq_mode) return cpu_call(tune_info.play_address);
    // A handler reached through the hardware vector is entered as the chip
    // enters an interrupt and ends in RTI; one installed at the system vector
    // is reached from the system ROM's entry as a subroutine and ends by
    // jumping to the ROM's exit, which the loader made a return.
    bool hardware_handler = read_word(hardware_irq_vector) == tune_info.play_address;
    CpuCallResult result =
        hardware_handler ? cpu_call_interrupt(tune_info.play_address) : cpu_call(tune_info.play_address);
    // The handler may have moved the timer: the next interrupt comes at the
    // new latch.
    C64Clock clock = tune_clock();
    set_play_period(clock, psid_period_cycles(clock, PsidCaller::cia_timer, memory_image));
    return result;
}
