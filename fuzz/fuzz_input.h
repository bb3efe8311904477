#pragma once
// Reads a fuzzer's input as a stream of decisions. Past the end every read
// gives 0, so a short input is still a whole, valid run: the fuzzer never has
// to learn a length field before it can reach the interesting code.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    size_t remaining() const { return empty() ? 0 : size_ - position_; }

    uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    uint16_t word() {  // little-endian, as the 6502 keeps its addresses
        uint16_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }

    // Up to count bytes from here on, without copying.
    const uint8_t* bytes(size_t count, size_t* taken) {
        *taken = count < remaining() ? count : remaining();
        const uint8_t* start = data_ + position_;
        position_ += *taken;
        return start;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// A broken invariant: prints what broke and aborts, which libFuzzer records
// as a crash with the input that caused it.
[[noreturn]] inline void fuzz_fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                      \
    do {                                                           \
        if (!(condition)) fuzz_fail(__FILE__ ": " #condition);     \
    } while (0)
