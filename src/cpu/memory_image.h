#pragma once
#include <cstdint>

// The emulated machine's whole 64 KB address space. Every address is plain RAM:
// no ROM, no I/O chip and no banking sits behind any of them, so a read returns
// the byte last stored there, including at the SID (0xD400..) and CIA (0xDC00..).
struct MemoryImage {
    uint8_t bytes[65536];
};

extern MemoryImage memory_image;

// Little-endian word at address, as the 6502 keeps its vectors and pointers.
inline uint16_t read_word(uint16_t address) {
    return static_cast<uint16_t>(memory_image.bytes[address] |
                                 memory_image.bytes[static_cast<uint16_t>(address + 1)] << 8);
}
