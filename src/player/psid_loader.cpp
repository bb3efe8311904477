#include "player/psid_loader.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "cpu/memory_image.h"
#include "player/tune_info.h"

TuneInfo tune_info;

namespace {

constexpr uint16_t version_with_flags = 2;  // only this version carries the flags word
constexpr uint16_t flag_mus_data = 0x0001;
constexpr uint16_t system_irq_entry = 0xEA31;  // where a C64 tune's handler jumps when done
constexpr uint16_t system_irq_exit = 0xFF48;
constexpr uint8_t opcode_rts = 0x60;
constexpr size_t image_size = sizeof memory_image.bytes;

// The magic is read as a text token, so white space before it is skipped. A
// PSID file never has any; the limit keeps a file full of blanks from being
// read to its end in search of a token.
constexpr int leading_space_limit = 64;

// Where the loader's bytes come from: a file read once, front to back, or
// bytes already in memory. Past the end, bytes read as zero; a read error is
// kept so that the parse can refuse the file rather than load zeros.
struct ByteSource {
    FILE* file;           // read when set
    const uint8_t* data;  // otherwise these bytes
    size_t size;
    size_t position;
    bool failed;
};

// Reads up to count bytes into out and returns how many arrived.
size_t read_some(ByteSource& source, uint8_t* out, size_t count) {
    if (source.file) {
        size_t got = std::fread(out, 1, count, source.file);
        if (got < count && std::ferror(source.file)) source.failed = true;
        return got;
    }
    size_t left = source.size - source.position;
    size_t got = count < left ? count : left;
    if (got) std::memcpy(out, source.data + source.position, got);
    source.position += got;
    return got;
}

// count bytes into out; those past the end of the source are zero.
void read_exact(ByteSource& source, uint8_t* out, size_t count) {
    size_t got = read_some(source, out, count);
    std::memset(out + got, 0, count - got);
}

// One byte, or -1 at the end of the source.
int read_byte(ByteSource& source) {
    uint8_t byte;
    return read_some(source, &byte, 1) == 1 ? byte : -1;
}

// Header words are big-endian, read as two single bytes.
uint16_t read_word_be(ByteSource& source) {
    uint8_t bytes[2];
    read_exact(source, bytes, sizeof bytes);
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// The speed bits arrive in one piece; on a little-endian host their byte
// order is reversed so that bit 0 of the fourth byte is bit 0 of speed.
uint32_t read_speed(ByteSource& source) {
    uint8_t bytes[4];
    read_exact(source, bytes, sizeof bytes);
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = swap_bytes32(word);
    return word;
}

void read_text(ByteSource& source, char (&field)[32]) {
    uint8_t bytes[sizeof field];
    read_exact(source, bytes, sizeof bytes);
    std::memcpy(field, bytes, sizeof field);
}

// The white space that scanf skips before a token.
bool is_space(int byte) {
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

// Skips white space, then takes up to four characters that are not white
// space, as scanf's "%4s" would. The token ends at the first white space,
// which is then not consumed; a shorter token can never be "PSID", and the
// parse stops there, so nothing needs putting back.
bool magic_is_psid(ByteSource& source) {
    int byte = read_byte(source);
    for (int skipped = 0; is_space(byte); ++skipped) {
        if (skipped == leading_space_limit) return false;
        byte = read_byte(source);
    }
    static constexpr char magic[] = "PSID";
    for (int i = 0; i < 4; ++i) {
        if (byte != static_cast<unsigned char>(magic[i])) return false;
        if (i < 3) byte = read_byte(source);
    }
    return true;
}

// The loader's steps after the image was cleared and the source opened. The
// fields go into a copy of tune_info, which is kept for every outcome but a
// read error: a file that could not be read leaves tune_info as it was, like
// one that could not be opened.
int parse_psid(ByteSource& source) {
    TuneInfo header = tune_info;
    header.irq_mode = 0;
    int result = LOAD_OK;

    if (!magic_is_psid(source)) {
        result = LOAD_NOT_PSID;
    } else {
        header.version = read_word_be(source);
        header.data_offset = read_word_be(source);
        header.load_address = read_word_be(source);
        header.init_address = read_word_be(source);
        header.play_address = read_word_be(source);

        // A tune that installs its own interrupt handler ends it by jumping
        // into the system ROM, which is not here; a return there hands control
        // back to our caller instead. The payload may overwrite these bytes.
        if (header.play_address == 0) {
            memory_image.bytes[system_irq_entry] = opcode_rts;
            memory_image.bytes[system_irq_exit] = opcode_rts;
            header.irq_mode = 1;
        }

        header.songs = read_word_be(source);
        header.start_song = read_word_be(source);
        header.speed = read_speed(source);
        read_text(source, header.name);
        read_text(source, header.author);
        read_text(source, header.released);

        // Only a version-2 header has a flags word; any other leaves none, not
        // the previous tune's.
        header.flags = 0;
        if (header.version == version_with_flags) {
            header.flags = read_word_be(source);
            if (header.flags & flag_mus_data) {
                result = LOAD_MUS;
            } else {
                uint8_t unused[4];
                read_exact(source, unused, sizeof unused);
            }
        }
    }

    if (result == LOAD_OK) {
        // The in-payload load address is little-endian, like the 6502's own words.
        if (header.load_address == 0) {
            uint8_t bytes[2];
            read_exact(source, bytes, sizeof bytes);
            header.load_address = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
        }
        // Up to the top of the image and no further; the rest of the file is
        // never read.
        read_some(source, memory_image.bytes + header.load_address, image_size - header.load_address);
    }

    if (source.failed) {
        std::memset(memory_image.bytes, 0, image_size);
        return LOAD_CANNOT_OPEN;
    }
    tune_info = header;
    return result;
}

}  // namespace

uint32_t swap_bytes32(uint32_t value) {
    return (value >> 24) | (value >> 8 & 0x0000FF00u) | (value << 8 & 0x00FF0000u) | (value << 24);
}

int load_psid(const char* path) {
    // Cleared before the open, so that no outcome leaves the previous tune behind.
    std::memset(memory_image.bytes, 0, image_size);
    if (!path) return LOAD_CANNOT_OPEN;
    FILE* file = std::fopen(path, "rb");
    if (!file) return LOAD_CANNOT_OPEN;
    // A directory opens for reading on some systems and fails on the first
    // read; that read error, like any other, makes the result "cannot open".
    ByteSource source{file, nullptr, 0, 0, false};
    int result = parse_psid(source);
    std::fclose(file);
    return result;
}

int load_psid_bytes(const uint8_t* data, size_t size) {
    std::memset(memory_image.bytes, 0, image_size);
    ByteSource source{nullptr, data, data ? size : 0, 0, false};
    return parse_psid(source);
}
