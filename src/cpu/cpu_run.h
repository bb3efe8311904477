#pragma once
// Running the instruction set over a bus. One set of instructions
// (instructions.h) serves the PSID call harness on flat memory and a whole
// machine with I/O chips and banking: each expands the same dispatch loop
// with its own bus, so neither pays for the other.
//
// A Bus is any type with these two members, both inlined into every
// instruction:
//
//   uint8_t read(uint16_t address, uint64_t cycle);
//   void write(uint16_t address, uint8_t value, uint64_t cycle);
//
// Every access the program makes goes through them: opcode and operand
// fetches, pointers, data, the stack at 0x0100 + sp, the interrupt vectors,
// and both writes of a read-modify-write instruction (the unmodified byte,
// one cycle earlier, then the result). `cycle` is the count of the
// instruction's last cycle (CpuState::cycles as it will stand when the
// instruction ends), one less for the unmodified byte's write; a machine
// uses it to place I/O reads and SID stores in time.
//
// Entry points (each a template on the bus):
//   cpu_step(s, bus)              one instruction
//   cpu_run_until(s, bus, cycle)  instructions until s.cycles >= cycle
//   cpu_irq(s, bus)               interrupt entry through 0xFFFE unless I is set
//   cpu_nmi(s, bus)               interrupt entry through 0xFFFA
// The free-running loops wrap pc at 0xFFFF, as the chip does. A JAM opcode
// stops the chip: s.jammed is set, pc stays on it, and cpu_run_until then
// lets the clock run on to `cycle` without executing anything.
#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/instructions.h"
#include "cpu/opcode_table.h"

namespace cpu_ops {

// The dispatch loop. `done` decides after each instruction whether to stop;
// it may also adjust s (the free-running loops wrap pc there). A JAM ends
// the loop at once. Returns the number of instructions executed.
// Everything an instruction calls is inlined into the loop (flatten): the
// loop is too large for the compiler's own inlining budget, and one call
// taking the registers by reference would force them out of machine
// registers for the whole loop.
template <class Bus, class Done>
#if defined(__GNUC__)
__attribute__((flatten))
#endif
inline int64_t execute(CpuState& state, Bus& outer_bus, Done done) {
    // The registers and the bus live in local copies, so the compiler can
    // keep them in machine registers (a store through a byte pointer could
    // otherwise alias them and force a reload after every write); they go
    // back at the end. A bus is therefore a small handle, cheap to copy.
    CpuState s = state;
    Bus bus = outer_bus;
    int64_t executed = 0;

    // One handler per opcode byte; each ends with its own dispatch step, so
    // every handler has its own indirect jump for the branch predictor.
#define ZARVEL_LABEL(code, n, ...) &&op_##code,
    static const void* const dispatch[256] = {ZARVEL_OPCODES(ZARVEL_LABEL)};
#undef ZARVEL_LABEL

#define ZARVEL_NEXT                  \
    ++executed;                      \
    if (done(s, executed)) goto end; \
    goto* dispatch[bus.read(static_cast<uint16_t>(s.pc++), s.cycles)];

    goto* dispatch[bus.read(static_cast<uint16_t>(s.pc++), s.cycles)];

#define ZARVEL_HANDLER(code, n, ...)                     \
    op_##code : s.cycles += n;                           \
    __VA_ARGS__(s, bus);                                 \
    if constexpr (is_jam(0x##code)) {                    \
        ++executed;                                      \
        goto end;                                        \
    }                                                    \
    ZARVEL_NEXT
    ZARVEL_OPCODES(ZARVEL_HANDLER)
#undef ZARVEL_HANDLER
#undef ZARVEL_NEXT

end:
    state = s;
    outer_bus = bus;
    return executed;
}

}  // namespace cpu_ops

template <class Bus> inline void cpu_step(CpuState& s, Bus& bus) {
    if (s.jammed) return;
    cpu_ops::execute(s, bus, [](CpuState& r, int64_t) {
        r.pc &= 0xFFFF;
        return true;
    });
    s.pc &= 0xFFFF;
}

template <class Bus> inline void cpu_run_until(CpuState& s, Bus& bus, uint64_t cycle) {
    if (!s.jammed && s.cycles < cycle) {
        s.pc &= 0xFFFF;
        cpu_ops::execute(s, bus, [cycle](CpuState& r, int64_t) {
            r.pc &= 0xFFFF;
            return r.cycles >= cycle;
        });
        s.pc &= 0xFFFF;
    }
    if (s.jammed && s.cycles < cycle) s.cycles = cycle;
}

// Interrupt entry: pc and the status byte (B clear) pushed, I set, pc from
// the vector; 7 cycles. An IRQ waits while I is set; returns whether taken.
template <class Bus> inline bool cpu_irq(CpuState& s, Bus& bus) {
    if (s.irq_disable || s.jammed) return false;
    s.cycles += 7;
    cpu_ops::enter_interrupt(s, bus, 0xFFFE, false);
    return true;
}
template <class Bus> inline void cpu_nmi(CpuState& s, Bus& bus) {
    if (s.jammed) return;
    s.cycles += 7;
    cpu_ops::enter_interrupt(s, bus, 0xFFFA, false);
}
