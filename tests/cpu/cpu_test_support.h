#pragma once
// Shared by the CPU tests: a zeroed machine per test, a way to place
// hand-assembled bytes, and the flags read the way a 6502 program sees them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "cpu/cpu_call.h"

namespace cpu_test {

constexpr uint16_t code = 0x1000;  // where most test programs are placed and entered

// Fills the log with a pattern no call writes, so a missing terminator shows.
inline void scribble_log() {
    for (int i = 0; i < 128; ++i) {
        sid_write_log.registers[i] = 0x5A5A;
        sid_write_log.values[i] = 0xA5;
    }
}

// Zero memory and registers as at process start, the first SID alone, then
// cpu_reset as the tune driver does before an init call (sp 0xFF).
inline void clear_machine() {
    std::memset(memory_image.bytes, 0, sizeof memory_image.bytes);
    cpu_state = CpuState{};
    other_sid_windows = 0;
    third_sid_windows = 0;
    scribble_log();
    cpu_reset();
}

inline uint8_t& mem(uint32_t address) { return memory_image.bytes[address & 0xFFFF]; }

// Bytes go in one after another; past 0xFFFF they continue at 0x0000, as the
// address bus would take them.
inline void place(uint16_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) memory_image.bytes[address++] = b;
}
inline void place(uint16_t address, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) memory_image.bytes[address++] = b;
}

inline int run_at(uint16_t entry, std::initializer_list<uint8_t> program) {
    place(entry, program);
    return cpu_call(entry);
}
inline int run(std::initializer_list<uint8_t> program) { return run_at(code, program); }

inline bool flag_n() { return cpu_state.sign_source & 0x80; }
inline bool flag_z() { return cpu_state.zero_source == 0; }
inline bool flag_c() { return cpu_state.carry != 0; }
inline bool flag_v() { return cpu_state.overflow != 0; }

// The log of the last call, read up to its terminator as the encoder reads it.
inline std::vector<std::pair<int32_t, uint8_t>> logged() {
    std::vector<std::pair<int32_t, uint8_t>> out;
    for (int i = 0; i < 128 && sid_write_log.registers[i] != -1; ++i)
        out.emplace_back(sid_write_log.registers[i], sid_write_log.values[i]);
    return out;
}
using Log = std::vector<std::pair<int32_t, uint8_t>>;

class CpuTest : public ::testing::Test {
protected:
    void SetUp() override { clear_machine(); }
};

}  // namespace cpu_test
