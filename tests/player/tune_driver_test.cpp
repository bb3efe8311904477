// The tune driver: the init call's inputs, the play rate rules and the play
// step of tunes called by the player.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "cpu/cpu_call.h"
#include "headless/headless_player.h"
#include "midi/stream_transport.h"
#include "player/player_state.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

class TuneDriver : public ::testing::Test {
protected:
    void SetUp() override {
        reset_process_state();
        tune_info.init_address = 0x1000;
        tune_info.play_address = 0x1100;
        player_state.current_song = 1;
        code(0x1000, {0x60});  // RTS
        code(0x1100, {0x60});
    }
    void TearDown() override { reset_process_state(); }

    static void code(uint16_t address, std::vector<uint8_t> bytes) {
        std::memcpy(&memory_image.bytes[address], bytes.data(), bytes.size());
    }
    // An init routine that programs the CIA 1 timer A latch.
    static void init_sets_latch(uint16_t latch) {
        code(0x1000, {
            0xA9, static_cast<uint8_t>(latch),       // LDA #lo
            0x8D, 0x04, 0xDC,                        // STA $DC04
            0xA9, static_cast<uint8_t>(latch >> 8),  // LDA #hi
            0x8D, 0x05, 0xDC,                        // STA $DC05
            0x60,                                    // RTS
        });
    }
    static int period_after_init() {
        init_tune();
        return player_state.play_period_cycles;
    }
};

// The play periods below were whole Hz of a 1 MHz clock once; recomputed by
// hand in cycles of the machine: a PAL frame is 63 x 312 cycles, an NTSC one
// 65 x 263, and the timer underflows every latch + 1 cycles, its latch
// starting at $4025 (PAL) or $4295 (NTSC).
constexpr int pal_frame = 19'656;
constexpr int ntsc_frame = 17'095;
constexpr int pal_start_timer = 0x4025 + 1;
constexpr int ntsc_start_timer = 0x4295 + 1;

TEST_F(TuneDriver, SpeedBitClearIsFiftyHertzWhateverTheLatch) {
    init_sets_latch(0x4025);
    EXPECT_EQ(period_after_init(), pal_frame);
    EXPECT_EQ(player_state.play_rate_hz, 50);  // 50.1245 Hz, rounded
}

TEST_F(TuneDriver, SpeedBitSetFollowsTheTimerLatch) {
    tune_info.speed = 1;
    // A latch of 0 would underflow every cycle: the period is held to 1 ms
    // of the clock, 985.248 cycles rounded up.
    struct Case { uint16_t latch; int cycles; int hz; };
    for (Case c : {Case{0x4CC7, 19'656, 50}, Case{0x4025, 16'422, 60}, Case{0x03E8, 1'001, 984},
                   Case{0xFFFF, 65'536, 15}, Case{0x0000, 986, 999}}) {
        init_sets_latch(c.latch);
        EXPECT_EQ(period_after_init(), c.cycles) << std::hex << c.latch;
        EXPECT_EQ(player_state.play_rate_hz, c.hz) << std::hex << c.latch;  // 985,248 / cycles, rounded
    }
}

TEST_F(TuneDriver, TheLatchIsTheMachinesStartValueBeforeEveryInit) {
    tune_info.speed = 1;
    for (auto [flags, latch, cycles] : {std::tuple{0x0004, 0x4025, pal_start_timer},
                                        std::tuple{0x0008, 0x4295, ntsc_start_timer}}) {
        tune_info.flags = static_cast<uint16_t>(flags);
        memory_image.bytes[0xDC04] = 0xE8;
        memory_image.bytes[0xDC05] = 0x03;
        EXPECT_EQ(period_after_init(), cycles) << flags;  // the init left it untouched
        EXPECT_EQ(read_word(0xDC04), latch) << flags;
    }
}

TEST_F(TuneDriver, SpeedBitOfSongNIsBitNMinusOneModulo32) {
    init_sets_latch(0x4025);
    struct Case { uint32_t speed; int song; int cycles; };
    for (Case c : {Case{1u, 1, pal_start_timer}, Case{1u, 2, pal_frame}, Case{1u, 33, pal_start_timer},
                   Case{0x80000000u, 33, pal_frame}, Case{0x80000000u, 32, pal_start_timer},
                   Case{0x80000000u, 0, pal_start_timer}, Case{2u, 34, pal_start_timer}}) {
        tune_info.speed = c.speed;
        player_state.current_song = c.song;
        EXPECT_EQ(period_after_init(), c.cycles) << "speed " << c.speed << " song " << c.song;
    }
}

TEST_F(TuneDriver, InitGetsTheSongIndexInAAndAFreshStack) {
    code(0x1000, {
        0x8D, 0x00, 0x20,  // STA $2000
        0xBA,              // TSX
        0x8E, 0x01, 0x20,  // STX $2001
        0x60,              // RTS
    });
    cpu_state.sp = 0x42;
    for (auto [song, a] : {std::pair{1, 0}, std::pair{2, 1}, std::pair{256, 255}, std::pair{257, 0}}) {
        player_state.current_song = song;
        init_tune();
        EXPECT_EQ(memory_image.bytes[0x2000], a) << song;
        EXPECT_EQ(memory_image.bytes[0x2001], 0xFD) << song;  // cpu_reset, then the call's return address
    }
}

TEST_F(TuneDriver, WithTheStartLatchTheRasterInterruptMeansTheFrameElseTheSystemTimer) {
    // The init writes the VIC's interrupt enable register and never the
    // latch; the header's flags give the machine. The rule holds at the init
    // and still after a play call.
    struct Case {
        const char* what;
        uint32_t speed;
        uint8_t vic_irq_enable;
        uint16_t flags;
        int cycles;
    };
    const Case cases[] = {
        {"speed bit, raster off", 1, 0x00, 0x0000, pal_start_timer},
        {"speed bit, raster on", 1, 0x01, 0x0000, pal_frame},
        {"speed bit, raster on, PAL", 1, 0x01, 0x0004, pal_frame},
        {"speed bit, raster on, either", 1, 0x01, 0x000C, pal_frame},
        {"speed bit, raster and others on", 1, 0xF1, 0x0000, pal_frame},
        {"speed bit, only another VIC interrupt", 1, 0x02, 0x0000, pal_start_timer},
        {"speed bit, raster on, NTSC", 1, 0x01, 0x0018, ntsc_frame},
        {"speed bit, raster off, NTSC", 1, 0x00, 0x0008, ntsc_start_timer},
        {"no timer, NTSC", 0, 0x00, 0x0008, ntsc_frame},
        {"no timer, NTSC and raster on", 0, 0x01, 0x0008, ntsc_frame},
        {"no timer, PAL", 0, 0x00, 0x0014, pal_frame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tune_info.speed = c.speed;
        tune_info.flags = c.flags;
        code(0x1000, {0xA9, c.vic_irq_enable, 0x8D, 0x1A, 0xD0, 0x60});  // LDA #v : STA $D01A : RTS
        EXPECT_EQ(period_after_init(), c.cycles);
        EXPECT_EQ(play_step(), 0);
        EXPECT_EQ(player_state.play_period_cycles, c.cycles) << "after a play call";
    }
}

TEST_F(TuneDriver, PlayStepEncodesThePreviousCallThenRunsTheNext) {
    code(0x1100, {0xEE, 0x00, 0xD4, 0x60});  // INC $D400 : RTS  (writes 0, then 1)
    code(0x1000, {0xA9, 0x0F, 0x8D, 0x18, 0xD4, 0x60});  // LDA #$0F : STA $D418 : RTS
    init_tune();
    EXPECT_EQ(play_step(), 0);
    std::vector<uint8_t> appended(stream_ring[ring_index].message, stream_ring[ring_index].message + write_position);
    EXPECT_EQ(appended, (std::vector<uint8_t>{0xF0, 0x2D, 0x4E, 0, 0, 0, 1, 0, 0, 0, 0, 0x0F, 0xF7}));
    // The play call's log: the unmodified byte written back, then the result.
    EXPECT_EQ(sid_write_log.registers[0], 0);
    EXPECT_EQ(sid_write_log.values[0], 0);
    EXPECT_EQ(sid_write_log.registers[1], 0);
    EXPECT_EQ(sid_write_log.values[1], 1);
    EXPECT_EQ(sid_write_log.registers[2], -1);
    EXPECT_EQ(memory_image.bytes[0xD400], 1);
}

TEST_F(TuneDriver, AbandonedPlayCallReturnsOne) {
    code(0x1100, {0x4C, 0x00, 0x11});  // JMP $1100
    init_tune();
    EXPECT_EQ(play_step(), 1);
}

}  // namespace
