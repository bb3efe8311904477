#pragma once
#include <cstddef>
#include <cstdint>

enum LoadResult : int {
    LOAD_OK = 1,           // tune_info and the memory image hold the tune
    LOAD_CANNOT_OPEN = 2,  // the image is all zero, tune_info unchanged
    LOAD_NOT_PSID = 3,     // the magic is not "PSID" (RSID included)
    LOAD_MUS = 4,          // version 2 with flags bit 0: MUS data, not playable code
};

// Clears the whole memory image, then reads a PSID file front to back into
// tune_info and the image. path is any path fopen takes. Reads at most a
// header and 64 KB of payload, whatever the file.
int load_psid(const char* path);

// The same parse over bytes already in memory (tools and fuzzing).
int load_psid_bytes(const uint8_t* data, size_t size);

// The 32-bit value with its four bytes in reverse order.
uint32_t swap_bytes32(uint32_t value);
