#include "platform/tick_clock.h"

namespace stream_engine {

namespace {

bool is_smpte(DWORD time_division) { return (time_division & 0x8000) != 0; }

// The high byte of an SMPTE division is the frame rate negated, as a signed byte.
int smpte_frames_per_second(DWORD time_division) {
    return -static_cast<int8_t>(static_cast<uint8_t>(time_division >> 8));
}

}  // namespace

bool valid_time_division(DWORD time_division) {
    if (time_division > 0xFFFF) return false;
    if (!is_smpte(time_division)) return time_division != 0;
    int fps = smpte_frames_per_second(time_division);
    bool known_rate = fps == 24 || fps == 25 || fps == 29 || fps == 30;
    return known_rate && (time_division & 0xFF) != 0;
}

TickLength tick_length(DWORD time_division, DWORD tempo_us) {
    if (!is_smpte(time_division)) return {tempo_us, time_division};
    uint64_t ticks_per_frame = time_division & 0xFF;
    int fps = smpte_frames_per_second(time_division);
    if (fps == 29) return {1'001'000'000, 30'000 * ticks_per_frame};  // 30000/1001 frames a second
    return {1'000'000, static_cast<uint64_t>(fps) * ticks_per_frame};
}

int64_t time_after(const StreamPosition& position, const TickLength& tick, DWORD delta_ticks) {
    uint64_t scaled = position.rest + uint64_t{delta_ticks} * tick.numerator;
    return position.us + static_cast<int64_t>(scaled / tick.denominator);
}

void advance_position(StreamPosition& position, const TickLength& tick, DWORD delta_ticks) {
    uint64_t scaled = position.rest + uint64_t{delta_ticks} * tick.numerator;
    position.us += static_cast<int64_t>(scaled / tick.denominator);
    position.rest = scaled % tick.denominator;
}

}  // namespace stream_engine
