#pragma once
#include <cstddef>
#include <cstdint>

enum LoadResult : int {
    LOAD_OK = 1,           // tune_info and the memory image hold the tune
    LOAD_CANNOT_OPEN = 2,  // the image is all zero, tune_info unchanged
    LOAD_NOT_PSID = 3,     // not a PSID or RSID file: the magic, or a file cut short
    LOAD_MUS = 4,          // flags bit 0: MUS data, not playable code
    LOAD_BASIC = 5,        // an RSID with flags bit 1: a BASIC program, which needs the BASIC ROM
};

// Why the last load refused its file, finer than the LoadResult. The command
// line explains it; the window keeps one text per result.
enum class LoadRefusal : int {
    none,                // LOAD_OK
    cannot_open,         // LOAD_CANNOT_OPEN: the open failed; load_error_number() says why
    cannot_read,         // LOAD_CANNOT_OPEN: a read failed; load_error_number() says why
    no_psid_magic,       // LOAD_NOT_PSID: the file begins with neither "PSID" nor "RSID"
    ends_inside_header,  // LOAD_NOT_PSID
    no_tune_data,        // LOAD_NOT_PSID: nothing to load after the header
    mus_data,            // LOAD_MUS
    basic_program,       // LOAD_BASIC
};

// Clears the whole memory image, then reads a PSID or RSID file front to back into
// tune_info and the image, and tells the CPU core which SID windows belong to
// a second or third chip. path is any path fopen takes. Reads at most a
// header and 64 KB of payload, whatever the file.
LoadResult load_psid(const char* path);

// The same parse over bytes already in memory (tools and fuzzing).
LoadResult load_psid_bytes(const uint8_t* data, size_t size);

// Reads the file at path and parses it without touching tune_info, the
// image or the CPU core: the result, and the refusal, that load_psid would
// give. After LOAD_OK the bytes read are kept for load_checked_psid, so that
// a player can keep its tune until it knows that the new one loads.
LoadResult check_psid_file(const char* path);

// load_psid_bytes of the bytes the last check_psid_file kept, once; without
// such bytes (no check, a check that failed, or taken already) LOAD_NOT_PSID
// over a cleared image.
LoadResult load_checked_psid();

// The reason for the last load's result, and the system's error number
// (errno) for cannot_open and cannot_read, 0 when there is none.
LoadRefusal last_load_refusal();
int load_error_number();

// tune_info all zero and no load's outcome, as a fresh process has them.
void reset_loaded_tune();

// The 32-bit value with its four bytes in reverse order.
uint32_t swap_bytes32(uint32_t value);
