#include "machine/kernal.h"

#include <cstring>

namespace {

struct Routine {
    uint16_t address;
    uint8_t length;
    uint8_t bytes[24];
};

// clang-format off
const Routine routines[] = {
    // The IRQ entry pushes A, X, Y and tells BRK from IRQ by the B bit of the
    // pushed status, as the C64's does.
    {kernal_irq_entry, 19, {
        0x48,             // PHA
        0x8A,             // TXA
        0x48,             // PHA
        0x98,             // TYA
        0x48,             // PHA
        0xBA,             // TSX
        0xBD, 0x04, 0x01, // LDA $0104,X  ; the pushed status
        0x29, 0x10,       // AND #$10     ; B: a BRK
        0xF0, 0x03,       // BEQ +3
        0x6C, 0x16, 0x03, // JMP ($0316)
        0x6C, 0x14, 0x03, // JMP ($0314)
    }},
    // The system handler's keyboard scan and clock are of no use to a tune;
    // what stays is the acknowledge of CIA 1, without which its interrupt
    // would come straight back.
    {kernal_irq_handler, 3, {0x4C, 0x7E, 0xEA}},           // JMP $EA7E
    {kernal_irq_acknowledge, 9, {
        0xAD, 0x0D, 0xDC, // LDA $DC0D
        0x68,             // PLA
        0xA8,             // TAY
        0x68,             // PLA
        0xAA,             // TAX
        0x68,             // PLA
        0x40,             // RTI
    }},
    {kernal_nmi_entry, 4, {
        0x78,             // SEI
        0x6C, 0x18, 0x03, // JMP ($0318)
    }},
    {kernal_nmi_handler, 11, {
        0x48,             // PHA
        0x8A,             // TXA
        0x48,             // PHA
        0x98,             // TYA
        0x48,             // PHA
        0xAD, 0x0D, 0xDD, // LDA $DD0D    ; acknowledge CIA 2
        0x4C, 0xBC, 0xFE, // JMP $FEBC
    }},
    {kernal_nmi_exit, 6, {0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40}},  // PLA TAY PLA TAX PLA RTI
    {kernal_idle_loop, 4, {
        0x58,             // CLI
        0x4C, 0xE3, 0xFC, // JMP $FCE3
    }},
    {0xFFFA, 6, {
        0x43, 0xFE,       // NMI
        0xE2, 0xFC,       // RESET: the idle loop
        0x48, 0xFF,       // IRQ and BRK
    }},
};
// clang-format on

constexpr uint8_t opcode_rts = 0x60;
constexpr uint8_t opcode_nop = 0xEA;

}  // namespace

void kernal_build(uint8_t* rom) {
    std::memset(rom, opcode_rts, kernal_size);
    // Tunes also end their handlers by jumping into the middle of the system
    // handler (JMP $EA34, past its clock update): every entry into it slides
    // on to the acknowledge, as the C64's own code would arrive there.
    std::memset(rom + (kernal_irq_handler - kernal_base), opcode_nop, kernal_irq_acknowledge - kernal_irq_handler);
    for (const Routine& r : routines) std::memcpy(rom + (r.address - kernal_base), r.bytes, r.length);
}

void kernal_set_ram_vectors(uint8_t* ram) {
    auto put = [ram](uint16_t at, uint16_t target) {
        ram[at] = static_cast<uint8_t>(target);
        ram[at + 1] = static_cast<uint8_t>(target >> 8);
    };
    put(irq_ram_vector, kernal_irq_handler);
    put(brk_ram_vector, kernal_irq_exit);  // a BRK returns: there is no monitor to enter
    put(nmi_ram_vector, kernal_nmi_handler);
}
