// Arbitrary 6502 code, registers and flags, run by cpu_call at entries the
// input chooses. Tunes are foreign code: whatever they hold, a call must end
// (returned or abandoned), stay inside the 64 KB image, and leave the harness
// in the state its callers rely on.
//
// Input, in order (missing bytes read as 0):
//   the byte every memory address starts with (a loaded tune leaves 0 where
//   its payload does not reach; other bytes let short inputs end sooner);
//   a, x, y, sp, sign_source, zero_source, overflow;
//   a flags byte: bit 0 carry, bit 1 decimal, bit 2 irq_disable;
//   the number of calls, 1 + byte % 3; a byte whose bit k asks for cpu_reset
//   before call k, as the tune driver does before an init;
//   three entry addresses (little-endian words), one per call;
//   then memory chunks to the end: address word, length byte, that many bytes
//   (a chunk running past 0xFFFF continues at 0x0000).
#include <cstring>

#include "cpu/cpu_call.h"
#include "cpu/opcode_table.h"
#include "fuzz_input.h"

namespace {

constexpr int max_calls = 3;

void load_chunks(FuzzInput& in) {
    while (!in.empty()) {
        uint16_t address = in.word();
        size_t length = in.byte();
        size_t taken = 0;
        const uint8_t* bytes = in.bytes(length, &taken);
        for (size_t i = 0; i < taken; ++i) memory_image.bytes[static_cast<uint16_t>(address + i)] = bytes[i];
    }
}

// What every caller of cpu_call relies on, whatever the code did.
void check_call(uint16_t entry, int result) {
    const CpuState& s = cpu_state;
    FUZZ_CHECK(result == CPU_RETURNED || result == CPU_ABANDONED);
    FUZZ_CHECK(cpu_instructions_executed >= 0 && cpu_instructions_executed <= step_limit + 2);

    if (entry <= end_region_top) {
        // Nothing runs; the pushed return address stays on the stack.
        FUZZ_CHECK(result == CPU_RETURNED);
        FUZZ_CHECK(cpu_instructions_executed == 0);
    } else if (result == CPU_RETURNED) {
        FUZZ_CHECK(s.pc >= 0 && s.pc <= end_region_top);
        FUZZ_CHECK(cpu_instructions_executed >= 1 && cpu_instructions_executed <= step_limit + 1);
    } else {
        bool out_of_image = s.pc < 0 || s.pc > 0xFFFF;
        // A JAM stops the chip on its own opcode, within the limit.
        bool jammed = !out_of_image && s.jammed && is_jam(memory_image.bytes[s.pc]) &&
                      cpu_instructions_executed <= step_limit + 1;
        // A BRK whose vector leads into the end region is no return: its
        // last instruction set pc to the vector, which still holds it.
        bool broke_out = s.pc >= 0 && s.pc <= end_region_top && read_word(0xFFFE) == s.pc &&
                         cpu_instructions_executed <= step_limit + 1;
        FUZZ_CHECK(out_of_image || jammed || broke_out || cpu_instructions_executed == step_limit + 2);
    }

    // The log: at most 126 stores, each a register index 0..31, ended by -1
    // exactly where log_pos stopped.
    FUZZ_CHECK(s.log_pos >= 0 && s.log_pos <= sid_log_last_slot);
    FUZZ_CHECK(sid_write_log.registers[s.log_pos] == -1);
    for (int i = 0; i < s.log_pos; ++i) {
        FUZZ_CHECK(sid_write_log.registers[i] >= 0 && sid_write_log.registers[i] <= 31);
    }

    // Flags that other code reads as 0 or 1.
    FUZZ_CHECK(s.carry <= 1);
    FUZZ_CHECK(s.decimal <= 1);
    FUZZ_CHECK(s.irq_disable <= 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::memset(&memory_image, in.byte(), sizeof memory_image);
    std::memset(&sid_write_log, 0, sizeof sid_write_log);

    CpuState& s = cpu_state;
    s = CpuState{};
    s.a = in.byte();
    s.x = in.byte();
    s.y = in.byte();
    s.sp = in.byte();
    s.sign_source = in.byte();
    s.zero_source = in.byte();
    s.overflow = in.byte();
    uint8_t flags = in.byte();
    s.carry = flags & 1;
    s.decimal = (flags >> 1) & 1;
    s.irq_disable = (flags >> 2) & 1;

    int calls = 1 + in.byte() % max_calls;
    uint8_t resets = in.byte();
    uint16_t entries[max_calls];
    for (uint16_t& entry : entries) entry = in.word();
    load_chunks(in);

    for (int k = 0; k < calls; ++k) {
        if (resets & (1 << k)) {
            cpu_reset();
            FUZZ_CHECK(s.sp == 0xFF && s.pc == 0);
        }
        uint8_t sp_before = s.sp;
        int result = cpu_call(entries[k]);
        check_call(entries[k], result);
        if (entries[k] <= end_region_top) FUZZ_CHECK(s.sp == static_cast<uint8_t>(sp_before - 2));
    }
    return 0;
}
