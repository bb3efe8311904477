#include "record.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// Register carried at each of the 28 data positions of a register frame;
// 25..27 carry the later control writes (4, 11, 18).
constexpr int position_register[28] = {0,  1,  2,  3,  5,  6,  7,  8,  9,  10, 12, 13, 14, 15,
                                       16, 17, 19, 20, 21, 22, 23, 24, 4,  11, 18, 4,  11, 18};

std::string hex(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value);
    return text;
}

// One register frame: F0 2D 4E, 4 mask bytes, 4 high-bit bytes, data, F7.
std::string describe_frame(const uint8_t* m, size_t length) {
    if (length < 12) return "bad";
    std::map<int, int> positions;  // position -> 8-bit value
    size_t data = 11;
    for (int p = 0; p < 28; ++p) {
        int bit = 1 << (p % 7);
        if (!(m[3 + p / 7] & bit)) continue;
        if (data >= length - 1) return "bad";
        int high = (m[7 + p / 7] & bit) ? 0x80 : 0;
        positions[p] = m[data++] | high;
    }
    if (data != length - 1) return "bad";

    auto only = [&](std::initializer_list<int> wanted) {
        if (positions.size() != wanted.size()) return false;
        for (int p : wanted) {
            if (!positions.count(p)) return false;
        }
        return true;
    };
    if (m[3] == 0x43 && m[4] == 0x61 && m[5] == 0x70 && m[6] == 0x01 && positions[21] == 15) return "reset";
    if (only({21})) return positions[21] == 0 ? "mute" : "volume=" + hex(positions[21]);
    if (only({4, 21}) && positions[4] == 0x09 && positions[21] == 0x1F) return "init";
    if (only({0, 1})) return "frame=" + std::to_string(positions[1]) + "." + std::to_string(positions[0]);
    std::string out = "regs=";
    for (auto [p, value] : positions) {
        if (out.size() > 5) out += ",";
        out += std::to_string(position_register[p]) + ":" + hex(value);
    }
    return out;
}

}  // namespace

std::string describe_event(const std::vector<uint8_t>& bytes) {
    std::string out;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = at;
        while (end < bytes.size() && bytes[end] != 0xF7) ++end;
        if (end == bytes.size() || end - at < 3 || bytes[at] != 0xF0 || bytes[at + 1] != 0x2D) {
            out += out.empty() ? "bad" : " bad";
            break;
        }
        const uint8_t* message = &bytes[at];
        size_t length = end - at + 1;
        std::string word;
        if (message[2] == 0x4E) {
            word = describe_frame(message, length);
        } else if (message[2] == 0x4F) {
            word = "name=\"" + std::string(message + 3, message + length - 1) + "\"";
        } else {
            word = "sysex=" + hex(message[2]);
        }
        out += out.empty() ? word : " " + word;
        at = end + 1;
    }
    return out.empty() ? "empty" : out;
}

bool read_record(const std::string& path, std::vector<RecordedEvent>& events) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (line.back() == '\t') fields.push_back("");  // an empty event
        if (fields.size() != 4) return false;
        RecordedEvent event;
        char* end;
        event.time_us = std::strtoll(fields[0].c_str(), &end, 10);
        if (*end) return false;
        event.device = fields[1];
        event.delta_ticks = static_cast<uint32_t>(std::strtoul(fields[2].c_str(), &end, 10));
        if (*end) return false;
        std::stringstream hex_bytes(fields[3]);
        for (std::string byte; hex_bytes >> byte;) {
            unsigned long value = std::strtoul(byte.c_str(), &end, 16);
            if (*end || byte.size() != 2) return false;
            event.bytes.push_back(static_cast<uint8_t>(value));
        }
        events.push_back(std::move(event));
    }
    return true;
}
