// Arbitrary sequences of the user's commands (Play/Pause, Stop, song change,
// speed, filter, voices, loads of good and bad tunes, Exit, time passing)
// against the real controller through the headless player, on the virtual
// clock. After every command the stream played so far and the controller's
// flags must satisfy what the synthesizer and the window rely on:
//
// - every byte on the stream is a whole, well-formed SysEx message;
// - a start's first buffer is the reset frame and the tune's name, and a
//   start never follows tune frames without the mute frames between them;
// - once muted, nothing but a start or a restore frame comes next;
// - flags hold 0 or 1; playing and silenced are never set together; a playing
//   player has a tune and an open stream;
// - after a worker pass no request is left, a paused player is not playing, a
//   playing one's button says "Pause", and the rate label shows
//   the rate at the speed setting, rounded (rate_label_number_hz);
// - Exit while playing has the mute frames queued before the window closes.
//
// Input: pairs of bytes, a command and its argument, up to max_commands, and
// only until max_events have played: at 1,000 Hz and 200 % speed the stream's
// delta time is 0, and the engine then plays up to 1,000 events per virtual
// millisecond. Such a stream must not hang anything, but a few virtual
// seconds of it would make one input take minutes under the sanitizers.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame_check.h"
#include "fuzz_input.h"
#include "headless/headless_player.h"
#include "midi/stream_transport.h"
#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/panel.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "psid_builder.h"

namespace {

constexpr int max_commands = 256;
constexpr size_t max_events = 20000;

// ---- The tunes a load command can choose from.

std::vector<std::string> tune_paths;
std::vector<std::string> tune_names;  // as the text message carries them

void add_tune(const PsidBuilder& tune, const std::string& file_name) {
    tune_paths.push_back(tune.write(file_name));
    std::string name;
    for (char c : tune.name.substr(0, 32)) name += static_cast<char>(c & 0x7F);
    tune_names.push_back(name);
}

PsidBuilder counting_tune() {
    PsidBuilder tune;
    tune.name = "Counter";
    tune.songs = 3;
    tune.play_address = 0x1020;
    tune.at(0x1000, {
        0xEE, 0x01, 0x11,  // INC $1101
        0xA9, 0x1F,        // LDA #$1F
        0x8D, 0x18, 0xD4,  // STA $D418
        0x60,              // RTS
    });
    tune.at(0x1020, {
        0xEE, 0x00, 0x11,  // INC $1100
        0xAD, 0x00, 0x11,  // LDA $1100
        0x8D, 0x00, 0xD4,  // STA $D400
        0x60,              // RTS
    });
    return tune;
}

// Every register, values with bit 7 set, each control register twice, and
// more stores than the log keeps: the largest frames. Its name fills all 32
// bytes with bit 7 set, the longest text message.
PsidBuilder wide_tune() {
    PsidBuilder tune;
    tune.name = std::string(32, '\xE9');
    tune.play_address = 0x1000;
    tune.at(0x1000, {
        0xA2, 0x00,        // LDX #$00
        0x8A,              // TXA
        0x09, 0x80,        // ORA #$80
        0x9D, 0x00, 0xD4,  // STA $D400,X
        0xE8,              // INX
        0xE0, 0xC8,        // CPX #200    (200 stores: the log keeps 126)
        0xD0, 0xF6,        // BNE -10
        0x60,              // RTS
    });
    return tune;
}

// Installs its own handler, so it runs on the machine: the init points $0314
// at it and sets the latch; the handler moves the latch every time, so the
// rate changes while playing, down to a few hundred cycles a frame.
PsidBuilder irq_tune() {
    PsidBuilder tune;
    tune.name = "Irq";
    tune.play_address = 0;
    tune.at(0x1000, {
        0xA9, 0x20,        // LDA #$20
        0x8D, 0x14, 0x03,  // STA $0314
        0xA9, 0x10,        // LDA #$10
        0x8D, 0x15, 0x03,  // STA $0315
        0xA9, 0x04,        // LDA #$04
        0x8D, 0x05, 0xDC,  // STA $DC05   latch $0400: 976 Hz
        0x60,              // RTS
    });
    tune.at(0x1020, {
        0xEE, 0x05, 0xDC,  // INC $DC05
        0xAD, 0x05, 0xDC,  // LDA $DC05
        0x8D, 0x18, 0xD4,  // STA $D418
        0x4C, 0x31, 0xEA,  // JMP $EA31   the system's interrupt exit
    });
    return tune;
}

PsidBuilder stuck_tune() {  // a play routine that never returns
    PsidBuilder tune = counting_tune();
    tune.name = "Stuck";
    tune.at(0x1020, {0x4C, 0x20, 0x10});  // JMP $1020
    return tune;
}

PsidBuilder mus_tune() {
    PsidBuilder tune = counting_tune();
    tune.name = "Mus";
    tune.flags = 1;
    return tune;
}

void write_tunes() {
    add_tune(counting_tune(), "counter.sid");
    add_tune(wide_tune(), "wide.sid");
    add_tune(irq_tune(), "irq.sid");
    add_tune(stuck_tune(), "stuck.sid");
    add_tune(mus_tune(), "mus.sid");  // refused: MUS data
    tune_paths.push_back(temp_folder() + "/missing.sid");
    tune_names.emplace_back();
    std::string not_psid = temp_folder() + "/rsid.sid";
    if (FILE* file = std::fopen(not_psid.c_str(), "wb")) {
        std::fputs("RSID", file);
        std::fclose(file);
    }
    tune_paths.push_back(not_psid);
    tune_names.emplace_back();
}

bool known_name(const uint8_t* text, size_t length) {
    std::string name(reinterpret_cast<const char*>(text), length);
    for (size_t i = 0; i < tune_paths.size(); ++i) {
        if (!tune_names[i].empty() && tune_names[i] == name) return true;
    }
    return false;
}

// ---- The stream as the synthesizer hears it.

// Register 24 alone, beside the frequency 0 that a switched-off voice sends in
// every frame: the mute and restore frames the controller builds.
bool only_volume(const Message& frame) {
    if (frame.kind != MessageKind::register_frame || !frame_has(frame, 21)) return false;
    for (int p = 0; p < 28; ++p) {
        if (p == 21 || !frame_has(frame, p)) continue;
        bool frequency = p == 0 || p == 1 || p == 6 || p == 7 || p == 12 || p == 13;
        if (!frequency || frame_value(frame, p) != 0) return false;
    }
    return true;
}
bool is_mute_frame(const Message& frame) { return only_volume(frame) && frame_value(frame, 21) == 0; }

// Volume 15, frequencies 0, cutoff, resonance and routing: ten registers on
// positions 0, 1, 6, 7, 12, 13, 18, 19, 20 and 21, whatever the settings.
bool is_reset_frame(const Message& frame) {
    static constexpr uint8_t mask[4] = {0x43, 0x61, 0x70, 0x01};
    if (frame.kind != MessageKind::register_frame || std::memcmp(frame.bytes + 3, mask, 4) != 0) return false;
    for (int p : {0, 1, 6, 7, 12, 13, 20}) {
        if (frame_value(frame, p) != 0) return false;
    }
    return frame_value(frame, 21) == 15;
}

class CheckingSink : public stream_engine::MidiSink {
public:
    void play(const uint8_t* bytes, uint32_t length, uint32_t, int64_t) override {
        ++events_;
        Message messages[stream_message_capacity / 4];
        size_t count = 0;
        for_each_message(bytes, length, [&](const Message& m) { messages[count++] = m; });

        // The mute frames are queued at once after they are encoded: when a
        // buffer holds them, they are its last two messages.
        bool muted = count >= 2 && is_mute_frame(messages[count - 1]) && is_mute_frame(messages[count - 2]);
        size_t before_mute = muted ? count - 2 : count;

        for (size_t i = 0; i < before_mute; ++i) {
            const Message& m = messages[i];
            if (m.kind == MessageKind::text) {
                // A start: reset frame and name, alone in the first buffer,
                // and never straight after the frames of a playback that
                // was not muted.
                FUZZ_CHECK(i == 1 && count == 2);
                FUZZ_CHECK(is_reset_frame(messages[0]));
                FUZZ_CHECK(known_name(m.bytes + 3, m.length - 4));
                FUZZ_CHECK(!sounding_);
                sounding_ = true;
            } else if (!sounding_ && !(i == 0 && count == 2 && messages[1].kind == MessageKind::text)) {
                // After the mute frames only a resume's restore frame may
                // bring the tune back.
                FUZZ_CHECK(only_volume(m));
                sounding_ = true;
            }
        }
        if (muted) sounding_ = false;
    }

    size_t events() const { return events_; }
    bool sounding() const { return sounding_; }

private:
    size_t events_ = 0;
    bool sounding_ = false;  // the tune's frames may come: started or resumed, not muted since
};

// ---- The window, as far as the controller writes to it. The Play button's
// text comes from the presses here and from the controller through the panel,
// as in the real window.

struct Window {
    std::string play_button = "Play";
    std::string rate_label = "50 Hz";
} window;

void install_window() {
    window = Window{};
    install_panel({[](void*, const char*, const char*) {},
                   [](void*, const char* text) { window.rate_label = text; },
                   [](void*, const char* text) { window.play_button = text; }});
}

void press(const char* (*button)()) {
    if (const char* text = button()) window.play_button = text;
}

// ---- The controller's state after a command.

bool flag(int32_t value) { return value == 0 || value == 1; }

void check_state(bool after_worker_pass) {
    const PlayerState& p = player_state;
    for (const auto* f : {&p.playing, &p.stop_request, &p.start_request, &p.resume_request, &p.paused,
                          &p.silenced, &p.tune_loaded}) {
        FUZZ_CHECK(flag(*f));
    }
    FUZZ_CHECK(flag(stream_retry_pending()));
    for (const auto& voice : p.voice_enabled) FUZZ_CHECK(flag(voice));
    FUZZ_CHECK(!(p.playing && p.silenced));
    FUZZ_CHECK(p.speed_percent >= 20 && p.speed_percent <= 200);
    FUZZ_CHECK(p.filter_percent >= 20 && p.filter_percent <= 200);
    FUZZ_CHECK(p.play_rate_hz >= 15);
    // Between the shortest period the machine allows, 1 ms of the clock,
    // and the slowest timer, latch $FFFF.
    FUZZ_CHECK(p.play_period_cycles >= 986 && p.play_period_cycles <= 65536);
    FUZZ_CHECK(ring_index >= 0 && ring_index < stream_ring_slots);
    FUZZ_CHECK(write_position >= 0 && write_position <= stream_message_capacity);
    if (p.playing) {
        FUZZ_CHECK(p.tune_loaded);
        FUZZ_CHECK(stream_is_open());
    }
    if (after_worker_pass) {
        FUZZ_CHECK(p.stop_request == 0 && p.start_request == 0 && p.resume_request == 0);
        if (p.playing) FUZZ_CHECK(window.play_button == "Pause");
        FUZZ_CHECK(!(p.paused && p.playing));
        char label[16];
        std::snprintf(label, sizeof label, "%i Hz", static_cast<int>(rate_label_number_hz()));
        FUZZ_CHECK(window.rate_label == label);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    write_tunes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    // The checking sink is the only device, and the window above replaces
    // the headless player's panel.
    auto sink = std::make_shared<CheckingSink>();
    HeadlessPlayer player(sink);
    install_window();
    // Time passes a millisecond at a time, so that no wait runs far past
    // the event budget.
    auto wait = [&](int ms) {
        for (int i = 0; i < ms && sink->events() < max_events; ++i) player.advance_ms(1);
    };

    for (int command = 0; command < max_commands && !in.empty() && sink->events() < max_events; ++command) {
        uint8_t op = in.byte();
        uint8_t arg = in.byte();
        bool pass = true;
        switch (op % 13) {
            case 0: press(press_play); player.worker_passes(1); break;
            case 1: press(press_stop); player.worker_passes(1); break;
            case 2: player.choose_song(1 + arg % 4); break;
            case 3: player.set_speed(arg); pass = false; break;
            case 4: player.set_filter(arg); pass = false; break;
            case 5: player.toggle_voice(arg % 3); pass = false; break;
            case 6: player.load(tune_paths[arg % tune_paths.size()]); break;
            case 7: wait(arg); pass = false; break;
            case 8: player.position_callbacks(1 + arg % 8); pass = false; break;
            case 9: player.worker_passes(1 + arg % 4); break;
            case 10: press(press_play); pass = false; break;  // taken by the next pass with what follows
            case 11: press(press_stop); pass = false; break;
            case 12: {
                player.exit_player();
                check_state(false);
                // The program ends now: every request is dropped, the stream
                // is closed, and the synthesizer has heard the mute frames
                // after the tune.
                const PlayerState& p = player_state;
                FUZZ_CHECK(p.stop_request == 0 && p.start_request == 0 && p.resume_request == 0 && p.playing == 0);
                FUZZ_CHECK(stream_engine::open_stream_count() == 0);
                FUZZ_CHECK(!sink->sounding());
                return 0;
            }
        }
        check_state(pass);
    }
    return 0;
}
