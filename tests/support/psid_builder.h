#pragma once
// Builds small PSID files inside tests: a header with the fields a test
// cares about, and 6502 code placed at the load address.
#include <cstdint>
#include <string>
#include <vector>

struct PsidBuilder {
    uint16_t version = 2;
    uint16_t data_offset = 0x7C;
    uint16_t load_address = 0x1000;
    uint16_t init_address = 0x1000;
    uint16_t play_address = 0x1003;
    uint16_t songs = 1;
    uint16_t start_song = 1;
    uint32_t speed = 0;
    std::string name = "Test tune";
    std::string author = "Zarvel";
    std::string released = "2026 Zarvel";
    uint16_t flags = 0;
    std::vector<uint8_t> payload;  // copied to load_address

    // Places bytes at a 6502 address inside the payload (growing it).
    PsidBuilder& at(uint16_t address, std::vector<uint8_t> bytes);

    std::vector<uint8_t> bytes() const;

    // Writes the file into a fresh temporary folder and returns its path.
    std::string write(const std::string& file_name = "tune.sid") const;
};

// A temporary folder removed at the end of the test program.
std::string temp_folder();
