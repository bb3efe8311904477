#include "cli/sid_names.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double pal_sid_clock_hz = 985248.0;
constexpr double frequency_register_steps = 16777216.0;  // 2^24: the oscillator's phase range
constexpr int a4_note = 57;  // semitones above C0

constexpr const char* note_names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

}  // namespace

double sid_frequency_hz(uint16_t frequency_register) {
    return frequency_register * pal_sid_clock_hz / frequency_register_steps;
}

void note_name(uint16_t frequency_register, char (&out)[8]) {
    double hz = sid_frequency_hz(frequency_register);
    long note = hz > 0 ? std::lround(12 * std::log2(hz / 440.0)) + a4_note : -1;
    // The register's top, 0xFFFF, is about 3,848 Hz: B7. Octaves stay one digit.
    if (note < 0 || note >= 120) {
        std::snprintf(out, sizeof out, "---");
        return;
    }
    std::snprintf(out, sizeof out, "%s%c", note_names[note % 12], static_cast<char>('0' + note / 12));
}

void waveform_name(uint8_t control, char (&out)[32]) {
    static constexpr struct {
        uint8_t bit;
        const char* name;
    } waves[] = {{0x10, "triangle"}, {0x20, "saw"}, {0x40, "pulse"}, {0x80, "noise"}};
    out[0] = '\0';
    for (auto& wave : waves) {
        if (!(control & wave.bit)) continue;
        if (out[0] != '\0') std::strncat(out, "+", sizeof out - std::strlen(out) - 1);
        std::strncat(out, wave.name, sizeof out - std::strlen(out) - 1);
    }
    if (out[0] == '\0') std::snprintf(out, sizeof out, "none");
}

const char* filter_mode_name(uint8_t mode_volume) {
    switch ((mode_volume >> 4) & 7) {
        case 0: return "no filter";
        case 1: return "low-pass";
        case 2: return "band-pass";
        case 3: return "low+band";
        case 4: return "high-pass";
        case 5: return "notch";
        case 6: return "band+high";
        default: return "all modes";
    }
}
