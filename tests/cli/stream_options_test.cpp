// --extra-sids, --changes-only and the stream's byte rates, on our own tunes
// through dump: what a receiver decodes from each stream, chip by chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dump_command.h"
#include "cli/exit_codes.h"
#include "cli/midi_ports.h"
#include "cli/port_per_sid.h"
#include "headless/headless_player.h"
#include "headless/stream_budget.h"
#include "midi/frame_decoder.h"
#include "platform/sysex_split.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string tune(const std::string& name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

// One dumped buffer: its messages, each F0 .. F7.
struct Buffer {
    std::vector<Bytes> messages;
    size_t bytes = 0;
};

std::vector<Buffer> dump(TuneOptions options, long buffers) {
    DumpOptions dump_options{options, buffers};
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    std::FILE* err = std::tmpfile();
    int code = run_dump(dump_options, out, err);
    std::fclose(out);
    std::fclose(err);
    std::istringstream lines(std::string(text, size));
    std::free(text);
    // hang.sid's play routine stops it: the stream up to there still counts.
    EXPECT_TRUE(code == EXIT_OK || code == EXIT_PLAYBACK_STOPPED) << options.tune << ": " << code;
    std::vector<Buffer> result;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word;
        words >> word;  // the delta time
        Buffer buffer;
        while (words >> word) {
            auto byte = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
            if (byte == 0xF0) buffer.messages.emplace_back();
            buffer.messages.back().push_back(byte);
            ++buffer.bytes;
        }
        result.push_back(buffer);
    }
    return result;
}

TuneOptions options_for(const std::string& name, const char* extra_sids = "off", bool changes_only = false) {
    TuneOptions options;
    options.tune = tune(name);
    options.extra_sids = extra_sids;
    options.changes_only = changes_only;
    return options;
}

using Chips = SidRegisters[max_sids];

// Every chip's registers after each buffer, as a receiver for three chips
// decodes the stream; text messages pass it by.
std::vector<std::vector<Bytes>> decoded(const std::vector<Buffer>& stream) {
    Chips chips{};
    std::vector<std::vector<Bytes>> after;
    for (const Buffer& buffer : stream) {
        for (const Bytes& m : buffer.messages)
            if (m[2] != 0x4F) {
                EXPECT_GE(apply_chip_frame(m.data(), m.size(), chips), 0);
            }
        std::vector<Bytes> state;
        for (const SidRegisters& chip : chips) state.emplace_back(chip.value, chip.value + 25);
        after.push_back(state);
    }
    return after;
}

std::vector<Bytes> messages_of(const std::vector<Buffer>& stream, uint8_t sub_command) {
    std::vector<Bytes> found;
    for (const Buffer& buffer : stream)
        for (const Bytes& m : buffer.messages)
            if (m[2] == sub_command) found.push_back(m);
    return found;
}

}  // namespace

TEST(ExtraSids, FramesSendEachChipsStoresUnderItsOwnSubCommand) {
    // Buffer 3 + k carries play call k + 1 (buffer 1: reset and name; 2:
    // empty; 3: the init). The stores of call k, from the tunes' sources:
    // two_sids: chip 2 $D420=k, $D421=$30, $D424=$21, $D438=$2F; three_sids:
    // chip n FREQ_LO = k + $40 (n - 1), FREQ_HI = n, control gate open on even k.
    struct Case {
        const char* tune;
        int chips;
    };
    for (const Case c : {Case{"two_sids.sid", 2}, Case{"three_sids.sid", 3}}) {
        SCOPED_TRACE(c.tune);
        std::vector<Buffer> off = dump(options_for(c.tune), 40);
        std::vector<Buffer> frames = dump(options_for(c.tune, "frames"), 40);
        EXPECT_EQ(messages_of(frames, 0x4E), messages_of(off, 0x4E)) << "the first chip's frames are untouched";
        EXPECT_TRUE(messages_of(off, 0x50).empty());
        EXPECT_EQ(messages_of(frames, 0x51).empty(), c.chips < 3);
        // The reset frame goes to every chip, in chip order, before the name.
        ASSERT_EQ(frames[0].messages.size(), static_cast<size_t>(c.chips) + 1);
        for (int chip = 0; chip < c.chips; ++chip)
            EXPECT_EQ(frames[0].messages[chip][2], shared_port_frame_message(chip));

        std::vector<std::vector<Bytes>> state = decoded(frames);
        const uint8_t waves[3] = {0x10, 0x20, 0x40};
        for (int k = 0; k < 30; ++k) {
            const std::vector<Bytes>& after = state[3 + k];
            if (c.chips == 2) {
                EXPECT_EQ((Bytes{after[1][0], after[1][1], after[1][4], after[1][24]}),
                          (Bytes{uint8_t(k), 0x30, 0x21, 0x2F})) << k;
            }
            for (int n = 0; n < 3 && c.chips == 3; ++n)
                EXPECT_EQ((Bytes{after[n][0], after[n][1], after[n][4]}),
                          (Bytes{uint8_t(k + 0x40 * n), uint8_t(n + 1), uint8_t(waves[n] | (k % 2 == 0))})) << k;
        }
    }
}

TEST(ChangesOnly, EveryTuneAndSongDecodesToTheSameStateAfterEveryBuffer) {
    // 30 s at 50 Hz of each song of every tune we have, with each chip sent.
    // Most of our tunes store only what changes, as their sources show;
    // multisong.sid rewrites its voice's registers every call and
    // register_copy.sid all 29 of them, as many real players do.
    constexpr long buffers = 1500;
    std::map<std::string, double> kept;  // bytes with changes only / bytes as sent
    for (const auto& entry : std::filesystem::directory_iterator(ZARVEL_TUNES_DIR)) {
        std::string name = entry.path().filename().string();
        // Refused: mus.sid (MUS data) and rsid_basic.sid (a BASIC program).
        if (entry.path().extension() != ".sid" || name == "mus.sid" || name == "rsid_basic.sid") continue;
        ASSERT_EQ(load_psid(entry.path().c_str()), LOAD_OK) << name;
        int songs = tune_info.songs;
        size_t sent = 0, changes = 0, starts = 0;
        for (int song = 1; song <= songs; ++song) {
            SCOPED_TRACE(name + " song " + std::to_string(song));
            TuneOptions full = options_for(name, "frames");
            TuneOptions only = options_for(name, "frames", true);
            full.song = only.song = song;
            std::vector<Buffer> a = dump(full, buffers);
            std::vector<Buffer> b = dump(only, buffers);
            ASSERT_EQ(a.size(), b.size());
            std::vector<std::vector<Bytes>> state_a = decoded(a), state_b = decoded(b);
            for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(state_a[i], state_b[i]) << "after buffer " << i + 1;
            for (size_t i = 0; i < a.size(); ++i) sent += a[i].bytes, changes += b[i].bytes;
            starts += a[0].messages.size() - 1;  // a reset frame for each chip
        }
        // At worst the start's whole state: 25 registers where the reset frame has 10.
        EXPECT_LE(changes, sent + 15 * starts) << name;
        kept[name] = static_cast<double>(changes) / static_cast<double>(sent);
    }
    ASSERT_GE(kept.size(), 13u);
    EXPECT_LE(kept["multisong.sid"], 0.70);
    EXPECT_LE(kept["register_copy.sid"], 0.01);
}

TEST(ChangesOnly, ASongChangeAndAResumeSendTheWholeStateFirst) {
    // The controller's starts and resumes: the reset frame after a song change
    // and the restore frame after a pause carry all 25 registers (12 + 25 bytes).
    HeadlessPlayer player;
    ASSERT_EQ(player.load(tune("multisong.sid")), LOAD_OK);
    player_state.changes_only = 1;
    player.choose_song(1);
    player.play();
    player.position_callbacks(10);
    player.choose_song(2);  // a song change while playing starts it
    player.position_callbacks(10);
    player.play();  // pause
    player.position_callbacks(3);
    player.play();  // resume
    player.position_callbacks(3);
    size_t whole = 0;
    for (const HeadlessPlayer::Buffer& buffer : player.buffers())
        stream_engine::for_each_sysex(buffer.bytes.data(), buffer.bytes.size(),
                                      [&whole](const uint8_t* m, size_t n) { whole += m[2] == 0x4E && n == 37; });
    EXPECT_EQ(whole, 3u) << "the first start, the song change and the resume";
}

TEST(ReadOnlyRegisters, ATuneThatCopiesIntoThemSendsNoSecondControlWrite) {
    // register_copy.sid stores $FF into 25..27 after the control registers
    // every call; on the chip those stores do nothing, so voice 1's control
    // stays $11 and the other voices' 0.
    std::vector<Buffer> stream = dump(options_for("register_copy.sid"), 20);
    for (const Bytes& frame : messages_of(stream, 0x4E)) EXPECT_EQ(frame[6] & 0x70, 0) << "positions 25..27";
    std::vector<std::vector<Bytes>> state = decoded(stream);
    for (size_t i = 3; i < state.size(); ++i) {
        EXPECT_EQ(state[i][0][4], 0x11) << i;
        EXPECT_EQ(state[i][0][11], 0);
        EXPECT_EQ(state[i][0][18], 0);
    }
}

TEST(StreamBudget, MelodysFirstMinuteAgainstAHandCount) {
    // melody.sid (tests/tunes/README.md), PAL: buffer 1 holds the reset
    // frame (22 bytes) and the name (17), buffer 2 nothing, buffer 3 the
    // init's 5 stores (17); from buffer 4 on, call k's frame: 15 bytes at
    // k mod 8 = 0 (3 stores), 13 at k mod 8 = 6, none otherwise. Buffers
    // are a PAL frame apart, 19,656 cycles at 985,248 Hz = 19.950 ms, so
    // buffer n (from 0) plays at n x 19.950 ms: n = 0..3007 within 60 s
    // (3,007: 59.991 s, 3,008: 60.011 s), carrying calls k = 0..3004: 376
    // and 375 frames. Mean (39 + 17 + 376 x 15 + 375 x 13) / 60 = 10,571 / 60.
    // Peak: the first 51 buffers (n = 50 at 997.5 ms, calls 0..47),
    // 39 + 17 + 6 x 15 + 6 x 13 = 224 bytes.
    StreamBudget budget;
    ASSERT_TRUE(measure_stream_budget(tune("melody.sid"), 1, EXTRA_SIDS_OFF, budget));
    EXPECT_DOUBLE_EQ(budget.sent.mean, 10571.0 / 60);
    EXPECT_DOUBLE_EQ(budget.sent.peak, 224);

    // The window slides: three buffers of 10, 20 and 40 bytes at 0, 0.6 and
    // 1.2 s hold at most 60 bytes within 1 s (the last two).
    std::vector<HeadlessPlayer::Buffer> buffers = {
        {20, 0, Bytes(10)}, {20, 600000, Bytes(20)}, {20, 1200000, Bytes(40)}};
    StreamRate rate = stream_rate(buffers, 2000000, 1000000);
    EXPECT_DOUBLE_EQ(rate.mean, 35);
    EXPECT_DOUBLE_EQ(rate.peak, 60);
}

TEST(DefaultPort, NeverTheLoopbackWhileAnotherPortExists) {
    // ALSA names its loopback client "Midi Through"; it echoes to programs,
    // not to a synthesizer.
    const struct {
        std::vector<std::string> names;
        int port;
    } cases[] = {
        {{"Midi Through Port-0", "USB SID board"}, 1},
        {{"USB SID board", "Midi Through Port-0"}, 0},
        {{"Midi Through Port-0"}, 0},  // nothing else to choose
        {{}, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(default_port(c.names), c.port);
}

TEST(PortPerSid, EachChipsFramesGoToItsPortAsFirstChipFramesInStep) {
    // One event as the player queues it with every chip sent: the three
    // chips' frames and the name. Port n gets chip n's frame with the
    // sub-command 0x4E, the text goes to every port, and all get the event's
    // delta time.
    auto ports = std::vector<std::shared_ptr<stream_engine::CaptureSink>>{
        std::make_shared<stream_engine::CaptureSink>(), std::make_shared<stream_engine::CaptureSink>(),
        std::make_shared<stream_engine::CaptureSink>()};
    PortPerSidSink sink({ports[0], ports[1], ports[2]});
    const Bytes frame_1 = {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x0F, 0xF7};
    const Bytes frame_2 = {0xF0, 0x2D, 0x50, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x1E, 0xF7};
    const Bytes frame_3 = {0xF0, 0x2D, 0x51, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x2D, 0xF7};
    const Bytes text = {0xF0, 0x2D, 0x4F, 'a', 0xF7};
    Bytes event;
    for (const Bytes* m : {&frame_1, &frame_2, &frame_3, &text}) event.insert(event.end(), m->begin(), m->end());
    sink.play(event.data(), static_cast<uint32_t>(event.size()), 20, 1000);
    sink.play(nullptr, 0, 17, 21000);  // an empty event keeps every port in step
    const uint8_t volumes[3] = {0x0F, 0x1E, 0x2D};
    for (int n = 0; n < 3; ++n) {
        std::vector<stream_engine::CaptureSink::Event> got = ports[n]->events();
        ASSERT_EQ(got.size(), 2u);
        Bytes want = {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x01, 0, 0, 0, 0, volumes[n], 0xF7};
        want.insert(want.end(), text.begin(), text.end());
        EXPECT_EQ(got[0].bytes, want) << "port " << n;
        EXPECT_EQ(got[0].delta_ticks, 20u);
        EXPECT_TRUE(got[1].bytes.empty());
        EXPECT_EQ(got[1].delta_ticks, 17u);
    }
}
