// Our own RSID tunes on the machine: when their frames come, in cycles,
// worked out by hand from the chips' timing (PAL: 63 cycles a line, 19,656 a
// frame; a CIA timer underflows every latch + 1 cycles).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "machine/machine.h"

namespace {

struct Frame {
    uint64_t cycle;
    std::vector<std::pair<uint8_t, uint8_t>> stores;  // register, value
};

struct TuneRun {
    std::unique_ptr<Machine> m = std::make_unique<Machine>();
    std::vector<Frame> frames;
};

// An RSID as the format lays it out: a 124-byte header, the load address
// low byte first, then the payload; the init address is big-endian at 10.
void start(TuneRun& run, const char* name) {
    std::ifstream file(std::string(ZARVEL_TUNES_DIR) + "/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 0x7Eu) << name;
    static uint8_t image[65536];
    std::fill(std::begin(image), std::end(image), 0);
    uint16_t load = static_cast<uint16_t>(bytes[0x7C] | bytes[0x7D] << 8);
    std::copy(bytes.begin() + 0x7E, bytes.end(), image + load);
    uint16_t init = static_cast<uint16_t>(bytes[10] << 8 | bytes[11]);
    machine_init(run.m.get(), pal_clock);
    machine_start(run.m.get(), image, init, 0, 0x37);
}

// A hand-assembled tune: program at $1000 (its init), handler at $1100,
// the rest of the RAM zero; windows are the other SIDs' (cpu_call.h).
void start_program(TuneRun& run, std::vector<uint8_t> program, std::vector<uint8_t> handler = {},
                   uint64_t other_windows = 0, uint64_t third_windows = 0) {
    static uint8_t image[65536];
    std::fill(std::begin(image), std::end(image), 0);
    std::copy(program.begin(), program.end(), image + 0x1000);
    std::copy(handler.begin(), handler.end(), image + 0x1100);
    machine_init(run.m.get(), pal_clock);
    run.m->other_sid_windows = other_windows;
    run.m->third_sid_windows = third_windows;
    machine_start(run.m.get(), image, 0x1000, 0, 0x37);
}

void run_until(TuneRun& run, uint64_t cycle) {
    for (;;) {
        MachineStop stop = machine_run_until(run.m.get(), cycle);
        if (stop != MACHINE_FRAME_READY) break;
        const MachineFrame& f = run.m->ready;
        Frame frame{f.cycle, {}};
        for (int i = 0; i < f.count; ++i) frame.stores.emplace_back(f.registers[i], f.values[i]);
        run.frames.push_back(frame);
        machine_take_frame(run.m.get());
    }
}

constexpr uint64_t pal_frame = 19656;  // 63 x 312
constexpr uint64_t pal_second = 985248;

// Interrupts are taken at the end of the instruction under way when a line
// falls: within a few cycles of the chip's event, the same few every time.
constexpr int64_t entry_jitter = 4;

// A handler that ends by jumping into the middle of the system handler
// ($EA34, past the C64's clock update, as real tunes do) still reaches the
// acknowledge of CIA 1 and its exit: CIA 1's start-up timer then interrupts
// every $4025 + 1 = 16,422 cycles, so a PAL second (985,248 cycles) holds the
// interrupts at k x 16,422 for k = 1..59 (by hand: 59 x 16,422 = 968,898).
TEST(MachineTunes, AHandlerEndingInsideTheSystemHandlerIsAcknowledged) {
    const std::vector<uint8_t> program = {
        0xA9, 0x00, 0x8D, 0x14, 0x03,  // 1000 LDA #$00  STA $0314
        0xA9, 0x11, 0x8D, 0x15, 0x03,  // 1005 LDA #$11  STA $0315: the handler at $1100
        0x58, 0x60,                    // 100A CLI  RTS
    };
    const std::vector<uint8_t> handler = {
        0xEE, 0x18, 0xD4,  // 1100 INC $D418
        0x4C, 0x34, 0xEA,  // 1103 JMP $EA34
    };
    TuneRun run;
    start_program(run, program, handler);
    run_until(run, pal_second);
    EXPECT_EQ(run.frames.size(), 59u);
}

// Tunes steady the raster with a CIA 2 timer of a few cycles whose NMI comes
// within the instruction that reads its ICR: the read lets the line go
// again, but the edge has come and the NMI is owed. (Latch 4, one-shot: the
// underflow falls 5 cycles after the force load, inside the BIT.)
TEST(MachineTunes, AnNmiEdgeCountsEvenWhenTheIcrIsReadInTheSameInstruction) {
    const std::vector<uint8_t> program = {
        0x78,                          // 1000 SEI: no IRQ from CIA 1
        0xA9, 0x35, 0x85, 0x01,        // 1001 LDA #$35  STA $01: the KERNAL out
        0xA9, 0x00, 0x8D, 0xFA, 0xFF,  // 1005 LDA #$00  STA $FFFA
        0xA9, 0x11, 0x8D, 0xFB, 0xFF,  // 100A LDA #$11  STA $FFFB: NMI at $1100
        0xA9, 0x04, 0x8D, 0x04, 0xDD,  // 100F LDA #$04  STA $DD04
        0xA9, 0x00, 0x8D, 0x05, 0xDD,  // 1014 LDA #$00  STA $DD05: latch 4
        0xA9, 0x81, 0xA2, 0x19,        // 1019 LDA #$81  LDX #$19
        0x8E, 0x0E, 0xDD,              // 101D STX $DD0E: start, one-shot, force load
        0x8D, 0x0D, 0xDD,              // 1020 STA $DD0D: timer A's NMI on
        0x2C, 0x0D, 0xDD,              // 1023 BIT $DD0D
        0x4C, 0x26, 0x10,              // 1026 JMP $1026
    };
    const std::vector<uint8_t> handler = {
        0xEE, 0x18, 0xD4,  // 1100 INC $D418
        0x40,              // 1103 RTI
    };
    TuneRun run;
    start_program(run, program, handler);
    run_until(run, pal_frame);
    ASSERT_EQ(run.frames.size(), 1u);
    EXPECT_EQ(run.m->sources_seen, SOURCE_CIA2_TIMER_A);
}

// A second SID over a mirror and a third in the expansion port's area: their
// stores are tagged chip * 32 + register, as the CPU core's log tags them,
// and the rest of that area is no SID's. A main loop's stores go out at the
// next video frame's start.
TEST(MachineTunes, OtherChipsStoresAreTaggedWithTheirChip) {
    const std::vector<uint8_t> program = {
        0xA9, 0x07,        // LDA #$07
        0x8D, 0x00, 0xD4,  // STA $D400
        0x8D, 0x38, 0xD4,  // STA $D438: the second SID's register 24
        0x8D, 0x04, 0xDE,  // STA $DE04: the third's register 4
        0x8D, 0x40, 0xDE,  // STA $DE40: no SID
        0x60,              // RTS
    };
    TuneRun run;
    start_program(run, program, {}, (uint64_t{1} << 1) | (uint64_t{1} << 32), uint64_t{1} << 32);  // $D420, $DE00
    run_until(run, pal_frame + 1);
    ASSERT_EQ(run.frames.size(), 1u);
    std::vector<std::pair<uint8_t, uint8_t>> stores{{0, 7}, {32 + 24, 7}, {64 + 4, 7}};
    EXPECT_EQ(run.frames[0].stores, stores);
}

TEST(MachineTunes, FramesComeWhenTheChipsInterrupt) {
    struct Case {
        const char* tune;
        std::vector<uint64_t> intervals;  // cycles between frames, repeating
        uint32_t sources;
    };
    const Case cases[] = {
        // CIA 1 timer A, latch 19,704: every 19,705 cycles.
        {"rsid_cia.sid", {19705}, SOURCE_CIA1_TIMER_A},
        // Raster lines $10, $58, $A0, $E8: 72 lines (4,536 cycles) apart,
        // and 312 - 3 x 72 = 96 lines (6,048 cycles) from $E8 to the next
        // $10. Frame 1 is line $58's.
        {"rsid_raster4.sid", {4536, 4536, 6048, 4536}, SOURCE_RASTER},
        // CIA 2 timer A, latch 9,851, through NMI: every 9,852 cycles.
        {"rsid_nmi.sid", {9852}, SOURCE_CIA2_TIMER_A},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tune);
        TuneRun run;
        start(run, c.tune);
        run_until(run, pal_second);
        ASSERT_GT(run.frames.size(), 40u);
        // The init's own stores make up the first frame with the first handler's.
        uint64_t expected = run.frames[1].cycle;
        for (size_t k = 1; k < run.frames.size(); ++k) {
            EXPECT_NEAR(static_cast<double>(run.frames[k].cycle), static_cast<double>(expected), entry_jitter) << k;
            expected += c.intervals[(k - 1) % c.intervals.size()];
        }
        EXPECT_EQ(run.m->sources_seen, c.sources);
        EXPECT_FALSE(run.m->plays_samples);
    }
}

TEST(MachineTunes, FourRasterInterruptsAFrameAre200Point5FramesASecond) {
    TuneRun run;
    start(run, "rsid_raster4.sid");
    // Ten PAL seconds, 9,852,480 cycles: 501 whole frames (9,847,656 cycles,
    // 2,004 interrupts) and 4,824 cycles more, which pass line $10 (1,008)
    // but not line $58 (5,544): 2,005 frames, 200.5 a second.
    run_until(run, 10 * pal_second);
    EXPECT_EQ(run.frames.size(), 2005u);
}

TEST(MachineTunes, AMainLoopsStoresGoOutAtEachVideoFrame) {
    TuneRun run;
    start(run, "rsid_main_loop.sid");
    run_until(run, 50 * pal_frame);
    // The init's stores and the first line-$80 store close at frame 1's
    // start, then one frame at each frame start: exactly k x 19,656.
    ASSERT_EQ(run.frames.size(), 49u);
    for (size_t k = 0; k < run.frames.size(); ++k) EXPECT_EQ(run.frames[k].cycle, (k + 1) * pal_frame) << k;
    // Voice 1's high frequency byte, once a frame (register 1).
    EXPECT_EQ(run.frames[5].stores.size(), 1u);
    EXPECT_EQ(run.frames[5].stores[0].first, 1);
    EXPECT_EQ(run.m->sources_seen, 0u);
}

TEST(MachineTunes, StoresWithIoSwitchedOutLandInRam) {
    TuneRun run;
    start(run, "rsid_banking.sid");
    run_until(run, 3 * pal_frame);
    EXPECT_EQ(run.m->ram[0xD418], 0xAA);
    EXPECT_EQ(run.m->ram[0xD400], 0xAA);
    ASSERT_FALSE(run.frames.empty());
    for (const Frame& f : run.frames)
        for (auto [reg, value] : f.stores) EXPECT_NE(value, 0xAA) << "register " << int(reg);
    // The first frame: the volume with I/O in, then the handler's first count,
    // reached through the RAM vector at $FFFE.
    std::vector<std::pair<uint8_t, uint8_t>> first{{24, 0x0F}, {1, 0x01}};
    EXPECT_EQ(run.frames[0].stores, first);
}

TEST(MachineTunes, SamplesThroughTheVolumeRegisterAreNoticedAndFolded) {
    TuneRun run;
    start(run, "rsid_samples.sid");
    run_until(run, pal_second);
    EXPECT_TRUE(run.m->plays_samples);
    // 8,010 stores a second would be 8,010 frames; once noticed (after 41
    // stores) they fold into one frame a video frame: 50 more at most.
    EXPECT_LT(run.frames.size(), 41u + 51u);
    size_t volume_stores = 0;
    for (const Frame& f : run.frames)
        for (auto [reg, value] : f.stores) volume_stores += reg == 24;
    EXPECT_LT(volume_stores, 41u + 51u);
}

}  // namespace
