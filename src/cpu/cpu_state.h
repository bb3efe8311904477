#pragma once
#include <cstdint>

// The 6502 registers, kept across calls and across tunes, with the count of
// cycles the chip has run.
struct CpuState {
    uint8_t a;
    uint8_t x;
    uint8_t y;
    uint8_t sp;           // the next push lands at 0x0100 + sp, as on the chip
    int32_t pc;           // a PSID call may move it out of 0..0xFFFF; the harness checks
    uint8_t sign_source;  // N is bit 7 of this byte
    uint8_t zero_source;  // Z is set exactly when this byte is 0
    uint16_t carry;       // 0 or 1
    uint16_t overflow;    // 0 clear, any other value set
    uint16_t decimal;     // 0 or 1
    uint16_t irq_disable; // 0 or 1; masks IRQ, not NMI
    uint8_t jammed;       // 1 once a JAM opcode ran: the chip stops until a reset
    int32_t log_pos;      // next SidWriteLog slot during a PSID call, 0..126
    uint64_t cycles;      // clock cycles run since the process started; never wraps in practice
};

extern CpuState cpu_state;

// The packed flags that PHP and BRK push and PLP and RTI pull: N V 1 B D I Z C.
// B (bit 4) is no flag: it is set in the pushed byte by PHP and BRK and
// clear when an interrupt pushes it.
inline uint8_t status_byte(const CpuState& s) {
    return static_cast<uint8_t>((s.sign_source & 0x80) | (s.overflow ? 0x40 : 0) | 0x30 |
                                (s.decimal ? 0x08 : 0) | (s.irq_disable ? 0x04 : 0) |
                                (s.zero_source == 0 ? 0x02 : 0) | (s.carry ? 0x01 : 0));
}
inline void set_status_byte(CpuState& s, uint8_t status) {
    s.sign_source = (status & 0x80) ? 0xFF : 0x00;
    s.overflow = (status >> 6) & 1;
    s.decimal = (status >> 3) & 1;
    s.irq_disable = (status >> 2) & 1;
    s.zero_source = (status & 0x02) ? 0 : 1;
    s.carry = status & 1;
}
