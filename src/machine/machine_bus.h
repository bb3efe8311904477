#pragma once
// The bus the instruction set runs on inside a Machine: RAM straight through
// for the addresses no banking or chip can cover, the rest through the
// machine. Only machine.cpp and the machine's tests and benchmarks include it.
#include <cstdint>

#include "cpu/cpu_run.h"
#include "machine/machine.h"

// A read or write at cycle, the last cycle of the instruction making it.
uint8_t machine_read_at(Machine* m, uint16_t address, uint64_t cycle);
void machine_write_at(Machine* m, uint16_t address, uint8_t value, uint64_t cycle);

struct MachineBus {
    Machine* m;
    // 0x0002..0x9FFF is RAM whatever the port says; only the port itself,
    // the BASIC, I/O and KERNAL areas need the machine.
    uint8_t read(uint16_t address, uint64_t cycle) {
        if (static_cast<uint16_t>(address - 2) < 0xA000 - 2) return m->ram[address];
        return machine_read_at(m, address, cycle);
    }
    void write(uint16_t address, uint8_t value, uint64_t cycle) {
        if (static_cast<uint16_t>(address - 2) < 0xD000 - 2) {
            m->ram[address] = value;
            return;
        }
        machine_write_at(m, address, value, cycle);
    }
};
