#pragma once
#include <cstdint>

// The small part of the C64's KERNAL that tunes rely on, written here as 6502
// code: the interrupt entries that dispatch through the RAM vectors at
// 0x0314 (IRQ), 0x0316 (BRK) and 0x0318 (NMI), the exits tunes jump to when
// their handler is done (0xEA31, 0xEA7E, 0xEA81, 0xFEBC), and the hardware
// vectors at 0xFFFA-0xFFFF. Everything else in 0xE000-0xFFFF reads as 0x60
// (RTS), so a call into a KERNAL routine we do not have returns at once
// rather than running into the void.

constexpr uint16_t kernal_base = 0xE000;
constexpr uint32_t kernal_size = 0x2000;

constexpr uint16_t kernal_irq_entry = 0xFF48;     // the hardware IRQ vector's target
constexpr uint16_t kernal_nmi_entry = 0xFE43;     // the hardware NMI vector's target
constexpr uint16_t kernal_irq_handler = 0xEA31;   // the system IRQ handler: acknowledges CIA 1
constexpr uint16_t kernal_irq_acknowledge = 0xEA7E;  // reads CIA 1's ICR, then the exit below
constexpr uint16_t kernal_irq_exit = 0xEA81;      // pulls Y, X, A and returns from the interrupt
constexpr uint16_t kernal_nmi_handler = 0xFE47;   // the system NMI handler: acknowledges CIA 2
constexpr uint16_t kernal_nmi_exit = 0xFEBC;      // pulls Y, X, A and returns from the interrupt
constexpr uint16_t kernal_idle_loop = 0xFCE2;     // where an init that returns ends up: CLI, then spin

constexpr uint16_t irq_ram_vector = 0x0314;
constexpr uint16_t brk_ram_vector = 0x0316;
constexpr uint16_t nmi_ram_vector = 0x0318;

// Fills rom (kernal_size bytes, seen at kernal_base) with our KERNAL.
void kernal_build(uint8_t* rom);

// Stores the RAM vectors the KERNAL sets up at power-on into ram (64 KB).
void kernal_set_ram_vectors(uint8_t* ram);
