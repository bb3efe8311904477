#include "cpu/cpu_call.h"

#include <cstring>

#include "cpu/instructions.h"
#include "cpu/opcode_table.h"

MemoryImage memory_image;
CpuState cpu_state;
SidWriteLog sid_write_log;
int32_t cpu_instructions_executed;
uint32_t other_sid_windows;
uint32_t third_sid_windows;

uint32_t sid_window_bit(uint16_t base) {
    uint32_t offset = base - 0xD400u;
    if (offset == 0 || offset >= 0x400u || (offset & 0x1F) != 0) return 0;
    return 1u << (offset >> 5);
}

void cpu_reset() {
    cpu_state.sp = 0xFF;
    cpu_state.pc = 0;
}

void clear_machine_state() {
    std::memset(&cpu_state, 0, sizeof cpu_state);
    std::memset(&memory_image, 0, sizeof memory_image);
    std::memset(&sid_write_log, 0, sizeof sid_write_log);
    other_sid_windows = 0;
    third_sid_windows = 0;
    cpu_instructions_executed = 0;
}

namespace {

// The loop inside cpu_call.
CpuCallResult cpu_run(uint16_t entry) {
    using namespace cpu_ops;

    // Enter as a JSR at address 0 would: the final RTS pulls 0x0001 and lands
    // on 0x0002, inside the end region.
    int32_t return_address = cpu_state.pc + 1;
    stack_push(cpu_state, static_cast<uint8_t>(return_address >> 8));
    stack_push(cpu_state, static_cast<uint8_t>(return_address));
    cpu_state.pc = entry;
    cpu_instructions_executed = 0;
    if (entry <= end_region_top) return CPU_RETURNED;

    // The registers live in a local copy for the call, so the compiler can
    // keep them in machine registers; they go back to cpu_state at the end.
    CpuState s = cpu_state;
    int32_t executed = 0;

    // One handler per opcode byte; each ends with the same dispatch step, so
    // every handler has its own indirect jump for the branch predictor.
#define ZARVEL_LABEL(code, ...) &&op_##code,
    static const void* const opcode_table[256] = {ZARVEL_OPCODES(ZARVEL_LABEL)};
#undef ZARVEL_LABEL

    // After every instruction: count it, then one unsigned compare catches
    // both pc outside 0..0xFFFF and pc in the end region; the step limit is the
    // other test. Then fetch the next opcode: pc is 4..0xFFFF here.
#define ZARVEL_NEXT                                                                          \
    ++executed;                                                                              \
    if (static_cast<uint32_t>(s.pc) - (end_region_top + 1) > 0xFFFFu - (end_region_top + 1) || \
        executed > step_limit + 1)                                                           \
        goto finished;                                                                       \
    goto* opcode_table[ram[s.pc++]];

    goto* opcode_table[ram[s.pc++]];

#define ZARVEL_HANDLER(code, ...) \
    op_##code : __VA_ARGS__(s);   \
    ZARVEL_NEXT
    ZARVEL_OPCODES(ZARVEL_HANDLER)
#undef ZARVEL_HANDLER
#undef ZARVEL_NEXT

finished:
    cpu_state = s;
    cpu_instructions_executed = executed;
    // The checks in the order the harness defines them: bounds, steps, end.
    if (static_cast<uint32_t>(s.pc) > 0xFFFFu) return CPU_ABANDONED;
    if (executed > step_limit + 1) return CPU_ABANDONED;
    return CPU_RETURNED;
}

}  // namespace

CpuCallResult cpu_call(uint16_t entry) {
    cpu_state.log_pos = 0;
    cpu_state.pc = 0;
    CpuCallResult result = cpu_run(entry);
    sid_write_log.registers[cpu_state.log_pos] = -1;
    return result;
}
