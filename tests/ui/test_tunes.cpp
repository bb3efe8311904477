#include "test_tunes.h"

namespace {

constexpr uint16_t load_address = 0x1000;
constexpr uint16_t init_address = 0x1000;
constexpr uint16_t play_address = 0x1040;

// clang-format off
const uint8_t init_routine[] = {
    0xAA,              // 1000 TAX             song index (A = song - 1)
    0x8E, 0xF0, 0x10,  // 1001 STX $10F0       kept for the play routine
    0xA9, 0x00,        // 1004 LDA #$00
    0x8D, 0xF1, 0x10,  // 1006 STA $10F1       frame counter
    0xA9, 0x09,        // 1009 LDA #$09
    0x8D, 0x05, 0xD4,  // 100B STA $D405       voice 1 attack/decay
    0xA9, 0x1F,        // 100E LDA #$1F
    0x8D, 0x18, 0xD4,  // 1010 STA $D418       volume 15, low-pass: what a resume restores
    0xE0, 0x02,        // 1013 CPX #$02        song 3?
    0xD0, 0x0A,        // 1015 BNE $1021
    0xA9, 0x10,        // 1017 LDA #$10
    0x8D, 0x04, 0xDC,  // 1019 STA $DC04       CIA 1 timer A latch low
    0xA9, 0x27,        // 101C LDA #$27
    0x8D, 0x05, 0xDC,  // 101E STA $DC05       latch $2710 = 10000: 100 Hz
    0x60,              // 1021 RTS
};

const uint8_t play_routine[] = {
    0xEE, 0xF1, 0x10,  // 1040 INC $10F1       next frame
    0xAD, 0xF1, 0x10,  // 1043 LDA $10F1
    0x29, 0x7F,        // 1046 AND #$7F        no high bit: the data byte is the count
    0x8D, 0x00, 0xD4,  // 1048 STA $D400       voice 1 frequency low = count
    0xAD, 0xF0, 0x10,  // 104B LDA $10F0
    0x8D, 0x01, 0xD4,  // 104E STA $D401       voice 1 frequency high = song index
    0x60,              // 1051 RTS
};

// The slow tune's init: the shared one, but every song sets the CIA 1 timer
// latch to $FFFF, the slowest rate a tune can ask for: 1,000,000 / 65535 =
// 15 Hz.
const uint8_t slow_init_routine[] = {
    0xAA,              // 1000 TAX             song index (A = song - 1)
    0x8E, 0xF0, 0x10,  // 1001 STX $10F0       kept for the play routine
    0xA9, 0x00,        // 1004 LDA #$00
    0x8D, 0xF1, 0x10,  // 1006 STA $10F1       frame counter
    0xA9, 0x09,        // 1009 LDA #$09
    0x8D, 0x05, 0xD4,  // 100B STA $D405       voice 1 attack/decay
    0xA9, 0x1F,        // 100E LDA #$1F
    0x8D, 0x18, 0xD4,  // 1010 STA $D418       volume 15, low-pass
    0xA9, 0xFF,        // 1013 LDA #$FF
    0x8D, 0x04, 0xDC,  // 1015 STA $DC04       CIA 1 timer A latch low
    0x8D, 0x05, 0xDC,  // 1018 STA $DC05       and high: $FFFF
    0x60,              // 101B RTS
};

// The sweep tune's routines, at the same addresses; its header has play
// address 0, so it runs on the machine: the init points the vector at $0314
// to the handler, which the KERNAL's interrupt entry reaches, and the
// handler ends through $EA31 as a C64's does.
const uint8_t sweep_init_routine[] = {
    0xA9, 0x40,        // 1000 LDA #$40
    0x8D, 0x14, 0x03,  // 1002 STA $0314       system interrupt vector = $1040
    0xA9, 0x10,        // 1005 LDA #$10
    0x8D, 0x15, 0x03,  // 1007 STA $0315
    0xA9, 0x20,        // 100A LDA #$20
    0x8D, 0x04, 0xDC,  // 100C STA $DC04       latch $4E20 = 20000: 50 Hz
    0xA9, 0x4E,        // 100F LDA #$4E
    0x8D, 0x05, 0xDC,  // 1011 STA $DC05
    0xA9, 0x1F,        // 1014 LDA #$1F
    0x8D, 0x18, 0xD4,  // 1016 STA $D418       volume 15, low-pass
    0x60,              // 1019 RTS
};

// Every handler moves the timer: latches $2020..$3F20 in turn (8,224 to
// 16,160 cycles, 120 to 61 Hz), so the rate shown moves with nearly every
// frame.
const uint8_t sweep_play_routine[] = {
    0xEE, 0xF1, 0x10,  // 1040 INC $10F1       next call
    0xAD, 0xF1, 0x10,  // 1043 LDA $10F1
    0x8D, 0x00, 0xD4,  // 1046 STA $D400       voice 1 frequency low = count
    0x29, 0x1F,        // 1049 AND #$1F
    0x09, 0x20,        // 104B ORA #$20
    0x8D, 0x05, 0xDC,  // 104D STA $DC05       latch high byte $20..$3F
    0x4C, 0x31, 0xEA,  // 1050 JMP $EA31       the system's interrupt exit
};
// clang-format on

struct Routines {
    const uint8_t* init;
    size_t init_size;
    const uint8_t* play;
    size_t play_size;
};
const Routines note_routines{init_routine, sizeof init_routine, play_routine, sizeof play_routine};
const Routines slow_routines{slow_init_routine, sizeof slow_init_routine, play_routine, sizeof play_routine};
const Routines sweep_routines{sweep_init_routine, sizeof sweep_init_routine, sweep_play_routine,
                              sizeof sweep_play_routine};

void put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));  // header words are big-endian
    out.push_back(static_cast<uint8_t>(value));
}

void put_text(std::vector<uint8_t>& out, const char* text) {
    std::string s = text;
    for (size_t i = 0; i < 32; ++i) out.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

struct Header {
    uint16_t header_play_address;  // 0: the tune installs an interrupt routine
    uint16_t songs;
    uint16_t start_song;
    uint32_t speed;
    TuneTexts texts;
    uint16_t flags;
};

std::vector<uint8_t> psid(const Header& h, const Routines& r = note_routines) {
    std::vector<uint8_t> out = {'P', 'S', 'I', 'D'};
    put16(out, 2);     // version 2: the 124-byte header with flags
    put16(out, 0x7C);  // data offset
    put16(out, load_address);
    put16(out, init_address);
    put16(out, h.header_play_address);
    put16(out, h.songs);
    put16(out, h.start_song);
    put16(out, static_cast<uint16_t>(h.speed >> 16));
    put16(out, static_cast<uint16_t>(h.speed));
    put_text(out, h.texts.name);
    put_text(out, h.texts.author);
    put_text(out, h.texts.released);
    put16(out, h.flags);
    out.insert(out.end(), 4, 0);  // start page, page length, reserved

    std::vector<uint8_t> image(play_address - load_address + r.play_size, 0xEA);  // NOP filler
    std::copy(r.init, r.init + r.init_size, image.begin() + (init_address - load_address));
    std::copy(r.play, r.play + r.play_size, image.begin() + (play_address - load_address));
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace

std::vector<uint8_t> test_tune(const std::string& kind) {
    if (kind == "melody") return psid({play_address, 1, 1, 0, melody_texts, 0});
    if (kind == "multisong") return psid({play_address, 3, 2, 0x6, multisong_texts, 0});  // speed bits of songs 2, 3
    if (kind == "sweep") return psid({0, 2, 1, 0, sweep_texts, 0}, sweep_routines);
    if (kind == "slow") return psid({play_address, 2, 1, 0x3, slow_texts, 0}, slow_routines);  // both on the timer
    if (kind == "mus") return psid({play_address, 1, 1, 0, melody_texts, 0x0001});
    if (kind == "zeros") return psid({play_address, 0, 0, 0, melody_texts, 0});
    if (kind == "text") {
        std::string text = "Not a tune at all, just some text.\r\n";
        return {text.begin(), text.end()};
    }
    return {};
}
