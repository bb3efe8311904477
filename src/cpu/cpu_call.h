#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/memory_image.h"
#include "cpu/sid_write_log.h"

// Runs one 6502 subroutine of the loaded tune to its end, the way a JSR from
// address 0 would: the routine returns into the end region 0x0000..0x0003.
// The call is bounded by step_limit instructions; the cycles it runs are
// added to cpu_state.cycles.

constexpr int32_t step_limit = 200000;  // up to step_limit + 1 instructions may run
constexpr int32_t end_region_top = 3;   // reaching 0..3 ends a call normally

enum CpuCallResult : int { CPU_RETURNED = 0, CPU_ABANDONED = 1 };

// sp := 0xFF, pc := 0, and a stopped (jammed) chip runs again. Leaves a, x,
// y, the flags, the cycle count and memory alone.
void cpu_reset();

// The registers, the memory image, the SID write log, the other chips'
// windows and the instruction count all zero, as a fresh process has them.
void clear_machine_state();

// Runs the routine at entry to its return, or abandons it: pc left
// 0..0xFFFF, more than step_limit + 1 instructions ran, or a JAM opcode
// stopped the chip. Afterwards sid_write_log holds this call's SID stores
// ended by -1.
CpuCallResult cpu_call(uint16_t entry);

// The same for an interrupt handler (a tune's IRQ routine reached through
// the hardware vector): entered as the chip enters an IRQ, with 0x0002 and
// the status byte on the stack and I set, so that its RTI returns into the
// end region with the flags it found.
CpuCallResult cpu_call_interrupt(uint16_t entry);

// Instructions executed by the most recent call (for tests and benchmarks;
// written once per call, never per instruction).
extern int32_t cpu_instructions_executed;

// The first SID's 32 registers repeat every 32 bytes through 0xD400..0xD7FF.
// A tune made for a second or third SID chip maps it over one of those
// mirrors, or into the expansion port's I/O area 0xDE00..0xDFFF; stores
// there drive that chip, not the first. Bit n (0..31) set: the 32 addresses
// from 0xD400 + 32 n belong to such a chip; bit 32 + n: those from
// 0xDE00 + 32 n. Their stores are logged as that chip's (see SidWriteLog).
// Bit n of third_sid_windows, set only beside the same bit here, makes that
// chip the third. The player sets both for each tune it loads (0: the first
// SID alone).
extern uint64_t other_sid_windows;
extern uint64_t third_sid_windows;

// The first window bit of the expansion port's I/O area.
constexpr int sid_io_window_first = 32;

// The bit of other_sid_windows for a chip whose registers begin at base; 0
// when base is not a 32-byte step inside 0xD420..0xD7E0 or 0xDE00..0xDFE0
// (stores elsewhere are never logged, and 0xD400 is the first SID itself).
uint64_t sid_window_bit(uint16_t base);

// The window of a store's address (bit index as above), or -1 for one outside
// both areas.
inline int sid_window_of(uint16_t address) {
    uint32_t offset = address - 0xD400u;
    if (offset < 0x400u) return static_cast<int>(offset >> 5);
    offset = address - 0xDE00u;
    if (offset < 0x200u) return sid_io_window_first + static_cast<int>(offset >> 5);
    return -1;
}

// The bus of a PSID call: the 64 KB image as plain memory, and every write
// into the SID area 0xD400..0xD7FF (the 32 registers and their mirrors), or
// into another chip's window at 0xDE00..0xDFFF, recorded in sid_write_log,
// tagged with the chip whose window holds it.
// Once 126 stores are recorded, later ones overwrite the last slot and so
// are dropped. Both writes of a read-modify-write instruction are recorded:
// the SID receives both, and the frame keeps the later one.
struct FlatSidBus {
    uint8_t* ram;
    int32_t log_pos;
    uint64_t windows;        // other_sid_windows
    uint64_t third_windows;  // third_sid_windows
    // A BRK whose vector leads into the end region: on a C64 it would go
    // through the KERNAL's BRK handler and never come back. It is a routine
    // that ran into zeroed memory, not one that returned.
    bool broke_out = false;

    uint8_t read(uint16_t address, uint64_t) const { return ram[address]; }
    void write(uint16_t address, uint8_t value, uint64_t) {
        ram[address] = value;
        uint32_t window = (address - 0xD400u) >> 5;
        if (window >= 32u) {
            // The expansion port's area holds a SID only where the tune put one.
            uint32_t io_offset = address - 0xDE00u;
            if (io_offset >= 0x200u) return;
            window = sid_io_window_first + (io_offset >> 5);
            if (!((windows >> window) & 1u)) return;
        }
        int32_t chip = static_cast<int32_t>(((windows >> window) & 1u) + ((third_windows >> window) & 1u));
        sid_write_log.registers[log_pos] = chip * sid_log_chip_step + static_cast<int32_t>(address & 0x1F);
        sid_write_log.values[log_pos] = value;
        if (log_pos < sid_log_last_slot) ++log_pos;
    }
    void after_brk(const CpuState& s) {
        if (static_cast<uint32_t>(s.pc) <= static_cast<uint32_t>(end_region_top)) broke_out = true;
    }
};
