#include "machine/machine.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "cpu/cpu_call.h"
#include "machine/cia_timer.h"
#include "machine/kernal.h"
#include "machine/machine_bus.h"

namespace {

// Processor port bits (0x01): LORAM, HIRAM and CHAREN choose what the CPU sees.
constexpr uint8_t port_loram = 0x01;
constexpr uint8_t port_hiram = 0x02;
constexpr uint8_t port_charen = 0x04;
// Inputs on the port read high: the lines are pulled up, and bit 4 (cassette
// sense) reads 1 with no button pressed.
constexpr uint8_t port_pulled_up = 0x17;

constexpr uint16_t sid_register_count_mask = 0x1F;
constexpr uint8_t volume_register = 24;
constexpr uint8_t volume_bits = 0x0F;
// Register 24 stores in one video frame beyond which the tune is playing
// samples through it: 40 a frame is 2,000 a second, where music rewrites it
// at most a few times a frame.
constexpr uint32_t sample_playing_stores = 40;

constexpr uint16_t start_compare_line = 0x137;


void update_banking(Machine* m) {
    uint8_t lines = static_cast<uint8_t>((m->port_data & m->port_direction) | (port_pulled_up & ~m->port_direction));
    bool any_rom = lines & (port_loram | port_hiram);
    m->kernal_visible = lines & port_hiram;
    // With CHAREN clear the character ROM would be seen instead of I/O; we
    // have none, so the RAM beneath shows, as for the BASIC area.
    m->io_visible = any_rom && (lines & port_charen);
}

// The NMI input is edge-triggered: once CIA 2 pulls the line low the NMI is
// owed, even when the same instruction reads the ICR and so lets the line go
// again (tunes that steady the raster time exactly that).
void update_nmi_line(Machine* m) {
    bool nmi = cia_interrupt(&m->cia2);
    if (nmi && !m->nmi_line) {
        m->nmi_pending = true;
        if (m->cia2.icr_data & m->cia2.icr_mask & cia_timer_a_bit) m->sources_seen |= SOURCE_CIA2_TIMER_A;
        if (m->cia2.icr_data & m->cia2.icr_mask & cia_timer_b_bit) m->sources_seen |= SOURCE_CIA2_TIMER_B;
    }
    m->nmi_line = nmi;
}

// Brings the chips up to cycle now, counting the video frames begun for
// the next service to see.
void sync_chips(Machine* m, uint64_t now) {
    if (now <= m->chips_cycle) return;
    uint64_t delta64 = now - m->chips_cycle;
    uint32_t delta = delta64 > UINT32_MAX / 2 ? UINT32_MAX / 2 : static_cast<uint32_t>(delta64);
    m->chips_cycle = now;
    cia_tick(&m->cia1, delta);
    cia_tick(&m->cia2, delta);
    m->frames_begun += vic_tick(&m->vic, delta);
    update_nmi_line(m);
}

// The chips changed or may change: look at them again before the next instruction.
void look_again(Machine* m) {
    m->next_event = 0;
    m->run_limit = 0;
}

void close_frame(Machine* m, uint64_t cycle) {
    if (m->pending.count == 0) return;
    m->pending.cycle = cycle;
    m->ready = m->pending;
    m->frame_ready = true;
    m->pending.count = 0;
    m->pending_music = false;
}

// An interrupt is about to push its three bytes: the handler has returned
// once the stack is back at this level. Handlers nested deeper than the
// record goes are counted as the innermost recorded one.
void enter_handler(Machine* m) {
    if (m->interrupt_depth < machine_nesting_depth) m->handler_sp[m->interrupt_depth++] = m->cpu.sp;
}

// The end of a handler: its stores make a frame, unless all it wrote were
// samples, which wait for the video frame's start with the rest.
void handler_left(Machine* m) {
    if (m->interrupt_depth > 0) --m->interrupt_depth;
    if (!m->plays_samples || m->pending_music) close_frame(m, m->cpu.cycles);
}

// A store into a SID's registers, tagged with its chip as the CPU core's log
// tags them (chip * 32 + register).
void log_sid_store(Machine* m, uint16_t address, uint8_t value, uint64_t cycle) {
    int window = sid_window_of(address);
    int chip = static_cast<int>(((m->other_sid_windows >> window) & 1u) + ((m->third_sid_windows >> window) & 1u));
    uint8_t reg = static_cast<uint8_t>(chip * sid_log_chip_step + (address & sid_register_count_mask));
    MachineFrame& f = m->pending;
    if (reg != volume_register) {
        m->pending_music = true;
    } else {
        if (++m->volume_stores > sample_playing_stores) m->plays_samples = true;
        if (m->plays_samples) {
            // The samples are lost to the synthesizer anyway; one store a frame
            // keeps the filter mode and a volume near the samples' peak.
            for (int32_t i = f.count - 1; i >= 0; --i) {
                if (f.registers[i] != volume_register) continue;
                uint8_t peak = std::max<uint8_t>(f.values[i] & volume_bits, value & volume_bits);
                f.values[i] = static_cast<uint8_t>((value & ~volume_bits) | peak);
                return;
            }
        }
    }
    // A full frame goes out before the next store: a handler may store more
    // than one frame holds, and none of it is lost.
    if (f.count >= machine_frame_stores) close_frame(m, cycle);
    if (f.count == 0) m->pending_since = cycle;
    f.registers[f.count] = reg;
    f.values[f.count] = value;
    f.store_cycles[f.count] = cycle;
    ++f.count;
}

uint8_t io_read(Machine* m, uint16_t address, uint64_t cycle) {
    uint16_t offset = address & 0x0FFF;
    switch (offset >> 8) {
    case 0x0: case 0x1: case 0x2: case 0x3:
        // A main loop polls the raster line without pause; its line needs
        // no catching up of the chips, only the beam's position.
        if ((offset & 0x3F) == VIC_RASTER || (offset & 0x3F) == VIC_CONTROL_1) {
            uint64_t ahead = cycle > m->chips_cycle ? cycle - m->chips_cycle : 0;
            return vic_read_ahead(&m->vic, static_cast<uint8_t>(offset), ahead);
        }
        sync_chips(m, cycle);
        return vic_read(&m->vic, static_cast<uint8_t>(offset));
    case 0xC: {
        sync_chips(m, cycle);
        uint8_t value = cia_read(&m->cia1, static_cast<uint8_t>(offset));
        look_again(m);
        return value;
    }
    case 0xD: {
        sync_chips(m, cycle);
        uint8_t value = cia_read(&m->cia2, static_cast<uint8_t>(offset));
        update_nmi_line(m);
        look_again(m);
        return value;
    }
    default: return m->io[offset];  // the SID's registers read back what was stored, as do colour RAM and expansion
    }
}

void io_write(Machine* m, uint16_t address, uint8_t value, uint64_t cycle) {
    uint16_t offset = address & 0x0FFF;
    switch (offset >> 8) {
    case 0x0: case 0x1: case 0x2: case 0x3:
        sync_chips(m, cycle);
        vic_write(&m->vic, static_cast<uint8_t>(offset), value);
        look_again(m);
        return;
    case 0x4: case 0x5: case 0x6: case 0x7:
        m->io[offset] = value;
        log_sid_store(m, address, value, cycle);
        return;
    case 0xC:
        sync_chips(m, cycle);
        cia_write(&m->cia1, static_cast<uint8_t>(offset), value);
        look_again(m);
        return;
    case 0xD:
        sync_chips(m, cycle);
        cia_write(&m->cia2, static_cast<uint8_t>(offset), value);
        update_nmi_line(m);
        look_again(m);
        return;
    default:
        m->io[offset] = value;
        // The expansion port's area: a second or third SID where the tune put one.
        if (offset >= 0xE00 && ((m->other_sid_windows >> sid_window_of(address)) & 1u))
            log_sid_store(m, address, value, cycle);
        return;
    }
}

// At an instruction boundary once next_event has come: the chips' lines, a
// video frame's start, and when to look next.
void service(Machine* m) {
    uint64_t now = m->cpu.cycles;
    sync_chips(m, now);
    if (m->frames_begun) {
        m->frames_begun = 0;
        m->volume_stores = 0;
        // Stores made outside handlers go out once a frame, and so do samples
        // whatever their handler; a handler that has run for a whole frame
        // without returning is not waited for.
        uint32_t frame = vic_cycles_per_frame(&m->vic);
        bool due = m->interrupt_depth == 0 || m->plays_samples || now - m->pending_since >= frame;
        if (m->pending.count && due)
            close_frame(m, now - m->vic.frame_cycle);
    }
    m->irq_line = cia_interrupt(&m->cia1) || vic_interrupt(&m->vic);
    update_nmi_line(m);
    if (m->nmi_pending) {
        m->nmi_pending = false;
        enter_handler(m);
        MachineBus bus{m};
        cpu_nmi(m->cpu, bus);
        sync_chips(m, m->cpu.cycles);
    }

    uint64_t wait = vic_cycles_to_frame(&m->vic);
    wait = std::min<uint64_t>(wait, cia_cycles_to_interrupt(&m->cia1));
    wait = std::min<uint64_t>(wait, cia_cycles_to_interrupt(&m->cia2));
    if (m->vic.irq_enable & vic_raster_bit) wait = std::min<uint64_t>(wait, vic_cycles_to_compare_line(&m->vic));
    m->next_event = m->cpu.cycles + wait;
}

void take_irq(Machine* m) {
    if (m->cia1.icr_data & m->cia1.icr_mask & cia_timer_a_bit) m->sources_seen |= SOURCE_CIA1_TIMER_A;
    if (m->cia1.icr_data & m->cia1.icr_mask & cia_timer_b_bit) m->sources_seen |= SOURCE_CIA1_TIMER_B;
    if (vic_interrupt(&m->vic)) m->sources_seen |= SOURCE_RASTER;
    enter_handler(m);
    MachineBus bus{m};
    cpu_irq(m->cpu, bus);
}


// The CPU back where init returned to, at the stack level it was called
// from: it waits for interrupts, with them enabled. The loop is not run
// instruction by instruction, and not from memory either, since the tune may
// have banked the KERNAL out: time jumps to the next event in the 3-cycle
// steps of a JMP to itself.
void idle(Machine* m, uint64_t until) {
    if (!m->init_returned) {
        m->init_returned = true;
        if (m->psid_vectors && (m->ram[0xFFFE] | m->ram[0xFFFF])) machine_write(m, 0x0001, 0x35);
    }
    m->cpu.irq_disable = 0;
    if (m->irq_line) return;
    uint64_t target = std::min(until, m->next_event);
    if (target > m->cpu.cycles) m->cpu.cycles += (target - m->cpu.cycles + 2) / 3 * 3;
}

}  // namespace

uint8_t machine_read_at(Machine* m, uint16_t address, uint64_t cycle) {
    if (address >= 0xD000) {
        if (address < 0xE000) {
            if (m->io_visible) return io_read(m, address, cycle);
        } else if (m->kernal_visible) {
            return m->kernal[address - kernal_base];
        }
        return m->ram[address];
    }
    if (address == 0x0000) return m->port_direction;
    if (address == 0x0001)
        return static_cast<uint8_t>((m->port_data & m->port_direction) | (port_pulled_up & ~m->port_direction));
    return m->ram[address];
}

void machine_write_at(Machine* m, uint16_t address, uint8_t value, uint64_t cycle) {
    if ((address & 0xF000) == 0xD000 && m->io_visible) {
        io_write(m, address, value, cycle);
        return;
    }
    // Stores under the KERNAL land in RAM; so do those to the port, whose
    // RAM cell the CPU cannot read back.
    m->ram[address] = value;
    if (address <= 0x0001) {
        if (address == 0) m->port_direction = value;
        else m->port_data = value;
        update_banking(m);
    }
}

uint8_t machine_read(Machine* m, uint16_t address) { return machine_read_at(m, address, m->cpu.cycles); }
void machine_write(Machine* m, uint16_t address, uint8_t value) { machine_write_at(m, address, value, m->cpu.cycles); }

void machine_init(Machine* m, const C64Clock& clock) {
    std::memset(m, 0, sizeof *m);
    m->clock = clock;
    kernal_build(m->kernal);
    kernal_set_ram_vectors(m->ram);
    m->port_direction = 0x2F;
    m->port_data = 0x37;
    update_banking(m);
    cia_init(&m->cia1);
    cia_init(&m->cia2);
    vic_init(&m->vic, static_cast<uint32_t>(clock.cycles_per_line), static_cast<uint32_t>(clock.lines_per_frame));
    m->cpu.sp = 0xFF;
    m->cpu.irq_disable = 1;
    m->cpu.pc = kernal_idle_loop;
}

void machine_start(Machine* m, const uint8_t* image, uint16_t init_address, uint8_t song, uint8_t port_value,
                   bool rsid) {
    C64Clock clock = m->clock;
    uint64_t windows = m->other_sid_windows;
    uint64_t third_windows = m->third_sid_windows;
    bool psid_vectors = m->psid_vectors;
    machine_init(m, clock);
    m->other_sid_windows = windows;
    m->third_sid_windows = third_windows;
    m->psid_vectors = psid_vectors;
    // The tune's bytes over a RAM that holds the KERNAL's vectors: where the
    // file left a vector zero, the KERNAL's stays.
    for (uint32_t a = 0; a < sizeof m->ram; ++a)
        if (image[a]) m->ram[a] = image[a];
    machine_write(m, 0x0001, port_value);

    uint16_t latch = cia_start_latch(clock);
    cia_write(&m->cia1, CIA_TIMER_A_LO, static_cast<uint8_t>(latch));
    cia_write(&m->cia1, CIA_TIMER_A_HI, static_cast<uint8_t>(latch >> 8));
    cia_write(&m->cia1, CIA_ICR, 0x80 | cia_timer_a_bit);
    cia_write(&m->cia1, CIA_CRA, cia_start | cia_force_load);
    uint16_t compare_line = rsid ? start_compare_line : 0;
    vic_write(&m->vic, VIC_CONTROL_1, static_cast<uint8_t>(0x1B | (compare_line >> 1 & 0x80)));
    vic_write(&m->vic, VIC_RASTER, static_cast<uint8_t>(compare_line));

    // Enter init as a JSR from the idle loop would: its RTS lands on the
    // loop, which enables interrupts and waits in them for ever.
    uint16_t back = kernal_idle_loop - 1;
    m->idle_sp = m->cpu.sp;
    m->ram[0x100 + m->cpu.sp] = static_cast<uint8_t>(back >> 8);
    m->cpu.sp = static_cast<uint8_t>(m->cpu.sp - 1);
    m->ram[0x100 + m->cpu.sp] = static_cast<uint8_t>(back);
    m->cpu.sp = static_cast<uint8_t>(m->cpu.sp - 1);
    m->cpu.a = song;
    m->cpu.irq_disable = 0;  // as after a SYS from BASIC
    m->cpu.pc = init_address;
    look_again(m);
}

MachineStop machine_run_until(Machine* m, uint64_t cycle) {
    MachineBus bus{m};
    // Instructions run in batches up to the next event; the batch also ends
    // when an instruction touched a chip (run_limit drops to 0), when an IRQ
    // may be taken, when the CPU is back in the idle loop, and when the stack
    // climbs back to where the innermost interrupt found it: its handler has
    // returned, by RTI or by pulling the interrupt's three bytes itself.
    auto done = [m](CpuState& r, int64_t) {
        r.pc &= 0xFFFF;
        return r.cycles >= m->run_limit || (m->irq_line && !r.irq_disable) ||
               (m->interrupt_depth > 0 && r.sp == m->handler_sp[m->interrupt_depth - 1]) ||
               (r.pc == kernal_idle_loop && r.sp == m->idle_sp);
    };
    while (m->cpu.cycles < cycle) {
        if (m->frame_ready) return MACHINE_FRAME_READY;
        if (m->cpu.jammed) return MACHINE_JAMMED;
        if (m->cpu.cycles >= m->next_event) service(m);
        if (m->frame_ready) return MACHINE_FRAME_READY;
        if (m->irq_line && !m->cpu.irq_disable) {
            take_irq(m);
            continue;
        }
        if (m->cpu.pc == kernal_idle_loop && m->cpu.sp == m->idle_sp) {
            idle(m, cycle);
            continue;
        }
        m->run_limit = std::min(cycle, m->next_event);
        cpu_ops::execute(m->cpu, bus, done);
        m->cpu.pc &= 0xFFFF;
        if (m->interrupt_depth > 0 && m->cpu.sp == m->handler_sp[m->interrupt_depth - 1]) handler_left(m);
    }
    if (m->frame_ready) return MACHINE_FRAME_READY;
    return m->cpu.jammed ? MACHINE_JAMMED : MACHINE_REACHED_CYCLE;
}
