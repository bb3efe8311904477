#include "cpu/cpu_call.h"

#include <cstring>

#include "cpu/cpu_run.h"

MemoryImage memory_image;
CpuState cpu_state;
SidWriteLog sid_write_log;
int32_t cpu_instructions_executed;
uint64_t other_sid_windows;
uint64_t third_sid_windows;

uint64_t sid_window_bit(uint16_t base) {
    int window = sid_window_of(base);
    if (window <= 0 || (base & 0x1F) != 0) return 0;
    return uint64_t{1} << window;
}

void cpu_reset() {
    cpu_state.sp = 0xFF;
    cpu_state.pc = 0;
    cpu_state.jammed = 0;
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

enum class Frame { subroutine, interrupt };

// The loop inside cpu_call.
CpuCallResult cpu_run(uint16_t entry, Frame frame, FlatSidBus& bus) {
    CpuState& s = cpu_state;
    // The way back leads into the end region: a JSR at address 0 pushes
    // 0x0001, which its RTS turns into 0x0002; an interrupt pushes the
    // address RTI returns to, 0x0002 itself, and the flags.
    if (frame == Frame::subroutine) {
        cpu_ops::push_word(s, bus, static_cast<uint32_t>(s.pc + 1));
    } else {
        cpu_ops::push_word(s, bus, static_cast<uint32_t>(s.pc + 2));
        cpu_ops::push(s, bus, static_cast<uint8_t>(status_byte(s) & ~0x10));
        s.irq_disable = 1;
    }
    s.pc = entry;
    s.jammed = 0;
    cpu_instructions_executed = 0;
    if (entry <= end_region_top) return CPU_RETURNED;

    // After every instruction one unsigned compare catches both pc outside
    // 0..0xFFFF and pc in the end region; the step limit is the other test.
    int64_t executed = cpu_ops::execute(s, bus, [](CpuState& r, int64_t count) {
        return static_cast<uint32_t>(r.pc) - (end_region_top + 1) > 0xFFFFu - (end_region_top + 1) ||
               count > step_limit + 1;
    });
    cpu_instructions_executed = static_cast<int32_t>(executed);
    // The checks in the order the harness defines them: bounds, steps, end.
    if (static_cast<uint32_t>(s.pc) > 0xFFFFu) return CPU_ABANDONED;
    if (executed > step_limit + 1 || s.jammed || bus.broke_out) return CPU_ABANDONED;
    return CPU_RETURNED;
}

CpuCallResult call(uint16_t entry, Frame frame) {
    FlatSidBus bus{memory_image.bytes, 0, other_sid_windows, third_sid_windows};
    cpu_state.pc = 0;
    CpuCallResult result = cpu_run(entry, frame, bus);
    cpu_state.log_pos = bus.log_pos;
    sid_write_log.registers[bus.log_pos] = -1;
    return result;
}

}  // namespace

CpuCallResult cpu_call(uint16_t entry) { return call(entry, Frame::subroutine); }
CpuCallResult cpu_call_interrupt(uint16_t entry) { return call(entry, Frame::interrupt); }
