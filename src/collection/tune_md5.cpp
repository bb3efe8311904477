#include "collection/tune_md5.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include "md5/md5.h"
}

namespace {

Md5Digest finish(MD5_CTX& context) {
    Md5Digest digest;
    MD5_Final(digest.bytes, &context);
    return digest;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Md5Digest md5_of_bytes(const void* data, size_t size) {
    MD5_CTX context;
    MD5_Init(&context);
    // On x86 the vendored code loads 32-bit words straight from the data it
    // is given, which is only defined for aligned data; a caller's bytes may
    // sit anywhere (a tune inside a larger buffer), so they pass through an
    // aligned piece. Pieces also keep each size within the unsigned long the
    // update takes, 32 bits on Windows.
    alignas(8) unsigned char piece[1 << 14];
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        size_t count = size < sizeof piece ? size : sizeof piece;
        std::memcpy(piece, bytes, count);
        MD5_Update(&context, piece, static_cast<unsigned long>(count));
        bytes += count;
        size -= count;
    }
    return finish(context);
}

bool md5_of_file(const char* path, Md5Digest& digest, int& error_number) {
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error_number = errno ? errno : ENOENT;
        return false;
    }
    MD5_CTX context;
    MD5_Init(&context);
    alignas(8) unsigned char buffer[1 << 14];  // see md5_of_bytes
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) MD5_Update(&context, buffer, got);
    bool failed = std::ferror(file) != 0;
    int read_error = errno ? errno : EIO;
    std::fclose(file);
    if (failed) {
        error_number = read_error;
        return false;
    }
    digest = finish(context);
    error_number = 0;
    return true;
}

std::string md5_hex(const Md5Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex(32, '0');
    for (int i = 0; i < 16; ++i) {
        hex[2 * i] = digits[digest.bytes[i] >> 4];
        hex[2 * i + 1] = digits[digest.bytes[i] & 15];
    }
    return hex;
}

bool parse_md5_hex(std::string_view hex, Md5Digest& digest) {
    if (hex.size() != 32) return false;
    Md5Digest read;
    for (int i = 0; i < 16; ++i) {
        int high = hex_value(hex[2 * i]);
        int low = hex_value(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        read.bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    digest = read;
    return true;
}
