// dump and render on our own tunes: the first buffers of each stream against
// lines worked out by hand from the frame rules and tests/tunes/README.md,
// and the files render writes read back by a reader of our own.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dump_command.h"
#include "cli/exit_codes.h"
#include "cli/render_command.h"
#include "cli/replacement_file.h"
#include "cli/steps_command.h"
#include "player/machine_tune.h"
#include "psid_builder.h"
#include "small_collection.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string tune(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

struct Output {
    int exit_code;
    std::string out;
    std::string err;
};

template <class Run>
Output capture(Run run) {
    char* out_text = nullptr;
    char* err_text = nullptr;
    size_t out_size = 0;
    size_t err_size = 0;
    std::FILE* out = open_memstream(&out_text, &out_size);
    std::FILE* err = open_memstream(&err_text, &err_size);
    int code = run(out, err);
    std::fclose(out);
    std::fclose(err);
    Output result{code, std::string(out_text, out_size), std::string(err_text, err_size)};
    std::free(out_text);
    std::free(err_text);
    return result;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> dump(TuneOptions options, long buffers, Output* output = nullptr) {
    DumpOptions dump_options{options, buffers};
    Output o = capture([&](std::FILE* out, std::FILE* err) { return run_dump(dump_options, out, err); });
    if (output) *output = o;
    EXPECT_EQ(o.exit_code, EXIT_OK) << o.err;
    return lines_of(o.out);
}

TuneOptions options_for(const char* name) {
    TuneOptions options;
    options.tune = tune(name);
    return options;
}

// Frames worked out from the frame rules (positions, masks, high bits).
const std::string reset = "F0 2D 4E 43 61 70 01 00 00 20 00 00 00 00 00 00 00 07 7F 00 0F F7";
const std::string reset_at_filter_50 = "F0 2D 4E 43 61 70 01 00 00 00 00 00 00 00 00 00 00 03 7F 00 0F F7";
const std::string mute = "F0 2D 4E 00 00 00 01 00 00 00 00 00 F7";
const std::string melody_name = "F0 2D 4F 5A 61 72 76 65 6C 20 4D 65 6C 6F 64 79 F7";  // "Zarvel Melody"

TEST(Dump, MelodyStartsWithResetAndNameThenAnEmptyBufferThenTheInitFrame) {
    // A PAL frame, 19,656 cycles of 985,248 Hz, is 19.950 ms: the stream's
    // periods end at 19, 39, 59, ... 239 ms, the first of them 19 ms long.
    EXPECT_EQ(dump(options_for("melody.sid"), 12), (std::vector<std::string>{
        "19 " + reset + " " + melody_name,
        "20",  // queued by the first position callback: nothing was encoded yet
        // init: 24=0F 5=09 6=A4 2=00 3=08 -> positions 21, 4, 5, 2, 3;
        // 0xA4 has bit 7 (high-bit byte 0, bit 0x20)
        "20 F0 2D 4E 3C 00 00 01 20 00 00 00 00 08 09 24 0F F7",
        "20 F0 2D 4E 03 00 00 02 00 00 00 00 67 11 41 F7",  // play 1: 0=67 1=11 4=41 (position 22): C4, gate on
        "20", "20", "20", "20", "20",                          // plays 2 to 6 write nothing
        "20 F0 2D 4E 00 00 00 02 00 00 00 00 40 F7",        // play 7: 4=40, gate off
        "20",
        "20 F0 2D 4E 03 00 00 02 01 00 00 00 6D 15 41 F7",  // play 9: 0=ED (high bit) 1=15 4=41: E4
    }));
}

TEST(Dump, DemoFramesCarryEveryVoiceAndTheFilter) {
    std::vector<std::string> lines = dump(options_for("demo.sid"), 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "19 " + reset + " F0 2D 4F 5A 61 72 76 65 6C 20 44 65 6D 6F F7");
    EXPECT_EQ(lines[1], "20");
    // init: 24=1F 23=73 5=09 6=A6 12=04 13=44 19=28 20=A9 16=00 17=06
    EXPECT_EQ(lines[2], "20 F0 2D 4E 30 18 4F 01 20 00 08 00 09 26 04 44 00 06 28 29 73 1F F7");
    // play 1: 0=51 1=07 4=21 7=A2 8=0E 11=41 14=DA 15=2B 18=41 21=02 22=30 9=10 10=04
    EXPECT_EQ(lines[3], "20 F0 2D 4E 43 67 30 0E 40 20 00 00 51 07 22 0E 10 04 5A 2B 02 30 21 41 41 F7");
}

std::vector<uint32_t> deltas_of(const std::vector<std::string>& lines) {
    std::vector<uint32_t> deltas;
    for (const std::string& line : lines) deltas.push_back(static_cast<uint32_t>(std::stoul(line)));
    return deltas;
}

TEST(Dump, DeltaTimesFollowTheRateAndTheSpeed) {
    struct Case {
        const char* tune;
        int song;
        int speed;
        std::vector<uint32_t> deltas;  // of the first six buffers
    };
    // Whole-Hz periods once; worked out again by hand from the cycles: the
    // periods end at floor(k x cycles x 100000 / (clock x speed)) ms. A PAL
    // frame is 19,656 cycles of 985,248 Hz (19.950 ms), the start latch
    // $4025 underflows every 16,422 (16.668 ms), an NTSC frame is 17,095
    // cycles of 1,022,727 Hz (16.715 ms).
    const Case cases[] = {
        {"melody.sid", 0, 100, {19, 20, 20, 20, 20, 20}},        // PAL frame
        {"melody.sid", 0, 200, {9, 10, 10, 10, 10, 10}},         // 9.975
        {"melody.sid", 0, 20, {99, 100, 100, 100, 99, 100}},     // 99.752
        {"melody.sid", 0, 150, {13, 13, 13, 14, 13, 13}},        // 13.300: the leftover carried
        {"multisong.sid", 1, 100, {16, 17, 17, 16, 17, 17}},     // latch $4025
        {"multisong.sid", 0, 100, {19, 20, 20, 20, 20, 20}},     // start song 2: latch $4CC7, a PAL frame
        {"multisong.sid", 4, 100, {16, 17, 17, 16, 17, 17}},     // latch never set: $4025
        {"melody_ntsc.sid", 0, 100, {16, 17, 17, 16, 17, 17}},   // NTSC frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tune) + " song " + std::to_string(c.song) + " speed " + std::to_string(c.speed));
        TuneOptions options = options_for(c.tune);
        options.song = c.song;
        options.speed = c.speed;
        EXPECT_EQ(deltas_of(dump(options, 6)), c.deltas);
    }
}

// A tune whose init sets the CIA 1 timer latch for rate Hz and whose speed
// bit says to follow it; the play routine writes the volume every call.
PsidBuilder timer_tune(uint16_t latch) {
    PsidBuilder tune;
    tune.speed = 1;
    tune.at(0x1000, {
        0xA9, static_cast<uint8_t>(latch),       // LDA #<latch
        0x8D, 0x04, 0xDC,                        // STA $DC04
        0xA9, static_cast<uint8_t>(latch >> 8),  // LDA #>latch
        0x8D, 0x05, 0xDC,                        // STA $DC05
        0x60,                                    // RTS
        0xA9, 0x0F,                              // $100B: LDA #$0F
        0x8D, 0x18, 0xD4,                        // STA $D418
        0x60,                                    // RTS
    });
    tune.play_address = 0x100B;
    return tune;
}

TEST(Dump, EverySecondOfTheStreamHoldsTheRatesBuffers) {
    // After k buffers the stream has moved on by the whole milliseconds of k
    // periods of latch + 1 cycles of the PAL clock, so a second holds the
    // machine's rate x speed / 100 buffers, within one.
    struct Case { int hz; uint16_t latch; };  // hz: about
    const Case cases[] = {{50, 20000}, {60, 16666}, {101, 9900}, {203, 4926}, {1000, 1000}};
    for (const Case& c : cases) {
        std::string path = timer_tune(c.latch).write("timer.sid");
        for (int speed : {20, 37, 100, 150, 200}) {
            SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << speed << " %");
            TuneOptions options;
            options.tune = path;
            options.speed = speed;
            const int64_t d = int64_t{c.hz} * speed;
            const int64_t period_numerator = (int64_t{c.latch} + 1) * 100000;
            const int64_t period_denominator = int64_t{985'248} * speed;
            std::vector<uint32_t> deltas = deltas_of(dump(options, static_cast<long>(2 * d / 100 + 2)));
            int64_t elapsed = 0;
            for (size_t k = 0; k < deltas.size(); ++k) {
                elapsed += deltas[k];
                ASSERT_EQ(elapsed, static_cast<int64_t>(k + 1) * period_numerator / period_denominator)
                    << "after " << k + 1 << " buffers";
            }
        }
    }
}

TEST(Dump, AMinuteOfStreamHoldsTheMachinesFrames) {
    // By hand in cycles: 60 s hold 60 x 985,248 / 19,656 = 3,007.47 PAL
    // frames, 60 x 1,022,727 / 17,095 = 3,589.57 NTSC frames and
    // 60 x 985,248 / 19,705 = 2,999.99 periods of latch 19,704 (whose
    // 3,000th ends at 60,000.12 ms, in tick 60,000): the buffers that end
    // within the minute's 60,000 ticks.
    struct Case { const char* what; std::string path; long ending_in_a_minute; };
    const Case cases[] = {
        {"PAL frame", tune("melody.sid"), 3'007},
        {"NTSC frame", tune("melody_ntsc.sid"), 3'589},
        {"timer latch 19,704", timer_tune(19'704).write("minute.sid"), 3'000},
    };
    for (const Case& c : cases) {
        TuneOptions options;
        options.tune = c.path;
        int64_t elapsed = 0;
        long ended = 0;
        for (uint32_t delta : deltas_of(dump(options, 3'700))) {
            elapsed += delta;
            if (elapsed <= 60'000) ++ended;
        }
        EXPECT_EQ(ended, c.ending_in_a_minute) << c.what;
    }
}

TEST(Dump, AnInterruptTunesNewLatchChangesTheDeltaFromTheNextBuffer) {
    // irq_vector.sid runs on the machine. Its frames, at the machine times
    // `steps` prints: the first at cycle 16,549 (the start latch's underflow
    // at 16,422, then the handler), then 10,003, 10,001, 10,001, 10,000,
    // 10,000, 10,004 and 10,012 cycles apart (latch 10,000: 10,001 and the
    // few cycles an interrupt waits for the instruction under way); the
    // eighth handler sets 20,000, so after one more gap of 9,988 a video
    // frame (19,656) passes without a frame, and the next follows 346 cycles
    // on. The first two buffers take the first gap, each later one its
    // frame's gap; buffer k ends at floor(cycles x 1000 / 985,248) ms: 16,
    // 33, 50, 60, 70, 80, 90, 101, 111, 121, 131, 151, 151.
    std::vector<std::string> lines = dump(options_for("irq_vector.sid"), 13);
    std::vector<uint32_t> deltas = deltas_of(lines);
    EXPECT_EQ(deltas, (std::vector<uint32_t>{16, 17, 17, 10, 10, 10, 10, 11, 10, 10, 10, 20, 0}));
    EXPECT_EQ(lines[11], "20") << "the video frame without a frame is an empty buffer";
}

TEST(Dump, ASecondSidsStoresLeaveTheFirstSidsFramesAlone) {
    // two_sids.sid stores into its second chip at $D420 every call; on a
    // one-chip machine that is a mirror of the first. Its stream is that of
    // the same tune without those stores.
    std::vector<std::string> two = dump(options_for("two_sids.sid"), 300);
    EXPECT_EQ(two, dump(options_for("two_sids_first_only.sid"), 300));
    EXPECT_EQ(two[3], "20 F0 2D 4E 03 00 00 02 01 00 00 00 34 08 41 F7") << "play 1: C3 on voice 1";
}

TEST(Dump, FilterAndVoiceOptionsShapeTheFrames) {
    TuneOptions options = options_for("melody.sid");
    options.filter = 50;
    EXPECT_EQ(dump(options, 1)[0], "19 " + reset_at_filter_50 + " " + melody_name);

    options = options_for("melody.sid");
    options.voices = "011";
    std::vector<std::string> lines = dump(options, 4);
    // Voice 1 muted: its registers are left out and its frequency sent as 0.
    EXPECT_EQ(lines[2], "20 F0 2D 4E 03 00 00 01 00 00 00 00 00 00 0F F7");  // init: volume only
    EXPECT_EQ(lines[3], "20 F0 2D 4E 03 00 00 00 00 00 00 00 00 00 F7");     // play 1: frequency 0
}

TEST(Dump, APlayRoutineThatNeverReturnsEndsTheDumpWithTheMuteFrames) {
    Output o = capture([](std::FILE* out, std::FILE* err) {
        return run_dump(DumpOptions{options_for("hang.sid"), 18}, out, err);
    });
    EXPECT_EQ(o.exit_code, EXIT_PLAYBACK_STOPPED);
    // Thirteen PAL frames of 19.950 ms: 259.35 ms, counted in whole ticks.
    EXPECT_EQ(o.err, "zarvel-cli: the play routine of " + tune("hang.sid") + " did not return at 0.259 s: playback stopped\n");
    std::vector<std::string> lines = lines_of(o.out);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[13], "20 F0 2D 4E 00 00 00 02 00 00 00 00 10 F7") << "play 11: 4=10";
    // Play 13 is abandoned in the callback that queued buffer 14; its write
    // (4=10) is never sent, and the mute frames are queued at once.
    EXPECT_EQ(lines[14], "20 " + mute + " " + mute);
}

TEST(Dump, AStopIsTimedAsTheStreamTimesItAndStepsAgrees) {
    // A tune that installs its own handler, on the machine: latch 10,000 from
    // the init, the fourth handler sets 20,000 and the seventh jams the CPU.
    // Its frames, at the machine times `steps` prints: cycle 16,514 (the
    // start latch's underflow, 16,422, then the handler), then 10,001,
    // 10,001, 10,012 and 9,992 cycles apart; a video frame (19,656) without
    // one; 344 cycles on the sixth handler's; another empty video frame, and
    // the jam. The first two buffers take the first gap, each later one its
    // own: the buffers end at floor(cycles x 1000 / 985,248) ms. The jam is
    // found two steps after the frame that buffer 9 holds, as play calls are
    // (their frame goes out in the buffer after), and is timed like the
    // eighth call: at buffer 8's end, cycle 109,204, 110.84 ms, tick 110;
    // buffer 10 carries the mute frames.
    PsidBuilder tune;
    tune.play_address = 0;
    tune.at(0x1000, {
        0xA9, 0x20, 0x8D, 0x14, 0x03,  // LDA #$20 : STA $0314
        0xA9, 0x10, 0x8D, 0x15, 0x03,  // LDA #$10 : STA $0315   handler at $1020
        0xA9, 0x10, 0x8D, 0x04, 0xDC,  // LDA #$10 : STA $DC04
        0xA9, 0x27, 0x8D, 0x05, 0xDC,  // LDA #$27 : STA $DC05   latch 10,000: 100 Hz
        0x60,                          // RTS
    });
    tune.at(0x1020, {
        0xEE, 0x00, 0x11,  // INC $1100
        0xAD, 0x00, 0x11,  // LDA $1100
        0x8D, 0x00, 0xD4,  // STA $D400   a frame from every handler
        0xC9, 0x04,        // CMP #4
        0xD0, 0x0A,        // BNE +10
        0xA9, 0x20,        // LDA #$20
        0x8D, 0x04, 0xDC,  // STA $DC04
        0xA9, 0x4E,        // LDA #$4E
        0x8D, 0x05, 0xDC,  // STA $DC05   latch 20,000: 50 Hz
        0xC9, 0x07,        // CMP #7
        0xD0, 0x01,        // BNE +1
        0x02,              // JAM        the seventh handler stops the CPU
        0x4C, 0x31, 0xEA,  // JMP $EA31
    });
    std::string path = tune.write("slows_then_stops.sid");
    const std::string stop = "zarvel-cli: the play routine of " + path + " did not return at 0.110 s: playback stopped\n";

    TuneOptions options;
    options.tune = path;
    Output dumped = capture([&](std::FILE* out, std::FILE* err) { return run_dump({options, 100}, out, err); });
    EXPECT_EQ(dumped.exit_code, EXIT_PLAYBACK_STOPPED);
    EXPECT_EQ(dumped.err, stop);
    EXPECT_EQ(deltas_of(lines_of(dumped.out)), (std::vector<uint32_t>{16, 17, 17, 10, 10, 10, 10, 20, 1, 20}));

    Output stepped = capture([&](std::FILE* out, std::FILE* err) { return run_steps({{path, 0}, 20}, out, err); });
    EXPECT_EQ(stepped.exit_code, EXIT_PLAYBACK_STOPPED);
    EXPECT_EQ(stepped.err, stop) << stepped.out << dumped.out;
}

TEST(Dump, PrintsExactlyTheBuffersAskedForAndTheSameEveryTime) {
    Output first;
    EXPECT_EQ(dump(options_for("multisong.sid"), 0).size(), 0u);
    std::vector<std::string> lines = dump(options_for("multisong.sid"), 500, &first);
    EXPECT_EQ(lines.size(), 500u);
    EXPECT_EQ(first.err, "");
    Output second;
    dump(options_for("multisong.sid"), 500, &second);
    EXPECT_EQ(first.out, second.out);
}

// ---- render, read back

struct SmfEvent {
    uint64_t tick;  // from the start of the track
    Bytes bytes;    // a SysEx event as the message (F0 and what followed it); a meta event as FF type data
};

struct SmfFile {
    int format = -1;
    int tracks = -1;
    int division = -1;
    std::vector<SmfEvent> events;
    bool ended = false;  // an end-of-track event closed the only track, at its end
};

uint32_t read_variable_length(const Bytes& data, size_t& at) {
    uint32_t value = 0;
    for (int i = 0; i < 4 && at < data.size(); ++i) {
        uint8_t byte = data[at++];
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return value;
    }
    ADD_FAILURE() << "variable-length quantity too long at " << at;
    return value;
}

uint32_t read_u32(const Bytes& data, size_t at) {
    return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
}

SmfFile read_smf(const Bytes& data) {
    SmfFile smf;
    if (data.size() < 22 || std::string(data.begin(), data.begin() + 4) != "MThd" || read_u32(data, 4) != 6) {
        ADD_FAILURE() << "no header chunk";
        return smf;
    }
    smf.format = data[8] << 8 | data[9];
    smf.tracks = data[10] << 8 | data[11];
    smf.division = data[12] << 8 | data[13];
    if (std::string(data.begin() + 14, data.begin() + 18) != "MTrk") {
        ADD_FAILURE() << "no track chunk";
        return smf;
    }
    size_t end = 22 + read_u32(data, 18);
    EXPECT_EQ(end, data.size()) << "the track chunk's length covers the rest of the file";
    size_t at = 22;
    uint64_t tick = 0;
    while (at < end && !smf.ended) {
        tick += read_variable_length(data, at);
        uint8_t status = data[at++];
        SmfEvent event{tick, {status}};
        if (status == 0xF0) {
            uint32_t length = read_variable_length(data, at);
            event.bytes.insert(event.bytes.end(), data.begin() + at, data.begin() + at + length);
            at += length;
        } else if (status == 0xFF) {
            uint8_t type = data[at++];
            uint32_t length = read_variable_length(data, at);
            event.bytes.push_back(type);
            event.bytes.insert(event.bytes.end(), data.begin() + at, data.begin() + at + length);
            at += length;
            smf.ended = type == 0x2F && at == end;
        } else {
            ADD_FAILURE() << "unexpected status " << std::hex << int(status);
            return smf;
        }
        smf.events.push_back(event);
    }
    return smf;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes hex_bytes(std::istringstream& in) {
    Bytes out;
    std::string hex;
    while (in >> hex) out.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    return out;
}

// A dump line as its delta time and bytes.
struct DumpBuffer {
    uint32_t delta;
    Bytes bytes;
};
std::vector<DumpBuffer> dump_buffers(const TuneOptions& options, long count) {
    std::vector<DumpBuffer> out;
    for (const std::string& line : dump(options, count)) {
        std::istringstream in(line);
        DumpBuffer buffer;
        in >> buffer.delta;
        buffer.bytes = hex_bytes(in);
        out.push_back(buffer);
    }
    return out;
}

// The messages of dumped buffers, each with its time from the start.
std::vector<SmfEvent> timed_messages(const std::vector<DumpBuffer>& buffers, uint64_t* end_tick = nullptr) {
    std::vector<SmfEvent> out;
    uint64_t tick = 0;
    for (const DumpBuffer& buffer : buffers) {
        tick += buffer.delta;
        size_t start = 0;
        for (size_t i = 0; i < buffer.bytes.size(); ++i) {
            if (buffer.bytes[i] == 0xF0) start = i;
            if (buffer.bytes[i] == 0xF7)
                out.push_back({tick, Bytes(buffer.bytes.begin() + start, buffer.bytes.begin() + i + 1)});
        }
    }
    if (end_tick) *end_tick = tick;
    return out;
}

Output render(const TuneOptions& options, const std::string& file, double seconds) {
    RenderOptions render_options{options, file, seconds};
    return capture([&](std::FILE* out, std::FILE* err) { return run_render(render_options, out, err); });
}

class Render : public ::testing::Test {
protected:
    std::string folder = temp_folder();
};

TEST(Dump, ATuneDrivingItselfSendsAFrameAtEachHandlersEndAtItsMachineTime) {
    // rsid_raster4.sid interrupts on four raster lines a PAL frame. Buffer 1
    // is the start, buffer 2 the one the start left empty, buffer 3 the
    // first handler's frame (line $10 of video frame 0); frame 2,004 after
    // it is line $10 of video frame 501. The deltas after the first frame add
    // up to 501 x 19,656 = 9,847,656 cycles of 985,248 Hz, 9,995.07 ms
    // (within the 1 ms carried): 200.5 frames a second.
    Output o;
    std::vector<uint32_t> deltas = deltas_of(dump(options_for("rsid_raster4.sid"), 2007, &o));
    ASSERT_EQ(deltas.size(), 2007u);
    uint64_t ms = 0;
    for (size_t i = 3; i < deltas.size(); ++i) ms += deltas[i];
    // Each frame's delay is its own gap: lines $10, $58, $A0, $E8, $10 are
    // 4,536, 4,536, 4,536 and 6,048 cycles apart (4.6, 4.6, 4.6, 6.1 ms).
    EXPECT_EQ(std::vector<uint32_t>(deltas.begin() + 3, deltas.begin() + 7), (std::vector<uint32_t>{4, 5, 5, 6}));
    EXPECT_NEAR(static_cast<double>(ms), 9995.07, 1.0);
    EXPECT_EQ(o.err, "");

    // 8,010 volume stores a second: the notice, once.
    dump(options_for("rsid_samples.sid"), 200, &o);
    EXPECT_EQ(o.err, std::string("zarvel-cli: ") + samples_notice + "\n");
}

TEST_F(Render, AMidiFileHoldsEveryMessageAtTheStreamsTime) {
    for (const char* name : {"melody.sid", "demo.sid", "irq_vector.sid"}) {
        SCOPED_TRACE(name);
        std::string path = folder + "/" + name + ".mid";
        Output o = render(options_for(name), path, 3);
        ASSERT_EQ(o.exit_code, EXIT_OK) << o.err;
        EXPECT_EQ(o.err, "");
        SmfFile smf = read_smf(read_file(path));
        EXPECT_EQ(smf.format, 0);
        EXPECT_EQ(smf.tracks, 1);
        EXPECT_EQ(smf.division, 500);
        ASSERT_GE(smf.events.size(), 2u);
        EXPECT_EQ(smf.events.front().tick, 0u);
        EXPECT_EQ(smf.events.front().bytes, (Bytes{0xFF, 0x51, 0x07, 0xA1, 0x20})) << "500,000 us per quarter";
        EXPECT_TRUE(smf.ended);

        // Every buffer whose messages play before 3,000 ticks, at the end of
        // its delta time (by hand; whole 20 ms periods once): melody and demo
        // 150 PAL frames of 19.950 ms (the 150th ends at 2,992.5, the 151st
        // at 3,012.5). irq_vector runs on the machine: three buffers of its
        // first frame's 16,549 cycles, eight handlers 10,001 apart to cycle
        // 96,558, then two buffers per 20,001 cycles (an empty video frame
        // and the frame after it); 3,000 ms is 2,955,744 cycles, so 141 such
        // pairs: 293 buffers, the last ending at cycle 2,949,797 (2,993.96 ms).
        size_t buffers = std::string(name) == "irq_vector.sid" ? 293 : 150;
        uint64_t end_tick;
        std::vector<SmfEvent> expected = timed_messages(dump_buffers(options_for(name), buffers), &end_tick);
        std::vector<SmfEvent> sysex(smf.events.begin() + 1, smf.events.end() - 1);
        ASSERT_EQ(sysex.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(sysex[i].tick, expected[i].tick) << "message " << i;
            EXPECT_EQ(sysex[i].bytes, expected[i].bytes) << "message " << i;
        }
        EXPECT_LT(end_tick, 3000u);
        EXPECT_EQ(smf.events.back().tick, 3000u) << "the end of the track lies at the render's length";
    }
}

TEST_F(Render, ASysexFileIsTheDumpsBytesBackToBack) {
    TuneOptions options = options_for("multisong.sid");
    options.song = 3;
    options.speed = 120;
    options.voices = "110";
    std::string path = folder + "/multisong.syx";
    ASSERT_EQ(render(options, path, 2).exit_code, EXIT_OK);
    // Song 3, a PAL frame, at 120 %: a period of 19,656 x 100000 / (985,248
    // x 120) = 16.625 ticks (by hand), 120 buffers ending inside 2 s, the
    // last at 1,995.0, the next past the render at 2,011.7.
    Bytes expected;
    uint64_t ticks = 0;
    for (const DumpBuffer& buffer : dump_buffers(options, 120)) {
        EXPECT_TRUE(buffer.delta == 16u || buffer.delta == 17u) << buffer.delta;
        ticks += buffer.delta;
        expected.insert(expected.end(), buffer.bytes.begin(), buffer.bytes.end());
    }
    EXPECT_EQ(ticks, 1995u);
    EXPECT_EQ(read_file(path), expected);
}

// A tune whose init sets the timer latch to 1000 and whose speed bit says to
// follow it: a call every 1,001 cycles, 1.016 ms. It writes the volume each
// call, so no frame is empty.
PsidBuilder thousand_hertz_tune() {
    PsidBuilder tune;
    tune.name = "Fast";
    tune.speed = 1;
    tune.play_address = 0x1010;
    tune.at(0x1000, {
        0xA9, 0xE8, 0x8D, 0x04, 0xDC,  // LDA #$E8 : STA $DC04
        0xA9, 0x03, 0x8D, 0x05, 0xDC,  // LDA #$03 : STA $DC05
        0x60,                          // RTS
    });
    tune.at(0x1010, {
        0xA9, 0x0F,        // LDA #$0F
        0x8D, 0x18, 0xD4,  // STA $D418
        0x60,              // RTS
    });
    return tune;
}

TEST_F(Render, APeriodOfZeroTicksEndsAtTheBufferLimitInsteadOfRunningForEver) {
    TuneOptions options;
    options.tune = thousand_hertz_tune().write("fast.sid");
    options.speed = 200;  // 0.508 ms a buffer: 0 and 1 ticks by turns
    std::string path = folder + "/fast.syx";
    Output o = render(options, path, 1);
    EXPECT_EQ(o.exit_code, EXIT_OK);
    uint64_t limit = render_buffer_limit(1);
    EXPECT_EQ(limit, 1064u);
    EXPECT_EQ(o.err, "zarvel-cli: the play period is too short to fill 1.000 s: stopped after 1064 buffers\n");
    // The reset frame and the name "Fast" (22 + 8 bytes); two empty buffers
    // (the init writes nothing to the SID); then a 13-byte frame a buffer.
    Bytes file = read_file(path);
    EXPECT_EQ(file.size(), 22u + 8u + (limit - 3) * 13u);

    options.speed = 100;  // 1.016 ms: 984 buffers fill the second, no limit reached
    o = render(options, folder + "/fast.mid", 1);
    EXPECT_EQ(o.exit_code, EXIT_OK);
    EXPECT_EQ(o.err, "");
    SmfFile smf = read_smf(read_file(folder + "/fast.mid"));
    ASSERT_TRUE(smf.ended);
    EXPECT_EQ(smf.events.back().tick, 1000u);
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs what in a child process; its exit status as waitpid reports it.
template <class What>
int in_child(What what) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(what());
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(Render, TheTargetIsReplacedWholeOrNotAtAll) {
    const std::string target = folder + "/out.mid";
    const Bytes bytes(4000, 0x55);
    std::string why;
    // A write cut short by the file size limit, as on a full disk: the
    // temporary file goes, the target (none, then an old one) stays as it was.
    auto cut_short = [&] {
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        ReplacementFile file(target);
        if (!file.create(why)) return 2;
        return !file.commit(bytes.data(), bytes.size(), why) && why == "File too large" ? 0 : 1;
    };
    int status = in_child(cut_short);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(files_in(folder), std::vector<std::string>{});

    { std::ofstream(target) << "old"; }
    chmod(target.c_str(), 0640);
    status = in_child(cut_short);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(files_in(folder), std::vector<std::string>{"out.mid"});
    EXPECT_EQ(contents(target), "old");

    // A signal while the temporary file exists removes it, then ends the
    // program as the signal would have.
    status = in_child([&] {
        ReplacementFile file(target);
        if (!file.create(why)) return 2;
        raise(SIGTERM);
        return 3;
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(files_in(folder), std::vector<std::string>{"out.mid"});
    EXPECT_EQ(contents(target), "old");

    // Complete: the new bytes under the old file's permissions.
    ReplacementFile file(target);
    ASSERT_TRUE(file.create(why)) << why;
    ASSERT_TRUE(file.commit(bytes.data(), bytes.size(), why)) << why;
    EXPECT_EQ(files_in(folder), std::vector<std::string>{"out.mid"});
    EXPECT_EQ(contents(target), std::string(bytes.begin(), bytes.end()));
    struct stat status_after {};
    stat(target.c_str(), &status_after);
    EXPECT_EQ(status_after.st_mode & 0777, 0640u);
}

TEST_F(Render, AFileThatCannotBeWrittenIsADeviceFailure) {
    Output o = render(options_for("melody.sid"), folder + "/no such folder/out.mid", 1);
    EXPECT_EQ(o.exit_code, EXIT_DEVICE_FAILED);
    EXPECT_EQ(o.err, "zarvel-cli: " + folder + "/no such folder/out.mid: cannot write: No such file or directory\n");
}

// A folder of every song, rendered by two worker processes: one file per
// song, each ending at its length in the database (tune time, so twice as
// long at 50 % speed), the unknown one at --seconds' default.
TEST_F(Render, AFolderOfEverySongLastsAsTheDatabaseSays) {
    SmallCollection collection;
    collection.add("multisong.sid", "M/Multi.sid", "0:01 0:00.5 0:00 0:02.25");
    collection.add("melody.sid", "M/Deeper/Melody.sid", "0:01.5");
    std::string out_folder = folder + "/all";
    RenderOptions options;
    options.tunes = {(collection.root() / "MUSICIANS" / "M").string()};
    options.output = out_folder;
    options.all_songs = true;
    options.jobs = 2;
    options.seconds = 0.75;
    options.tune.speed = 50;
    Output o = capture([&](std::FILE* out, std::FILE* err) { return run_render(options, out, err); });
    ASSERT_EQ(o.exit_code, EXIT_OK) << o.err;
    EXPECT_EQ(o.err, "");
    struct Expected {
        const char* file;
        uint64_t end_tick;
        uint64_t period;
    };
    // A PAL frame at 50 % is 39.90 ticks (19,656 cycles of 985,248 Hz, by
    // hand), the start latch's period 33.34. Melody's last frame before the
    // end is in buffer 74 (ending at 2,952.7); buffer 75, ending at 2,992.6,
    // carries a play call that wrote nothing: two periods.
    for (Expected e : {Expected{"Multi-1.mid", 2000, 34}, Expected{"Multi-2.mid", 1000, 40},
                       Expected{"Multi-3.mid", 750, 40}, Expected{"Multi-4.mid", 4500, 34},
                       Expected{"Deeper/Melody-1.mid", 3000, 80}}) {
        SCOPED_TRACE(e.file);
        std::string path = out_folder + "/" + e.file;
        SmfFile smf = read_smf(read_file(path));
        ASSERT_TRUE(smf.ended);
        EXPECT_EQ(smf.events.back().tick, e.end_tick);
        uint64_t last_message = smf.events[smf.events.size() - 2].tick;
        EXPECT_LT(last_message, e.end_tick);
        EXPECT_GE(last_message + e.period, e.end_tick);
        EXPECT_NE(o.out.find(path + ": "), std::string::npos) << o.out << o.err;
    }
    EXPECT_NE(o.out.find("wrote 5 of 5 songs to " + out_folder + ": 0:11 of stream in "), std::string::npos) << o.out;

    // An explicit --seconds is every song's length.
    options.seconds_given = true;
    options.all_songs = false;
    options.jobs = 1;
    options.tune.speed = 100;
    ASSERT_EQ(capture([&](std::FILE* out, std::FILE* err) { return run_render(options, out, err); }).exit_code, EXIT_OK);
    EXPECT_EQ(read_smf(read_file(out_folder + "/Multi.mid")).events.back().tick, 750u);
}

}  // namespace
