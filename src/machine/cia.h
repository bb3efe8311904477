#pragma once
#include <cstdint>

// One MOS 6526 complex interface adapter, as far as tunes use it: timers A
// and B with their latches and control registers, and the interrupt control
// register. CIA 1 (0xDC00) drives the CPU's IRQ line, CIA 2 (0xDD00) its NMI
// line. The ports, the time-of-day clock and the serial register keep what a
// tune stores and read it back; no keyboard, joystick or serial bus sits
// behind them.
//
// A timer counts down once a cycle while started; on the cycle after it has
// reached 0 it underflows, reloads its latch and raises its interrupt bit, so
// a running timer underflows every latch + 1 cycles. The chip's start-up
// delay of a cycle or two after a control write is not modelled: no tune's
// tempo depends on it.

// Register offsets inside the chip's 16-byte window (mirrored through the page).
enum CiaRegister : uint8_t {
    CIA_TIMER_A_LO = 0x04,
    CIA_TIMER_A_HI = 0x05,
    CIA_TIMER_B_LO = 0x06,
    CIA_TIMER_B_HI = 0x07,
    CIA_ICR = 0x0D,
    CIA_CRA = 0x0E,
    CIA_CRB = 0x0F,
};

// Interrupt sources, as bits of the ICR.
constexpr uint8_t cia_timer_a_bit = 0x01;
constexpr uint8_t cia_timer_b_bit = 0x02;

// Control register bits.
constexpr uint8_t cia_start = 0x01;
constexpr uint8_t cia_one_shot = 0x08;
constexpr uint8_t cia_force_load = 0x10;
constexpr uint8_t cia_b_counts_a = 0x40;  // CRB bits 5-6 = 10: timer B counts timer A's underflows

struct CiaTimer {
    uint16_t counter;  // the value a read shows, in cycles (or underflows of A, for B in that mode)
    uint16_t latch;    // reloaded into counter at each underflow and on a force load
    uint8_t control;   // CRA or CRB as last written, less the force-load strobe
};

struct Cia {
    CiaTimer timer_a;
    CiaTimer timer_b;
    uint8_t icr_mask;      // sources allowed to raise the interrupt line
    uint8_t icr_data;      // sources that fired since the ICR was last read
    uint8_t registers[16]; // the other registers as last stored
};

// Power-on state: timers stopped with counter and latch at 0xFFFF, no source
// enabled, nothing pending.
void cia_init(Cia* cia);
void cia_reset(Cia* cia);

// A read of register reg (0..15). Reading the ICR returns the pending sources
// with bit 7 set when the line is raised, and clears them.
uint8_t cia_read(Cia* cia, uint8_t reg);

// The same value without the ICR's read side effect (for tools and tests).
uint8_t cia_peek(const Cia* cia, uint8_t reg);

void cia_write(Cia* cia, uint8_t reg, uint8_t value);

// Advances the chip by cycles (any number, 0 included).
void cia_tick(Cia* cia, uint32_t cycles);

// True while the chip holds its interrupt line low: a pending source is enabled.
inline bool cia_interrupt(const Cia* cia) { return (cia->icr_data & cia->icr_mask) != 0; }

// Cycles until the next underflow that can raise the line, or UINT32_MAX when
// none can (both timers stopped or their sources masked). The machine ticks
// the chip in whole instructions and asks this to know when to look again.
uint32_t cia_cycles_to_interrupt(const Cia* cia);
