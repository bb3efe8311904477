#pragma once
// PSID files built byte by byte for the loader's tests, and a scratch folder
// to put them in.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace psid_test {

using Bytes = std::vector<uint8_t>;

// The header fields in the order a PSID file holds them. The six-byte
// extension of versions 2 to 4 (flags, then four bytes: start page, page
// length, second and third SID) is written when with_extension is set, which
// by default follows the version.
struct Header {
    std::string magic = "PSID";
    uint16_t version = 1;
    uint16_t data_offset = 0x0076;
    uint16_t load_address = 0x1000;
    uint16_t init_address = 0x1000;
    uint16_t play_address = 0x1003;
    uint16_t songs = 1;
    uint16_t start_song = 1;
    uint8_t speed[4] = {0, 0, 0, 0};
    Bytes name = text("Name");
    Bytes author = text("Author");
    Bytes released = text("Released");
    uint16_t flags = 0;
    uint8_t reserved[4] = {0xEE, 0xEE, 0xEE, 0xEE};  // never reaches the image
    int with_extension = -1;                           // -1: when version is 2 to 4

    // A 32-byte field: the text, then zeros.
    static Bytes text(const std::string& s) {
        Bytes field(32, 0);
        for (size_t i = 0; i < s.size() && i < 32; ++i) field[i] = static_cast<uint8_t>(s[i]);
        return field;
    }
};

inline void put_word(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline Bytes psid_file(const Header& h, const Bytes& payload = {}) {
    Bytes out(h.magic.begin(), h.magic.end());
    put_word(out, h.version);
    put_word(out, h.data_offset);
    put_word(out, h.load_address);
    put_word(out, h.init_address);
    put_word(out, h.play_address);
    put_word(out, h.songs);
    put_word(out, h.start_song);
    out.insert(out.end(), h.speed, h.speed + 4);
    for (const Bytes* field : {&h.name, &h.author, &h.released}) {
        Bytes padded = *field;
        padded.resize(32, 0);
        out.insert(out.end(), padded.begin(), padded.end());
    }
    bool extension = h.with_extension < 0 ? h.version >= 2 && h.version <= 4 : h.with_extension != 0;
    if (extension) {
        put_word(out, h.flags);
        out.insert(out.end(), h.reserved, h.reserved + 4);
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes bytes to a file of that name in the folder; returns its path.
    std::string write(const std::string& name, const Bytes& bytes) const;

private:
    std::filesystem::path path_;
};

// Bytes this process has asked the kernel to read so far (/proc/self/io).
uint64_t bytes_read_by_process();

}  // namespace psid_test
