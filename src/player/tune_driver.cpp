#include "player/tune_driver.h"

#include "cpu/cpu_call.h"
#include "player/control_frames.h"
#include "player/machine_tune.h"
#include "player/player_state.h"
#include "player/tune_info.h"

namespace {

// CIA 1 timer A latch, which a tune programs to set its interrupt rate. There
// is no chip behind it here: it holds what the tune stored.
constexpr uint16_t cia_timer_latch_address = 0xDC04;
constexpr uint16_t hardware_irq_vector = 0xFFFE;
constexpr uint16_t system_irq_vector = 0x0314;

// The VIC's interrupt enable register; bit 0 enables the raster interrupt.
constexpr uint16_t vic_irq_enable_address = 0xD01A;
constexpr uint8_t raster_irq_enabled = 0x01;

constexpr int32_t cia_clock_hz = 1000000;  // the latch counts microseconds, near enough
// The timer the C64's system starts with interrupts 60 times a second, on PAL
// and NTSC machines alike.
constexpr int32_t system_timer_rate_hz = 60;

uint16_t cia_timer_latch() { return read_word(cia_timer_latch_address); }

// The rate of a tune on the timer rule. A latch of 0 means the tune never set
// the timer: it then plays once a frame when it has switched the raster
// interrupt on, else at the system timer's rate.
int32_t timer_rule_rate_hz() {
    uint16_t latch = cia_timer_latch();
    if (latch != 0) return cia_clock_hz / latch;
    if (memory_image.bytes[vic_irq_enable_address] & raster_irq_enabled) return video_frame_rate_hz(tune_info);
    return system_timer_rate_hz;
}

}  // namespace

CpuCallResult init_tune() {
    if (tune_drives_itself(tune_info)) return machine_tune_start(player_state.current_song);
    cpu_reset();
    memory_image.bytes[cia_timer_latch_address] = 0;
    memory_image.bytes[cia_timer_latch_address + 1] = 0;
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
    uint32_t speed_bit = static_cast<uint32_t>(song - 1) & 31;  // song 33 shares song 1's bit, song 0 bit 31
    bool timer_rule = ((tune_info.speed >> speed_bit) & 1) || tune_info.irq_mode;
    player_state.play_rate_hz = timer_rule ? timer_rule_rate_hz() : video_frame_rate_hz(tune_info);
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
    player_state.play_rate_hz = timer_rule_rate_hz();
    return result;
}
