#include "psid_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

void put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_text(std::vector<uint8_t>& out, const std::string& text) {
    for (size_t i = 0; i < 32; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

struct TempRoot {
    std::filesystem::path path;
    TempRoot() {
        char pattern[] = "/tmp/zarvel-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

PsidBuilder& PsidBuilder::at(uint16_t address, std::vector<uint8_t> code) {
    size_t offset = static_cast<size_t>(address - load_address);
    if (payload.size() < offset + code.size()) payload.resize(offset + code.size());
    std::copy(code.begin(), code.end(), payload.begin() + static_cast<long>(offset));
    return *this;
}

std::vector<uint8_t> PsidBuilder::bytes() const {
    std::vector<uint8_t> out = {'P', 'S', 'I', 'D'};
    put16(out, version);
    put16(out, data_offset);
    put16(out, load_address);
    put16(out, init_address);
    put16(out, play_address);
    put16(out, songs);
    put16(out, start_song);
    put16(out, static_cast<uint16_t>(speed >> 16));
    put16(out, static_cast<uint16_t>(speed));
    put_text(out, name);
    put_text(out, author);
    put_text(out, released);
    if (version == 2) {
        put16(out, flags);
        out.insert(out.end(), 4, 0);
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::string temp_folder() {
    static TempRoot root;
    static int counter = 0;
    auto folder = root.path / std::to_string(++counter);
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::string PsidBuilder::write(const std::string& file_name) const {
    std::string path = temp_folder() + "/" + file_name;
    std::vector<uint8_t> data = bytes();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    std::fwrite(data.data(), 1, data.size(), file);
    std::fclose(file);
    return path;
}
