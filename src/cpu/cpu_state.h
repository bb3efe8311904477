#pragma once
#include <cstdint>

// The 6502 registers, kept across calls and across tunes. Only cpu_reset()
// touches sp and pc between calls, and only the tune driver sets a.
struct CpuState {
    uint8_t a;
    uint8_t x;
    uint8_t y;
    uint8_t sp;           // the most recently pushed byte lies at 0x0100 + sp
    int32_t pc;           // may leave 0..0xFFFF after an instruction; the harness checks
    uint8_t sign_source;  // N is bit 7 of this byte
    uint8_t zero_source;  // Z is set exactly when this byte is 0
    uint16_t carry;       // 0 or 1
    uint16_t overflow;    // 0 clear, any other value set
    uint16_t decimal;     // 0 or 1; when set ADC, SBC and ISC do nothing
    uint16_t irq_disable; // 0 or 1; no interrupt ever occurs, only PHP reads it
    int32_t log_pos;      // next SidWriteLog slot during a call, 0..126
};

extern CpuState cpu_state;
