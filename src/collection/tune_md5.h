#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The MD5 of a whole tune file: the key under which the collection's
// song-length database lists the tune. Written as 32 lower-case hex digits.
struct Md5Digest {
    uint8_t bytes[16];

    friend bool operator==(const Md5Digest&, const Md5Digest&) = default;
    friend std::strong_ordering operator<=>(const Md5Digest&, const Md5Digest&) = default;
};

// The MD5 (RFC 1321) of size bytes at data.
Md5Digest md5_of_bytes(const void* data, size_t size);

// The MD5 of a whole file, read front to back in pieces, whatever its size.
// False when the file cannot be opened or read; error_number then holds the
// system's error number (errno).
bool md5_of_file(const char* path, Md5Digest& digest, int& error_number);

// The digest as 32 lower-case hex digits.
std::string md5_hex(const Md5Digest& digest);

// Reads exactly 32 hex digits, of either case. False for anything else, and
// digest is then unchanged.
bool parse_md5_hex(std::string_view hex, Md5Digest& digest);
