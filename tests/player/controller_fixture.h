#pragma once
// A headless player and a small tune whose frames are easy to read: the init
// sets the volume to 0x1F and stores the song index at $1102; play call k
// writes k to register 0 (voice 1 frequency, low byte).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cpu/memory_image.h"
#include "headless/headless_player.h"
#include "player/player_state.h"
#include "psid_builder.h"

using Bytes = std::vector<uint8_t>;

inline PsidBuilder counting_tune() {
    PsidBuilder tune;
    tune.name = "Counter";
    tune.init_address = 0x1000;
    tune.play_address = 0x1020;
    tune.at(0x1000, {
        0x8D, 0x02, 0x11,  // STA $1102     song index
        0xEE, 0x01, 0x11,  // INC $1101     init counter
        0xA9, 0x00,        // LDA #$00
        0x8D, 0x00, 0x11,  // STA $1100     play counter
        0xA9, 0x1F,        // LDA #$1F
        0x8D, 0x18, 0xD4,  // STA $D418     volume 15, low-pass
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

// The counting tune at 15 Hz, the slowest rate there is: its speed bit set
// and the CIA timer latch at $FFFF (1,000,000 / 65535 Hz). At 20 % speed a
// play period is 333 ms.
inline PsidBuilder slow_counting_tune() {
    PsidBuilder tune = counting_tune();
    tune.speed = 1;
    tune.at(0x1010, {
        0xA9, 0xFF,        // LDA #$FF      in place of the init's RTS
        0x8D, 0x04, 0xDC,  // STA $DC04     CIA 1 timer A latch low
        0x8D, 0x05, 0xDC,  // STA $DC05     and high: $FFFF
        0x60,              // RTS
    });
    return tune;
}

// F0 2D 4E with one position present.
inline Bytes one_register_frame(int position, uint8_t value) {
    Bytes frame = {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0};
    frame[3 + position / 7] = static_cast<uint8_t>(1 << (position % 7));
    if (value & 0x80) frame[7 + position / 7] = static_cast<uint8_t>(1 << (position % 7));
    frame.push_back(value & 0x7F);
    frame.push_back(0xF7);
    return frame;
}

inline Bytes volume_frame(uint8_t volume) { return one_register_frame(21, volume); }
inline Bytes play_call_frame(uint8_t call) { return one_register_frame(0, call); }

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text_message(const std::string& text) {
    Bytes message = {0xF0, 0x2D, 0x4F};
    message.insert(message.end(), text.begin(), text.end());
    message.push_back(0xF7);
    return message;
}

// The reset frame at 100 % filter (the same at every start).
inline Bytes reset_frame() {
    return {0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01, 0x00, 0x00, 0x20, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x7F, 0x00, 0x0F, 0xF7};
}

inline Bytes mute_frames() { return volume_frame(0) + volume_frame(0); }

class Controller : public ::testing::Test {
protected:
    HeadlessPlayer player;

    std::vector<Bytes> played() const {
        std::vector<Bytes> out;
        for (auto& buffer : player.buffers()) out.push_back(buffer.bytes);
        return out;
    }
    static size_t index_of(const std::vector<Bytes>& buffers, const Bytes& wanted, size_t from = 0) {
        auto it = std::find(buffers.begin() + static_cast<long>(std::min(from, buffers.size())), buffers.end(), wanted);
        return static_cast<size_t>(it - buffers.begin());
    }
    static size_t count_of(const std::vector<Bytes>& buffers, const Bytes& wanted) {
        return static_cast<size_t>(std::count(buffers.begin(), buffers.end(), wanted));
    }
    static bool all_empty(const std::vector<Bytes>& buffers, size_t from, size_t to) {
        return std::all_of(buffers.begin() + static_cast<long>(from), buffers.begin() + static_cast<long>(to),
                           [](const Bytes& b) { return b.empty(); });
    }
    static int init_count() { return memory_image.bytes[0x1101]; }
};
