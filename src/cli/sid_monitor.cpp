#include "cli/sid_monitor.h"

#include <cstdio>
#include <cstring>

#include "cli/sid_names.h"
#include "cli/sysex_messages.h"
#include "midi/register_frame.h"

namespace {

// Where a voice's registers start: 7 registers a voice.
constexpr int voice_base[3] = {0, 7, 14};
constexpr int reg_frequency_low = 0;
constexpr int reg_frequency_high = 1;
constexpr int reg_control = 4;
constexpr int reg_cutoff_low = 21;   // bits 0..2 of the cutoff
constexpr int reg_cutoff_high = 22;  // bits 3..10
constexpr int reg_mode_volume = 24;

}  // namespace

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
                  filter_mode_name(sid.value[reg_mode_volume]), sid.value[reg_mode_volume] & 15);
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
    add("cutoff %d %s volume %d", cutoff, filter_mode_name(sid.value[reg_mode_volume]), sid.value[reg_mode_volume] & 15);
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
