#include "player/psid_loader.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cpu/cpu_call.h"
#include "cpu/memory_image.h"
#include "player/tune_info.h"

TuneInfo tune_info;

namespace {

// Versions 2 to 4 share the 124-byte header: the 118 bytes of version 1, the
// flags word, a start page and page length (not used here), and from version
// 3 on the second and third SID chips' addresses.
constexpr uint16_t first_long_header_version = 2;
constexpr uint16_t last_long_header_version = 4;
constexpr uint16_t first_version_with_more_sids = 3;
constexpr uint16_t flag_mus_data = 0x0001;
constexpr uint16_t flag_basic_program = 0x0002;  // in an RSID; a PSID's bit 1 means something else
constexpr uint16_t system_irq_entry = 0xEA31;  // where a C64 tune's handler jumps when done
constexpr uint16_t system_irq_exit = 0xFF48;
constexpr uint8_t opcode_rts = 0x60;
constexpr size_t image_size = sizeof memory_image.bytes;

// The magic is read as a text token, so white space before it is skipped. A
// PSID file never has any; the limit keeps a file full of blanks from being
// read to its end in search of a token.
constexpr int leading_space_limit = 64;

LoadRefusal refusal = LoadRefusal::none;
int error_number = 0;

// Where the loader's bytes come from: a file read once, front to back, or
// bytes already in memory. Past the end, bytes read as zero and ended is
// set; a read error is kept so that the parse can refuse the file rather
// than load zeros.
struct ByteSource {
    FILE* file;           // read when set
    const uint8_t* data;  // otherwise these bytes
    size_t size;
    size_t position;
    bool failed;
    bool ended;
};

// Reads up to count bytes into out and returns how many arrived.
size_t read_some(ByteSource& source, uint8_t* out, size_t count) {
    size_t got;
    if (source.file) {
        got = std::fread(out, 1, count, source.file);
        if (got < count && std::ferror(source.file) && !source.failed) {
            source.failed = true;
            error_number = errno;
        }
    } else {
        size_t left = source.size - source.position;
        got = count < left ? count : left;
        if (got) std::memcpy(out, source.data + source.position, got);
        source.position += got;
    }
    if (got < count) source.ended = true;
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

enum class Magic { psid, rsid, other };

// Skips white space, then takes up to four characters that are not white
// space, as scanf's "%4s" would. The token ends at the first white space,
// which is then not consumed; a shorter token is neither magic, and the
// parse stops there, so nothing needs putting back.
Magic read_magic(ByteSource& source) {
    int byte = read_byte(source);
    for (int skipped = 0; is_space(byte); ++skipped) {
        if (skipped == leading_space_limit) return Magic::other;
        byte = read_byte(source);
    }
    char token[4];
    for (int i = 0; i < 4; ++i) {
        if (byte < 0 || is_space(byte)) return Magic::other;
        token[i] = static_cast<char>(byte);
        if (i < 3) byte = read_byte(source);
    }
    if (std::memcmp(token, "PSID", 4) == 0) return Magic::psid;
    if (std::memcmp(token, "RSID", 4) == 0) return Magic::rsid;
    return Magic::other;
}

bool has_long_header(uint16_t version) {
    return version >= first_long_header_version && version <= last_long_header_version;
}

// A header's SID address byte xx names a chip at 0xDxx0. Only even values in
// 0x42..0x7E (inside the first SID's mirror area) or 0xE0..0xFE (the I/O
// expansion area) name a chip; anything else means there is none (0).
uint16_t sid_chip_address(uint8_t byte) {
    bool valid = (byte & 1) == 0 && ((byte >= 0x42 && byte <= 0x7E) || byte >= 0xE0);
    return valid ? static_cast<uint16_t>(0xD000 | byte << 4) : 0;
}

// Copies the payload to its load address in image and says whether it held
// any tune data: at least one byte to place, after the two address bytes when
// the header leaves the load address to the payload.
bool read_payload(ByteSource& source, TuneInfo& header, uint8_t* image) {
    // The in-payload load address is little-endian, like the 6502's own words.
    if (header.load_address == 0) {
        uint8_t bytes[2];
        if (read_some(source, bytes, sizeof bytes) < sizeof bytes) return false;
        header.load_address = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    }
    // Up to the top of the image and no further; the rest of the file is
    // never read.
    size_t placed = read_some(source, image + header.load_address, image_size - header.load_address);
    header.load_end = static_cast<uint32_t>(header.load_address + placed);
    return placed > 0;
}

// The file format's meaning of the header's zeros: an init address of 0 is
// the load address, 0 songs are one song, and a start song of 0 or past the
// last song is song 1.
void apply_header_defaults(TuneInfo& header) {
    if (header.init_address == 0) header.init_address = header.load_address;
    if (header.songs == 0) header.songs = 1;
    if (header.start_song == 0 || header.start_song > header.songs) header.start_song = 1;
}

LoadResult refuse(LoadRefusal reason, LoadResult result) {
    refusal = reason;
    return result;
}

// The loader's steps after the image was cleared and the source opened. The
// fields go into a copy of info, which is kept for every outcome but a read
// error: a file that could not be read leaves info as it was, like one that
// could not be opened. A check parses into scratch copies of both.
LoadResult parse_psid(ByteSource& source, uint8_t* image, TuneInfo& info) {
    TuneInfo header = info;
    header.irq_mode = 0;
    header.rsid = 0;
    LoadResult result = LOAD_OK;
    refusal = LoadRefusal::none;

    Magic magic = read_magic(source);
    if (magic == Magic::other) {
        result = refuse(LoadRefusal::no_psid_magic, LOAD_NOT_PSID);
    } else {
        header.rsid = magic == Magic::rsid ? 1 : 0;
        header.version = read_word_be(source);
        header.data_offset = read_word_be(source);
        header.load_address = read_word_be(source);
        header.init_address = read_word_be(source);
        header.play_address = read_word_be(source);

        // A tune that installs its own interrupt handler ends it by jumping
        // into the system ROM, which is not here; a return there hands control
        // back to our caller instead. The payload may overwrite these bytes.
        if (header.play_address == 0) {
            image[system_irq_entry] = opcode_rts;
            image[system_irq_exit] = opcode_rts;
            header.irq_mode = 1;
        }

        header.songs = read_word_be(source);
        header.start_song = read_word_be(source);
        header.speed = read_speed(source);
        read_text(source, header.name);
        read_text(source, header.author);
        read_text(source, header.released);

        // A short header leaves no flags and no extra chips, not the
        // previous tune's.
        header.flags = 0;
        header.second_sid_address = 0;
        header.third_sid_address = 0;
        if (has_long_header(header.version)) {
            header.flags = read_word_be(source);
            uint8_t rest[4];  // start page, page length, second and third SID
            read_exact(source, rest, sizeof rest);
            if (header.version >= first_version_with_more_sids) {
                header.second_sid_address = sid_chip_address(rest[2]);
                header.third_sid_address = sid_chip_address(rest[3]);
            }
        }

        if (source.ended) {
            result = refuse(LoadRefusal::ends_inside_header, LOAD_NOT_PSID);
        } else if (header.flags & flag_mus_data) {
            result = refuse(LoadRefusal::mus_data, LOAD_MUS);
        } else if (header.rsid && (header.flags & flag_basic_program)) {
            result = refuse(LoadRefusal::basic_program, LOAD_BASIC);
        } else if (!read_payload(source, header, image)) {
            result = refuse(LoadRefusal::no_tune_data, LOAD_NOT_PSID);
        }
    }

    if (source.failed) {
        std::memset(image, 0, image_size);
        refusal = LoadRefusal::cannot_read;
        return LOAD_CANNOT_OPEN;
    }
    if (result == LOAD_NOT_PSID) {
        // Nothing of a file that is no tune stays in the image.
        std::memset(image, 0, image_size);
        header.irq_mode = 0;
        header.rsid = 0;
    }
    if (result == LOAD_OK) apply_header_defaults(header);
    info = header;
    return result;
}

// Where the CPU core tells a second and third SID's stores from the first's.
void set_sid_windows(const TuneInfo& info) {
    uint64_t second = sid_window_bit(info.second_sid_address);
    // A third chip is one only beside a second, and never in its window.
    uint64_t third = second ? sid_window_bit(info.third_sid_address) & ~second : 0;
    other_sid_windows = second | third;
    third_sid_windows = third;
}

// A parse into the machine: the image and tune_info, and the CPU core's
// windows of the other SID chips.
LoadResult parse_into_machine(ByteSource& source) {
    LoadResult result = parse_psid(source, memory_image.bytes, tune_info);
    if (result == LOAD_OK) set_sid_windows(tune_info);
    return result;
}

// The most a parse reads: the blanks skipped before the magic, the longest
// header, the payload's own load address and a payload up to the top of the
// image. A file's bytes past these never change a load's outcome.
constexpr size_t most_bytes_parsed = leading_space_limit + 124 + 2 + image_size;

// The file check_psid_file read, for load_checked_psid; and the image and
// header its parse wrote instead of the machine's.
uint8_t checked_bytes[most_bytes_parsed];
size_t checked_size = 0;
uint8_t scratch_image[image_size];
TuneInfo scratch_info;

// Every load starts from an empty image that belongs to no tune.
void clear_for_load() {
    std::memset(memory_image.bytes, 0, image_size);
    other_sid_windows = 0;
    third_sid_windows = 0;
    refusal = LoadRefusal::none;
    error_number = 0;
}

}  // namespace

uint32_t swap_bytes32(uint32_t value) {
    return (value >> 24) | (value >> 8 & 0x0000FF00u) | (value << 8 & 0x00FF0000u) | (value << 24);
}

namespace {

// The file for reading, or null with the system's reason in error_number.
FILE* open_tune_file(const char* path) {
    if (!path) return nullptr;
    errno = 0;
    FILE* file = std::fopen(path, "rb");
    if (!file) error_number = errno;
    return file;
}

}  // namespace

LoadResult load_psid(const char* path) {
    // Cleared before the open, so that no outcome leaves the previous tune behind.
    clear_for_load();
    FILE* file = open_tune_file(path);
    if (!file) return refuse(LoadRefusal::cannot_open, LOAD_CANNOT_OPEN);
    // A directory opens for reading on some systems and fails on the first
    // read; that read error, like any other, makes the result "cannot open".
    ByteSource source{file, nullptr, 0, 0, false, false};
    LoadResult result = parse_into_machine(source);
    std::fclose(file);
    return result;
}

LoadResult load_psid_bytes(const uint8_t* data, size_t size) {
    clear_for_load();
    ByteSource source{nullptr, data, data ? size : 0, 0, false, false};
    return parse_into_machine(source);
}

LoadResult check_psid_file(const char* path) {
    checked_size = 0;
    refusal = LoadRefusal::none;
    error_number = 0;
    FILE* file = open_tune_file(path);
    if (!file) return refuse(LoadRefusal::cannot_open, LOAD_CANNOT_OPEN);
    ByteSource source{file, nullptr, 0, 0, false, false};
    size_t size = read_some(source, checked_bytes, sizeof checked_bytes);
    std::fclose(file);
    if (source.failed) return refuse(LoadRefusal::cannot_read, LOAD_CANNOT_OPEN);

    ByteSource bytes{nullptr, checked_bytes, size, 0, false, false};
    scratch_info = tune_info;
    LoadResult result = parse_psid(bytes, scratch_image, scratch_info);
    if (result == LOAD_OK) checked_size = size;
    return result;
}

LoadResult load_checked_psid() {
    if (checked_size == 0) {
        clear_for_load();
        return refuse(LoadRefusal::no_psid_magic, LOAD_NOT_PSID);
    }
    size_t size = checked_size;
    checked_size = 0;
    return load_psid_bytes(checked_bytes, size);
}

void reset_loaded_tune() {
    std::memset(&tune_info, 0, sizeof tune_info);
    refusal = LoadRefusal::none;
    error_number = 0;
}

LoadRefusal last_load_refusal() { return refusal; }

int load_error_number() { return error_number; }
