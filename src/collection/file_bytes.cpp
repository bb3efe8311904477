#include "collection/file_bytes.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

bool read_file_bytes(const char* path, std::string& bytes, int& error_number) {
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error_number = errno ? errno : ENOENT;
        return false;
    }
    // A folder opens for reading here, and its size reads as enormous: it
    // would be refused as too large rather than for what it is.
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(file);
        error_number = EISDIR;
        return false;
    }
    // One read of the whole file when its size is known; a pipe or device
    // that cannot tell its size is read in pieces instead.
    bytes.clear();
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    std::rewind(file);
    bool too_large = false;
    if (size > 0 && static_cast<unsigned long>(size) <= largest_collection_file) {
        bytes.resize(static_cast<size_t>(size));
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    } else if (size > 0) {
        too_large = true;
    }
    char piece[1 << 14];
    while (!too_large && !std::ferror(file)) {
        size_t got = std::fread(piece, 1, sizeof piece, file);
        if (got == 0) break;
        if (bytes.size() + got > largest_collection_file) too_large = true;
        else bytes.append(piece, got);
    }
    bool failed = std::ferror(file) != 0;
    int read_error = errno ? errno : EIO;
    std::fclose(file);
    if (too_large || failed) {
        bytes.clear();
        error_number = too_large ? EFBIG : read_error;
        return false;
    }
    error_number = 0;
    return true;
}

bool file_is_readable(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}
