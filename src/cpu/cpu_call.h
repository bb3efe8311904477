#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/memory_image.h"
#include "cpu/sid_write_log.h"

// Runs one 6502 subroutine of the loaded tune to its end, the way a JSR from
// address 0 would: the routine returns into the end region 0x0000..0x0003.
// No interrupts occur and no cycles are counted; the only time inside a call
// is the number of instructions, bounded by step_limit.

constexpr int32_t step_limit = 200000;  // up to step_limit + 1 instructions may run
constexpr int32_t end_region_top = 3;   // reaching 0..3 ends a call normally

enum CpuCallResult : int { CPU_RETURNED = 0, CPU_ABANDONED = 1 };

// sp := 0xFF, pc := 0. Leaves a, x, y, the flags and memory alone.
void cpu_reset();

// The registers, the memory image, the SID write log, the other chips'
// windows and the instruction count all zero, as a fresh process has them.
void clear_machine_state();

// Runs the routine at entry to its return, or abandons it (pc left
// 0..0xFFFF, or more than step_limit + 1 instructions ran). Afterwards
// sid_write_log holds this call's SID stores ended by -1.
CpuCallResult cpu_call(uint16_t entry);

// Instructions executed by the most recent call (for tests and benchmarks;
// written once per call, never per instruction).
extern int32_t cpu_instructions_executed;

// The primitives below work on a register file passed in, because the loop
// inside cpu_call runs on a local copy of cpu_state.

// The first SID's 32 registers repeat every 32 bytes through 0xD400..0xD7FF.
// A tune made for a second or third SID chip maps it over one of those
// mirrors; stores there drive that chip, not the first. Bit n set: the 32
// addresses from 0xD400 + 32 n belong to such a chip, and its stores are
// logged as that chip's (see SidWriteLog). Bit n of third_sid_windows, set
// only beside the same bit here, makes that chip the third. The player sets
// both for each tune it loads (0: the first SID alone).
extern uint32_t other_sid_windows;
extern uint32_t third_sid_windows;

// The bit of other_sid_windows for a chip whose registers begin at base; 0
// when base is not a 32-byte step inside 0xD420..0xD7E0 (stores elsewhere are
// never logged, and 0xD400 is the first SID itself).
uint32_t sid_window_bit(uint16_t base);

// Records a store into the SID area 0xD400..0xD7FF (the 32 registers and their
// mirrors), tagged with the chip whose window holds it. Store instructions
// call it after storing. Once 126 stores are recorded, later ones overwrite
// the last slot and so are dropped.
inline void log_sid_write(CpuState& s, uint32_t address, uint8_t value) {
    uint32_t offset = address - 0xD400u;
    if (offset >= 0x400u) return;
    uint32_t window = offset >> 5;
    int32_t chip = static_cast<int32_t>(((other_sid_windows >> window) & 1u) + ((third_sid_windows >> window) & 1u));
    int32_t pos = s.log_pos;
    sid_write_log.registers[pos] = chip * sid_log_chip_step + static_cast<int32_t>(address & 0x1F);
    sid_write_log.values[pos] = value;
    if (pos < sid_log_last_slot) s.log_pos = pos + 1;
}

// The stack is page 0x0100 and sp addresses the most recently pushed byte, so
// the first push after cpu_reset lands at 0x01FE.
inline void stack_push(CpuState& s, uint8_t value) {
    s.sp = static_cast<uint8_t>(s.sp - 1);
    memory_image.bytes[0x100 + s.sp] = value;
}
inline uint8_t stack_pull(CpuState& s) {
    uint8_t value = memory_image.bytes[0x100 + s.sp];
    s.sp = static_cast<uint8_t>(s.sp + 1);
    return value;
}

// The packed flags that PHP pushes and PLP and RTI pull: N V 1 1 D I Z C.
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
