// The play-loop workload of the benchmark, run as a test: a synthetic play
// routine whose instruction count and first SID stores are known exactly.
#include <cstdio>

#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class PlayLoop : public CpuTest {};

// Loads bench/play_loop.bin at 0x1000 into the (zeroed) image.
bool load_play_loop() {
    std::FILE* file = std::fopen(ZARVEL_PLAY_LOOP_BIN, "rb");
    if (!file) return false;
    const size_t size = std::fread(memory_image.bytes + 0x1000, 1, 0x1000, file);
    std::fclose(file);
    return size == 243;
}

TEST_F(PlayLoop, OneCallRunsExactlyItsKnownInstructionCountAndReturns) {
    ASSERT_TRUE(load_play_loop()) << ZARVEL_PLAY_LOOP_BIN;
    EXPECT_EQ(CPU_RETURNED, cpu_call(0x1000));
    EXPECT_EQ(196617, cpu_instructions_executed);
    EXPECT_EQ(0xFF, cpu_state.sp);
    EXPECT_EQ(2, cpu_state.pc);
    const Log log = logged();
    ASSERT_EQ(126u, log.size());  // the routine stores far more than a log keeps
    EXPECT_EQ((Log{{14, 0x63}, {15, 0x53}, {16, 0x04}, {18, 0x41}, {7, 0x6C}, {8, 0x54}}),
              Log(log.begin(), log.begin() + 6));
    EXPECT_EQ(-1, sid_write_log.registers[126]);
}

// The benchmark calls it over and over on the same image: every call must
// still be the same full workload.
TEST_F(PlayLoop, RepeatedCallsRunTheSameWorkload) {
    ASSERT_TRUE(load_play_loop()) << ZARVEL_PLAY_LOOP_BIN;
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(CPU_RETURNED, cpu_call(0x1000)) << "call " << call;
        EXPECT_EQ(196617, cpu_instructions_executed) << "call " << call;
        EXPECT_EQ(0xFF, cpu_state.sp) << "call " << call;
    }
}

}  // namespace
}  // namespace cpu_test
