// Our own test tunes (tests/tunes), loaded and run on the CPU core: their
// headers and the SID writes of their calls are what tests/tunes/README.md
// says, which later tests rely on.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cpu/cpu_call.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {

using Writes = std::vector<std::pair<int, int>>;  // (register, value) in store order

std::string tune_path(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

Writes logged_writes() {
    Writes writes;
    for (int i = 0; sid_write_log.registers[i] != -1; ++i)
        writes.emplace_back(sid_write_log.registers[i], sid_write_log.values[i]);
    return writes;
}

uint16_t latch() { return read_word(0xDC04); }

// The init call as the player makes it: a fresh stack, the latch cleared,
// the song index in A.
int run_init(int song) {
    cpu_reset();
    memory_image.bytes[0xDC04] = 0;
    memory_image.bytes[0xDC05] = 0;
    cpu_state.a = static_cast<uint8_t>(song - 1);
    return cpu_call(tune_info.init_address);
}

// The routine an interrupt-driven tune installed: the hardware vector first.
uint16_t installed_handler() {
    uint16_t vector = read_word(0xFFFE);
    return vector ? vector : read_word(0x0314);
}

// Registers of each call's writes, in order.
std::vector<int> registers_of(const Writes& writes) {
    std::vector<int> registers;
    for (auto& w : writes) registers.push_back(w.first);
    return registers;
}

void load(const char* name) { ASSERT_EQ(load_psid(tune_path(name).c_str()), LOAD_OK) << name; }

TEST(OurTunes, HeadersAreWhatTheReadmeSays) {
    struct Case {
        const char* file;
        int result;
        uint16_t version, load_address, init_address, play_address, songs, start_song;
        uint32_t speed;
        uint16_t flags;
        const char* name;
        uint16_t second_sid = 0;
    };
    const Case cases[] = {
        {"melody.sid", LOAD_OK, 1, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0, "Zarvel Melody"},
        {"melody_v2.sid", LOAD_OK, 2, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0014, "Zarvel Melody"},
        {"melody_ntsc.sid", LOAD_OK, 2, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0018, "Zarvel Melody"},
        {"multisong.sid", LOAD_OK, 1, 0x1000, 0x1000, 0x1003, 4, 2, 0x0B, 0, "Zarvel Multisong"},
        {"irq_vector.sid", LOAD_OK, 1, 0x1000, 0x1000, 0x0000, 1, 1, 0, 0, "Zarvel IRQ vector"},
        {"irq_rti.sid", LOAD_OK, 1, 0x1000, 0x1000, 0x0000, 1, 1, 0, 0, "Zarvel IRQ RTI"},
        {"irq_raster.sid", LOAD_OK, 2, 0x1000, 0x1000, 0x0000, 2, 1, 0, 0x0014, "Zarvel IRQ raster"},
        {"hang.sid", LOAD_OK, 1, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0, "Zarvel Hang"},
        {"demo.sid", LOAD_OK, 2, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0014, "Zarvel Demo"},
        {"mus.sid", LOAD_MUS, 2, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0001, "Zarvel MUS"},
        {"two_sids.sid", LOAD_OK, 3, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0014, "Zarvel Two SIDs", 0xD420},
        {"two_sids_first_only.sid", LOAD_OK, 3, 0x1000, 0x1000, 0x1003, 1, 1, 0, 0x0014, "Zarvel Two SIDs", 0xD420},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(load_psid(tune_path(c.file).c_str()), c.result);
        EXPECT_EQ(tune_info.version, c.version);
        EXPECT_EQ(tune_info.data_offset, c.version >= 2 ? 0x7C : 0x76);
        EXPECT_EQ(tune_info.load_address, c.load_address);
        EXPECT_EQ(tune_info.init_address, c.init_address);
        EXPECT_EQ(tune_info.play_address, c.play_address);
        EXPECT_EQ(tune_info.irq_mode, c.play_address == 0 ? 1 : 0);
        EXPECT_EQ(tune_info.songs, c.songs);
        EXPECT_EQ(tune_info.start_song, c.start_song);
        EXPECT_EQ(tune_info.speed, c.speed);
        EXPECT_EQ(tune_info.flags, c.flags);
        EXPECT_EQ(tune_text(tune_info.name), c.name);
        EXPECT_EQ(tune_text(tune_info.author), "Zarvel developers");
        EXPECT_EQ(tune_text(tune_info.released), "2026 Osket");
        EXPECT_EQ(tune_info.second_sid_address, c.second_sid);
        EXPECT_EQ(tune_info.third_sid_address, 0);
    }
}

TEST(OurTunes, MelodyPlaysEightNotesOfEightCallsOnVoiceOne) {
    for (const char* file : {"melody.sid", "melody_v2.sid"}) {
        SCOPED_TRACE(file);
        load(file);
        ASSERT_EQ(run_init(1), CPU_RETURNED);
        EXPECT_EQ(logged_writes(), (Writes{{24, 0x0F}, {5, 0x09}, {6, 0xA4}, {2, 0x00}, {3, 0x08}}));

        // C4 E4 G4 E4 F4 A4 G4 D4 as PAL frequency values.
        const uint16_t notes[8] = {0x1167, 0x15ED, 0x1A13, 0x15ED, 0x173B, 0x1D45, 0x1A13, 0x1389};
        for (int call = 0; call < 2 * 64; ++call) {
            SCOPED_TRACE(call);
            ASSERT_EQ(cpu_call(0x1003), CPU_RETURNED);
            uint16_t note = notes[call / 8 % 8];
            Writes expected;
            if (call % 8 == 0) expected = {{0, note & 0xFF}, {1, note >> 8}, {4, 0x41}};
            if (call % 8 == 6) expected = {{4, 0x40}};
            EXPECT_EQ(logged_writes(), expected);
        }
        EXPECT_EQ(latch(), 0) << "a 50 Hz tune: the latch stays clear";
    }
}

TEST(OurTunes, MultisongProgramsTheLatchPerSongAndWritesThirteenRegistersEveryCall) {
    load("multisong.sid");
    const uint16_t latches[4] = {0x4025, 0x4CC7, 0x1000, 0x0000};
    const std::vector<int> order = {0, 1, 4, 7, 8, 11, 14, 15, 18, 21, 22, 23, 24};
    std::vector<std::vector<Writes>> songs;
    for (int song = 1; song <= 4; ++song) {
        SCOPED_TRACE(song);
        ASSERT_EQ(run_init(song), CPU_RETURNED);
        EXPECT_EQ(latch(), latches[song - 1]);
        std::vector<Writes> calls;
        for (int call = 0; call < 200; ++call) {
            ASSERT_EQ(cpu_call(0x1003), CPU_RETURNED);
            ASSERT_EQ(registers_of(logged_writes()), order) << "call " << call;
            calls.push_back(logged_writes());
        }
        EXPECT_EQ(latch(), latches[song - 1]) << "play calls leave the latch alone";
        songs.push_back(calls);
    }
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) EXPECT_NE(songs[a], songs[b]) << "songs " << a + 1 << " and " << b + 1;

    // A song number past the last plays song 1's part (the rate still
    // follows that song's own speed bit).
    ASSERT_EQ(run_init(5), CPU_RETURNED);
    EXPECT_EQ(latch(), 0x4025);
}

TEST(OurTunes, IrqVectorInstallsItsHandlerAtTheSystemVectorAndSlowsDown) {
    load("irq_vector.sid");
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    EXPECT_EQ(read_word(0xFFFE), 0) << "the hardware vector stays clear";
    uint16_t handler = read_word(0x0314);
    EXPECT_GT(handler, 0x1000);
    EXPECT_EQ(latch(), 0x2710);

    const uint16_t arpeggio[4] = {0x22CE, 0x2BDA, 0x3426, 0x459C};  // C5 E5 G5 C6
    for (int call = 0; call < 16; ++call) {
        SCOPED_TRACE(call);
        uint8_t sp_before = cpu_state.sp;
        ASSERT_EQ(cpu_call(handler), CPU_RETURNED) << "JMP $EA31 returns through the loader's RTS";
        EXPECT_EQ(cpu_state.sp, sp_before);
        uint16_t note = arpeggio[call % 4];
        EXPECT_EQ(logged_writes(), (Writes{{7, note & 0xFF}, {8, note >> 8}, {11, call % 2 ? 0x10 : 0x11}}));
        EXPECT_EQ(latch(), call < 7 ? 0x2710 : 0x4E20);
    }

    // Without the loader's RTS bytes the handler's JMP $EA31 meets a BRK in
    // empty memory, which goes through the clear hardware vector to 0x0000:
    // the call ends, but its return address and the BRK's three bytes stay
    // on the stack.
    memory_image.bytes[0xEA31] = 0x00;
    memory_image.bytes[0xFF48] = 0x00;
    uint8_t sp_before = cpu_state.sp;
    EXPECT_EQ(cpu_call(handler), CPU_RETURNED);
    EXPECT_EQ(cpu_state.sp, static_cast<uint8_t>(sp_before - 5));
}

TEST(OurTunes, IrqRtiPointsTheHardwareVectorAtAHandlerEndingInRti) {
    load("irq_rti.sid");
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    uint16_t hardware = read_word(0xFFFE);
    uint16_t system = read_word(0x0314);
    EXPECT_GT(hardware, 0x1000);
    EXPECT_GT(system, 0x1000);
    EXPECT_NE(hardware, system) << "the system vector holds a decoy";
    EXPECT_EQ(installed_handler(), hardware);
    EXPECT_EQ(latch(), 0x4CC7);

    const uint16_t notes[4] = {0x0EA2, 0x1167, 0x15ED, 0x1A13};  // A3 C4 E4 G4
    for (int call = 0; call < 32; ++call) {
        SCOPED_TRACE(call);
        uint8_t sp_before = cpu_state.sp;
        ASSERT_EQ(cpu_call(hardware), CPU_RETURNED);
        // RTI pulls a status byte besides the return address: one byte more
        // than the call pushed.
        EXPECT_EQ(cpu_state.sp, static_cast<uint8_t>(sp_before + 1));
        cpu_state.sp = sp_before;  // as the player restores it after such calls
        Writes expected;
        uint16_t note = notes[call / 4 % 4];
        if (call % 4 == 0) expected = {{14, note & 0xFF}, {15, note >> 8}, {18, 0x21}};
        if (call % 4 == 2) expected = {{18, 0x20}};
        EXPECT_EQ(logged_writes(), expected);
    }

    // The decoy would silence the tune.
    ASSERT_EQ(cpu_call(system), CPU_RETURNED);
    EXPECT_EQ(logged_writes(), (Writes{{24, 0x00}}));
}

// Decimal mode, SBX, ALR and ARR, worked by hand from the chip's rules
// (the tune's header comment gives them) for the count c = k in BCD:
// PW_LO c; PW_HI (c AND $F0) / 2; FREQ_LO c - 5, C = c >= 5; FREQ_HI
// (C * 128) OR ((c AND $FE) / 2); CONTROL $41 when that has bit 6 set.
TEST(OurTunes, UndocumentedCountsInDecimalAndShapesItsStoresWithSbxAlrArr) {
    load("undocumented.sid");
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    EXPECT_EQ(logged_writes(), (Writes{{24, 0x0F}}));
    struct Call {
        int k;
        Writes writes;
    };
    const Call calls[] = {
        {1, {{2, 0x01}, {3, 0x00}, {0, 0xFC}, {1, 0x00}, {4, 0x40}}},    // 1 - 5 borrows
        {9, {{2, 0x09}, {3, 0x00}, {0, 0x04}, {1, 0x84}, {4, 0x40}}},
        {10, {{2, 0x10}, {3, 0x08}, {0, 0x0B}, {1, 0x88}, {4, 0x40}}},  // $09 + 1 = $10
        {80, {{2, 0x80}, {3, 0x40}, {0, 0x7B}, {1, 0xC0}, {4, 0x41}}},  // ARR's bit 6: gate
        {99, {{2, 0x99}, {3, 0x48}, {0, 0x94}, {1, 0xCC}, {4, 0x41}}},
        {100, {{2, 0x00}, {3, 0x00}, {0, 0xFB}, {1, 0x00}, {4, 0x40}}},  // $99 + 1 wraps to $00
    };
    int k = 0;
    for (const Call& call : calls) {
        while (k < call.k) {
            ++k;
            ASSERT_EQ(cpu_call(tune_info.play_address), CPU_RETURNED) << "call " << k;
        }
        EXPECT_EQ(logged_writes(), call.writes) << "call " << k;
    }
}

TEST(OurTunes, HangPlaysThreeNotesThenNeverReturns) {
    load("hang.sid");
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    EXPECT_EQ(logged_writes(), (Writes{{24, 0x0F}, {5, 0x08}, {6, 0x80}}));
    const uint16_t notes[3] = {0x1A13, 0x20DA, 0x2711};  // G4 B4 D5
    for (int call = 0; call < 12; ++call) {
        SCOPED_TRACE(call);
        ASSERT_EQ(cpu_call(0x1003), CPU_RETURNED);
        Writes expected;
        if (call % 4 == 0) expected = {{0, notes[call / 4] & 0xFF}, {1, notes[call / 4] >> 8}, {4, 0x11}};
        if (call % 4 == 2) expected = {{4, 0x10}};
        EXPECT_EQ(logged_writes(), expected);
    }
    for (int call = 12; call < 14; ++call) {
        EXPECT_EQ(cpu_call(0x1003), CPU_ABANDONED);
        EXPECT_EQ(cpu_instructions_executed, step_limit + 2);
        EXPECT_EQ(logged_writes(), (Writes{{4, 0x10}})) << "the gate closes before the wait";
    }
    // A new start plays again.
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    EXPECT_EQ(cpu_call(0x1003), CPU_RETURNED);
}

TEST(OurTunes, TwoSidsSecondChipLeavesTheFirstChipsLogAlone) {
    // The first SID's writes of two_sids.sid are those of the same tune
    // without a store into the second chip, though every call makes some.
    std::vector<Writes> first_sid[2];
    const char* files[2] = {"two_sids.sid", "two_sids_first_only.sid"};
    for (int f = 0; f < 2; ++f) {
        load(files[f]);
        ASSERT_EQ(run_init(1), CPU_RETURNED);
        first_sid[f].push_back(logged_writes());
        for (int call = 0; call < 64; ++call) {
            ASSERT_EQ(cpu_call(0x1003), CPU_RETURNED);
            first_sid[f].push_back(logged_writes());
        }
        if (f == 0) EXPECT_EQ(memory_image.bytes[0xD438], 0x2F) << "the second chip's volume register";
    }
    EXPECT_EQ(first_sid[0], first_sid[1]);
    EXPECT_EQ(first_sid[0][1], (Writes{{0, 0xB4}, {1, 0x08}, {4, 0x41}})) << "C3, gate on";
}

TEST(OurTunes, DemoRunsThirtyFiveSecondsBeforeItLoops) {
    load("demo.sid");
    ASSERT_EQ(run_init(1), CPU_RETURNED);
    constexpr int loop_calls = 16 * 16 * 7;  // bars x steps x calls: 35.84 s at 50 Hz
    std::vector<Writes> calls;
    int gates_opened[3] = {0, 0, 0};
    for (int call = 0; call < 2 * loop_calls; ++call) {
        ASSERT_EQ(cpu_call(0x1003), CPU_RETURNED) << call;
        ASSERT_LT(cpu_instructions_executed, 200) << "a cheap play routine";
        Writes writes = logged_writes();
        // The filter sweep and voice 2's pulse width move on every call.
        std::vector<int> registers = registers_of(writes);
        ASSERT_GE(registers.size(), 4u);
        EXPECT_EQ(std::vector<int>(registers.end() - 4, registers.end()), (std::vector<int>{21, 22, 9, 10}));
        for (auto& w : writes)
            if ((w.first == 4 || w.first == 11 || w.first == 18) && (w.second & 1)) ++gates_opened[w.first / 7];
        calls.push_back(writes);
    }
    for (int voice = 0; voice < 3; ++voice) EXPECT_GT(gates_opened[voice], 50) << "voice " << voice + 1;

    // It loops after loop_calls and not before.
    for (int call = 0; call < loop_calls; ++call) ASSERT_EQ(calls[call], calls[call + loop_calls]) << call;
    for (int period = 1; period < loop_calls; ++period) {
        bool repeats = true;
        for (int call = 0; call < loop_calls && repeats; ++call) repeats = calls[call] == calls[call + period];
        EXPECT_FALSE(repeats) << "repeats after " << period << " calls";
    }
}

}  // namespace
