#include "cli/header_text.h"

#include "cli/latin1_text.h"
#include "cpu/cpu_call.h"
#include "player/tune_info.h"

void print_tune_text(std::FILE* out, const char* label, const char (&field)[32], TextBytes texts) {
    std::fprintf(out, "%-13s\"", label);
    if (texts == TextBytes::latin1) {
        std::fprintf(out, "%s\"\n", latin1_to_terminal_text(tune_text(field), true).c_str());
        return;
    }
    for (char c : tune_text(field)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') std::fprintf(out, "\\%c", byte);
        else if (byte >= 0x20 && byte < 0x7F) std::fputc(byte, out);
        else std::fprintf(out, "\\x%02X", byte);
    }
    std::fputs("\"\n", out);
}

const char* tune_clock_name(uint16_t flags) {
    static const char* const names[4] = {"unknown", "PAL", "NTSC", "PAL and NTSC"};
    return names[(flags >> 2) & 3];
}

const char* sid_model_name(uint16_t flags, int shift) {
    static const char* const names[4] = {"unknown", "6581", "8580", "both"};
    return names[(flags >> shift) & 3];
}

namespace {

// Chips mapped over the first one's mirrors or into the expansion port's
// area are the ones the CPU core tells apart; a chip elsewhere is never
// captured.
const char* extra_sid_note(uint16_t address) {
    return sid_window_bit(address) ? "played with --extra-sids frames"
                                   : "not played: only a chip at $D420..$D7E0 or $DE00..$DFE0 can be";
}

}  // namespace

void print_tune_header(std::FILE* out, const std::string& path, TextBytes texts) {
    const TuneInfo& t = tune_info;
    std::fprintf(out, "%-13s%s\n", "tune", path.c_str());
    std::fprintf(out, "%-13s%u\n", "version", t.version);
    std::fprintf(out, "%-13s0x%04X\n", "data_offset", t.data_offset);
    std::fprintf(out, "%-13s0x%04X\n", "load_address", t.load_address);
    std::fprintf(out, "%-13s0x%04X\n", "init_address", t.init_address);
    std::fprintf(out, "%-13s0x%04X\n", "play_address", t.play_address);
    std::fprintf(out, "%-13s%u\n", "songs", t.songs);
    std::fprintf(out, "%-13s%u\n", "start_song", t.start_song);
    std::fprintf(out, "%-13s0x%08X\n", "speed", t.speed);
    print_tune_text(out, "name", t.name, texts);
    print_tune_text(out, "author", t.author, texts);
    print_tune_text(out, "released", t.released, texts);
    std::fprintf(out, "%-13s0x%04X\n", "flags", t.flags);
    if (t.second_sid_address)
        std::fprintf(out, "%-13s0x%04X (%s)\n", "second_sid", t.second_sid_address,
                     extra_sid_note(t.second_sid_address));
    if (t.third_sid_address)
        std::fprintf(out, "%-13s0x%04X (%s)\n", "third_sid", t.third_sid_address,
                     extra_sid_note(t.third_sid_address));
    std::fprintf(out, "%-13s%d\n", "irq_mode", t.irq_mode);
}
