#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"
#include "machine/c64_clock.h"
#include "machine/cia.h"
#include "machine/vic_raster.h"

// A small C64 around the tune: the CPU with its IRQ and NMI lines, 64 KB of
// RAM, the processor port at 0x00/0x01 banking the KERNAL and the I/O area
// over that RAM, CIA 1 (IRQ), CIA 2 (NMI) and the VIC's raster part (IRQ). It
// runs tunes that drive themselves: their interrupts come from the chips at
// the cycles a C64 would raise them, and each SID store is kept with its
// cycle. One Machine is a whole, independent C64; nothing here is global.
//
// The chips are brought up to date lazily: when the tune touches the I/O
// area, and at the next cycle at which one of them can raise a line or a
// video frame begins (next_event). An access made by an instruction is seen
// at that instruction's last cycle.

// The SID stores of one register frame, in order, with their cycles.
constexpr int machine_frame_stores = 126;
struct MachineFrame {
    uint64_t cycle;  // when the frame was closed: its place in time
    int32_t count;   // stores held, 0..machine_frame_stores
    uint8_t registers[machine_frame_stores];  // chip * 32 + SID register, as SidWriteLog tags them
    uint8_t values[machine_frame_stores];
    uint64_t store_cycles[machine_frame_stores];
};

// Interrupt sources a tune has used, as bits of Machine::sources_seen.
enum MachineSource : uint32_t {
    SOURCE_CIA1_TIMER_A = 1u << 0,
    SOURCE_CIA1_TIMER_B = 1u << 1,
    SOURCE_RASTER = 1u << 2,
    SOURCE_CIA2_TIMER_A = 1u << 3,
    SOURCE_CIA2_TIMER_B = 1u << 4,
};

constexpr int32_t machine_nesting_depth = 8;  // interrupts within interrupts that are told apart

struct Machine {
    C64Clock clock;
    CpuState cpu;               // registers; cpu.cycles counts the machine's time
    uint8_t ram[65536];
    uint8_t kernal[0x2000];     // seen at 0xE000 while the port's HIRAM bit is set
    uint8_t io[0x1000];         // 0xD000-0xDFFF registers no chip here emulates (SID, colour RAM): as stored
    uint8_t port_direction;     // 0x00: 1 = output
    uint8_t port_data;          // 0x01 as stored
    bool io_visible;            // banking, from the port's bits: 0xD000-0xDFFF is I/O
    bool kernal_visible;        // 0xE000-0xFFFF reads the KERNAL
    Cia cia1;
    Cia cia2;
    VicRaster vic;
    uint64_t chips_cycle;       // the cycle the chips were last brought up to
    uint64_t next_event;        // the chips need looking at once cpu.cycles reaches this
    uint32_t frames_begun;      // video frames begun since the last look
    bool irq_line;              // CIA 1 or the VIC holds IRQ low
    bool nmi_line;              // CIA 2 holds NMI low; NMI is taken on its falling edge
    bool nmi_pending;           // the edge came and the NMI is still to be taken

    // Frames: stores since the last frame, and the frame closed last.
    int32_t interrupt_depth;    // interrupt handlers entered and not yet returned from
    uint8_t handler_sp[machine_nesting_depth];  // sp before each one's entry pushed its three bytes
    uint64_t run_limit;         // the current batch of instructions ends at this cycle, or at once at 0
    MachineFrame pending;
    MachineFrame ready;
    bool frame_ready;
    uint64_t pending_since;     // the cycle of pending's first store
    bool pending_music;         // pending holds a store to a register other than 24
    uint64_t other_sid_windows; // as cpu_call.h defines them: stores there are another chip's
    uint64_t third_sid_windows;

    // A PSID that installs its own handler may point the hardware vector at
    // it without banking the KERNAL out, as players that call it by hand
    // allow; when set, an init that returns with a vector at 0xFFFE in RAM
    // banks the KERNAL out ($01 = $35) so that the vector is used.
    bool psid_vectors;
    bool init_returned;         // the CPU has come back from init to the idle loop
    uint8_t idle_sp;            // the stack pointer init was called from

    // What the tune has shown of itself.
    uint32_t sources_seen;      // MachineSource bits of interrupts taken
    uint32_t volume_stores;     // register 24 stores in the current video frame so far
    bool plays_samples;         // register 24 rewritten faster than any frame can carry
};

// Power-on: RAM zero, the KERNAL and its RAM vectors, the port at $2F/$37,
// the chips reset, the CPU at the idle loop with I set.
void machine_init(Machine* m, const C64Clock& clock);

// The start of a tune as the RSID format defines it: CIA 1 timer A running
// at about 60 Hz (the KERNAL's latch, $4025 PAL / $4295 NTSC) with its
// interrupt on, the other timers stopped at $FFFF, the raster compare line
// at $137 with its interrupt off, the port at port_value ($37 for RSID), and
// the CPU entering init_address with song (0-based) in A, returning into the
// idle loop should it return at all. image (64 KB) becomes the RAM, keeping
// the KERNAL's RAM vectors where the tune did not load over them.
// A PSID (rsid false) finds the VIC as the KERNAL leaves it instead: line 0
// to compare, $D011 = $1B.
void machine_start(Machine* m, const uint8_t* image, uint16_t init_address, uint8_t song, uint8_t port_value,
                   bool rsid = true);

// What a read of address returns now (with side effects: a CIA's ICR clears).
uint8_t machine_read(Machine* m, uint16_t address);
void machine_write(Machine* m, uint16_t address, uint8_t value);

enum MachineStop : int {
    MACHINE_REACHED_CYCLE = 0,  // cpu.cycles >= the cycle asked for
    MACHINE_FRAME_READY = 1,    // m->ready holds a frame to send; take it with machine_take_frame
    MACHINE_JAMMED = 2,         // the CPU stopped for good
};

// Runs the machine until cycle, or until a register frame is closed, which
// comes first. A frame closes at the RTI that ends an interrupt handler which
// stored into the SID, and at the start of each video frame for stores made
// outside any handler.
MachineStop machine_run_until(Machine* m, uint64_t cycle);

// Marks the ready frame taken (its contents stay until the next frame closes).
inline void machine_take_frame(Machine* m) { m->frame_ready = false; }
