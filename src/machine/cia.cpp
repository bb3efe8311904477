#include "machine/cia.h"

#include <climits>
#include <cstring>

namespace {

constexpr uint8_t icr_set_bits = 0x80;  // an ICR write with bit 7 set enables, else disables

// Counts a timer down by steps (cycles, or timer A underflows for a chained
// timer B) and returns how many times it underflowed. A one-shot timer stops
// at its first underflow.
uint32_t count_down(CiaTimer& timer, uint32_t steps) {
    if (!(timer.control & cia_start) || steps == 0) return 0;
    if (steps <= timer.counter) {
        timer.counter = static_cast<uint16_t>(timer.counter - steps);
        return 0;
    }
    // The first underflow comes counter + 1 steps in, then one every latch + 1.
    steps -= static_cast<uint32_t>(timer.counter) + 1;
    timer.counter = timer.latch;
    if (timer.control & cia_one_shot) {
        timer.control &= static_cast<uint8_t>(~cia_start);
        return 1;
    }
    uint32_t period = static_cast<uint32_t>(timer.latch) + 1;
    uint32_t more = steps / period;
    timer.counter = static_cast<uint16_t>(timer.latch - steps % period);
    return 1 + more;
}

void write_control(CiaTimer& timer, uint8_t value) {
    if (value & cia_force_load) timer.counter = timer.latch;
    timer.control = static_cast<uint8_t>(value & ~cia_force_load);
}

// A latch high-byte store into a stopped timer also loads the counter, as the chip does.
void write_latch(CiaTimer& timer, bool high, uint8_t value) {
    timer.latch = high ? static_cast<uint16_t>((timer.latch & 0x00FF) | value << 8)
                       : static_cast<uint16_t>((timer.latch & 0xFF00) | value);
    if (high && !(timer.control & cia_start)) timer.counter = timer.latch;
}

// Modes 10 and 11 both count timer A: the CNT pin is pulled high on a C64.
bool b_counts_a(const Cia* cia) { return (cia->timer_b.control & cia_b_counts_a) != 0; }

}  // namespace

void cia_init(Cia* cia) {
    std::memset(cia, 0, sizeof *cia);
    cia_reset(cia);
}

void cia_reset(Cia* cia) {
    cia->timer_a = {0xFFFF, 0xFFFF, 0};
    cia->timer_b = {0xFFFF, 0xFFFF, 0};
    cia->icr_mask = 0;
    cia->icr_data = 0;
    std::memset(cia->registers, 0, sizeof cia->registers);
}

uint8_t cia_peek(const Cia* cia, uint8_t reg) {
    switch (reg & 0x0F) {
    case CIA_TIMER_A_LO: return static_cast<uint8_t>(cia->timer_a.counter);
    case CIA_TIMER_A_HI: return static_cast<uint8_t>(cia->timer_a.counter >> 8);
    case CIA_TIMER_B_LO: return static_cast<uint8_t>(cia->timer_b.counter);
    case CIA_TIMER_B_HI: return static_cast<uint8_t>(cia->timer_b.counter >> 8);
    case CIA_ICR: return static_cast<uint8_t>(cia->icr_data | (cia_interrupt(cia) ? 0x80 : 0));
    case CIA_CRA: return cia->timer_a.control;
    case CIA_CRB: return cia->timer_b.control;
    default: return cia->registers[reg & 0x0F];
    }
}

uint8_t cia_read(Cia* cia, uint8_t reg) {
    uint8_t value = cia_peek(cia, reg);
    if ((reg & 0x0F) == CIA_ICR) cia->icr_data = 0;
    return value;
}

void cia_write(Cia* cia, uint8_t reg, uint8_t value) {
    switch (reg & 0x0F) {
    case CIA_TIMER_A_LO: write_latch(cia->timer_a, false, value); break;
    case CIA_TIMER_A_HI: write_latch(cia->timer_a, true, value); break;
    case CIA_TIMER_B_LO: write_latch(cia->timer_b, false, value); break;
    case CIA_TIMER_B_HI: write_latch(cia->timer_b, true, value); break;
    case CIA_ICR:
        if (value & icr_set_bits) cia->icr_mask |= value & 0x1F;
        else cia->icr_mask &= static_cast<uint8_t>(~value);
        break;
    case CIA_CRA: write_control(cia->timer_a, value); break;
    case CIA_CRB: write_control(cia->timer_b, value); break;
    default: cia->registers[reg & 0x0F] = value; break;
    }
}

void cia_tick(Cia* cia, uint32_t cycles) {
    uint32_t a_underflows = count_down(cia->timer_a, cycles);
    if (a_underflows) cia->icr_data |= cia_timer_a_bit;
    uint32_t b_steps = b_counts_a(cia) ? a_underflows : ((cia->timer_b.control & 0x60) == 0 ? cycles : 0);
    if (count_down(cia->timer_b, b_steps)) cia->icr_data |= cia_timer_b_bit;
}

uint32_t cia_cycles_to_interrupt(const Cia* cia) {
    uint32_t soonest = UINT32_MAX;
    const CiaTimer& a = cia->timer_a;
    const CiaTimer& b = cia->timer_b;
    bool a_matters = (cia->icr_mask & cia_timer_a_bit) || ((cia->icr_mask & cia_timer_b_bit) && b_counts_a(cia));
    if ((a.control & cia_start) && a_matters) soonest = static_cast<uint32_t>(a.counter) + 1;
    // A chained timer B can only underflow when A does, which the line above covers.
    if ((b.control & cia_start) && (cia->icr_mask & cia_timer_b_bit) && (b.control & 0x60) == 0) {
        uint32_t b_cycles = static_cast<uint32_t>(b.counter) + 1;
        if (b_cycles < soonest) soonest = b_cycles;
    }
    return soonest;
}
