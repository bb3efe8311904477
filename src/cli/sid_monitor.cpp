#include "cli/sid_monitor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/sysex_messages.h"
#include "midi/register_frame.h"

namespace {

constexpr double pal_sid_clock_hz = 985248.0;
constexpr double frequency_register_steps = 16777216.0;  // 2^24: the oscillator's phase range
constexpr int a4_note = 57;  // semitones above C0

constexpr const char* note_names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// Where a voice's registers start: 7 registers a voice.
constexpr int voice_base[3] = {0, 7, 14};
constexpr int reg_frequency_low = 0;
constexpr int reg_frequency_high = 1;
constexpr int reg_control = 4;
constexpr int reg_cutoff_low = 21;   // bits 0..2 of the cutoff
constexpr int reg_cutoff_high = 22;  // bits 3..10
constexpr int reg_mode_volume = 24;

// The filter modes of register 24's bits 4..6, as the chip's data sheet names them.
const char* filter_mode(uint8_t mode_volume) {
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

void format_monitor(const SidRegisters& sid, MonitorLines& lines) {
    for (int v = 0; v < 3; ++v) {
        const uint8_t* reg = sid.value + voice_base[v];
        char note[8];
        char wave[32];
        note_name(static_cast<uint16_t>(reg[reg_frequency_low] | reg[reg_frequency_high] << 8), note);
        waveform_name(reg[reg_control], wave);
        std::snprintf(lines[v], monitor_line_size, "voice %d  %-4s %-15s gate %s", v + 1, note, wave,
                      reg[reg_control] & 1 ? "on" : "off");
    }
    int cutoff = (sid.value[reg_cutoff_high] << 3) | (sid.value[reg_cutoff_low] & 7);
    std::snprintf(lines[3], monitor_line_size, "filter   cutoff %4d of 2047  %-9s  volume %d", cutoff,
                  filter_mode(sid.value[reg_mode_volume]), sid.value[reg_mode_volume] & 15);
}

void format_monitor_line(const SidRegisters& sid, char* out, size_t size) {
    if (size == 0) return;
    size_t used = 0;
    auto add = [&](const char* format, auto... values) {
        if (used + 1 >= size) return;
        int n = std::snprintf(out + used, size - used, format, values...);
        if (n > 0) used += static_cast<size_t>(n) < size - used ? static_cast<size_t>(n) : size - used - 1;
    };
    for (int v = 0; v < 3; ++v) {
        const uint8_t* reg = sid.value + voice_base[v];
        char note[8];
        char wave[32];
        note_name(static_cast<uint16_t>(reg[reg_frequency_low] | reg[reg_frequency_high] << 8), note);
        waveform_name(reg[reg_control], wave);
        add("v%d %s %s %s | ", v + 1, note, wave, reg[reg_control] & 1 ? "on" : "off");
    }
    int cutoff = (sid.value[reg_cutoff_high] << 3) | (sid.value[reg_cutoff_low] & 7);
    add("cutoff %d %s volume %d", cutoff, filter_mode(sid.value[reg_mode_volume]), sid.value[reg_mode_volume] & 15);
}

void SidMonitor::play(const uint8_t* bytes, uint32_t length, uint32_t, int64_t) {
    std::lock_guard<std::mutex> lock(lock_);
    for_each_sysex_message(bytes, length, [this](const uint8_t* message, size_t size) {
        if (apply_register_frame(message, size, sid_)) {
            ++frames_;
        } else if (size >= 4 && message[1] == sysex_manufacturer && message[2] == message_text) {
            size_t text = size - 4 < sizeof name_ - 1 ? size - 4 : sizeof name_ - 1;
            std::memcpy(name_, message + 3, text);
            name_[text] = '\0';
        }
    });
}

SidRegisters SidMonitor::registers() const {
    std::lock_guard<std::mutex> lock(lock_);
    return sid_;
}

void SidMonitor::last_text(char (&text)[40]) const {
    std::lock_guard<std::mutex> lock(lock_);
    std::memcpy(text, name_, sizeof text);
}

uint64_t SidMonitor::frames() const {
    std::lock_guard<std::mutex> lock(lock_);
    return frames_;
}
