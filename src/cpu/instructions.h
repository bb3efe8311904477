#pragma once
// The NMOS 6502 instruction set as the chip runs it: addressing modes, then
// the instructions, documented and undocumented alike, decimal mode
// included. opcode_table.h assigns them to opcode bytes with their cycle
// counts; cpu_run.h expands that table into one dispatch loop per bus.
//
// Every operation takes the register file and the bus by reference. The
// loops hand them a local copy of the registers, so that once everything is
// inlined the compiler keeps the registers in machine registers.
//
// The bus (see cpu_run.h) sees every read and write the program makes, with
// the cycle count at the end of the instruction; the chip's idle reads
// (a discarded operand fetch, the read before an indexed address is fixed)
// are not made, since nothing in a C64 tune's reach depends on them.
#include <cstdint>

#include "cpu/cpu_state.h"

namespace cpu_ops {

// pc may sit at 0x10000 when an instruction starts at the top of memory;
// operand bytes fetched past 0xFFFF come from the bottom, as on the chip.
template <class Bus> inline uint8_t fetch(CpuState& s, Bus& b) {
    return b.read(static_cast<uint16_t>(s.pc++), s.cycles);
}
template <class Bus> inline uint32_t fetch_word(CpuState& s, Bus& b) {
    uint32_t low = fetch(s, b);
    return low | static_cast<uint32_t>(fetch(s, b)) << 8;
}

inline void set_nz(CpuState& s, uint8_t result) { s.sign_source = s.zero_source = result; }

// An indexed address costs the chip one more cycle when the index carries
// into the high byte, but only for instructions that just read: stores and
// read-modify-write forms always take that cycle.
inline uint32_t indexed(CpuState& s, uint32_t base, uint8_t index, bool read_only) {
    uint32_t address = base + index;
    if (read_only) s.cycles += ((base & 0xFF) + index) >> 8;
    return address & 0xFFFF;
}

// ---- Addressing modes: ea() yields the effective address inside 0..0xFFFF.
// Zero-page sums and zero-page pointers wrap within page 0.
struct Imm {
    template <class Bus> static uint32_t ea(CpuState& s, Bus&, bool) { return static_cast<uint16_t>(s.pc++); }
};
struct Zp {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool) { return fetch(s, b); }
};
struct ZpX {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool) { return (fetch(s, b) + s.x) & 0xFF; }
};
struct ZpY {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool) { return (fetch(s, b) + s.y) & 0xFF; }
};
struct Abs {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool) { return fetch_word(s, b); }
};
struct AbX {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool read_only) {
        return indexed(s, fetch_word(s, b), s.x, read_only);
    }
};
struct AbY {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool read_only) {
        return indexed(s, fetch_word(s, b), s.y, read_only);
    }
};
template <class Bus> inline uint32_t zero_page_pointer(CpuState& s, Bus& b, uint8_t p) {
    return b.read(p, s.cycles) | static_cast<uint32_t>(b.read(static_cast<uint8_t>(p + 1), s.cycles)) << 8;
}
struct IzX {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool) {
        return zero_page_pointer(s, b, static_cast<uint8_t>(fetch(s, b) + s.x));
    }
};
struct IzY {
    template <class Bus> static uint32_t ea(CpuState& s, Bus& b, bool read_only) {
        return indexed(s, zero_page_pointer(s, b, fetch(s, b)), s.y, read_only);
    }
};

template <class M, class Bus> inline uint8_t load(CpuState& s, Bus& b) {
    return b.read(static_cast<uint16_t>(M::ea(s, b, true)), s.cycles);
}
template <class M, class Bus> inline void store(CpuState& s, Bus& b, uint8_t value) {
    b.write(static_cast<uint16_t>(M::ea(s, b, false)), value, s.cycles);
}

// Read-modify-write: the chip writes the unmodified byte back in the cycle
// before it writes the result. Both writes reach the bus, so a SID register
// changed this way receives both values, as the real chip does.
template <class M, class Bus, class Op> inline void modify(CpuState& s, Bus& b, Op op) {
    uint16_t ea = static_cast<uint16_t>(M::ea(s, b, false));
    uint8_t m = b.read(ea, s.cycles);
    b.write(ea, m, s.cycles - 1);
    b.write(ea, op(m), s.cycles);
}

// ---- Loads, stores, transfers
template <class M, class Bus> inline void lda(CpuState& s, Bus& b) { set_nz(s, s.a = load<M>(s, b)); }
template <class M, class Bus> inline void ldx(CpuState& s, Bus& b) { set_nz(s, s.x = load<M>(s, b)); }
template <class M, class Bus> inline void ldy(CpuState& s, Bus& b) { set_nz(s, s.y = load<M>(s, b)); }
template <class M, class Bus> inline void sta(CpuState& s, Bus& b) { store<M>(s, b, s.a); }
template <class M, class Bus> inline void stx(CpuState& s, Bus& b) { store<M>(s, b, s.x); }
template <class M, class Bus> inline void sty(CpuState& s, Bus& b) { store<M>(s, b, s.y); }
template <class Bus> inline void tax(CpuState& s, Bus&) { set_nz(s, s.x = s.a); }
template <class Bus> inline void tay(CpuState& s, Bus&) { set_nz(s, s.y = s.a); }
template <class Bus> inline void txa(CpuState& s, Bus&) { set_nz(s, s.a = s.x); }
template <class Bus> inline void tya(CpuState& s, Bus&) { set_nz(s, s.a = s.y); }
template <class Bus> inline void txs(CpuState& s, Bus&) { s.sp = s.x; }
template <class Bus> inline void tsx(CpuState& s, Bus&) { set_nz(s, s.x = s.sp); }

// ---- Logic
template <class M, class Bus> inline void ora(CpuState& s, Bus& b) { set_nz(s, s.a |= load<M>(s, b)); }
template <class M, class Bus> inline void and_(CpuState& s, Bus& b) { set_nz(s, s.a &= load<M>(s, b)); }
template <class M, class Bus> inline void eor(CpuState& s, Bus& b) { set_nz(s, s.a ^= load<M>(s, b)); }
template <class M, class Bus> inline void bit(CpuState& s, Bus& b) {  // Z from A AND m; N and V from m itself
    uint8_t m = load<M>(s, b);
    s.zero_source = s.a & m;
    s.sign_source = m;
    s.overflow = (m >> 6) & 1;
}

// ---- Arithmetic. In decimal mode the NMOS chip adjusts the result digit by
// digit, but takes Z from the binary sum, N and V from the sum before the
// high digit is adjusted; SBC takes every flag from the binary difference.
inline void add(CpuState& s, uint8_t m) {
    unsigned binary = s.a + m + s.carry;
    if (!s.decimal) {
        s.carry = binary > 0xFF;
        s.overflow = (~(s.a ^ m) & (s.a ^ binary) & 0x80) != 0;
        set_nz(s, s.a = static_cast<uint8_t>(binary));
        return;
    }
    unsigned low = (s.a & 0x0F) + (m & 0x0F) + s.carry;
    if (low > 9) low = ((low + 6) & 0x0F) + 0x10;
    unsigned sum = (s.a & 0xF0) + (m & 0xF0) + low;
    s.zero_source = static_cast<uint8_t>(binary);
    s.sign_source = static_cast<uint8_t>(sum);
    s.overflow = (~(s.a ^ m) & (s.a ^ sum) & 0x80) != 0;
    if (sum >= 0xA0) sum += 0x60;
    s.carry = sum > 0xFF;
    s.a = static_cast<uint8_t>(sum);
}

inline void subtract(CpuState& s, uint8_t m) {
    unsigned binary = s.a - m - (1 - s.carry);
    uint8_t result = static_cast<uint8_t>(binary);
    s.overflow = ((s.a ^ m) & (s.a ^ binary) & 0x80) != 0;
    if (s.decimal) {
        int low = (s.a & 0x0F) - (m & 0x0F) - (1 - s.carry);
        if (low < 0) low = ((low - 6) & 0x0F) - 0x10;
        int difference = (s.a & 0xF0) - (m & 0xF0) + low;
        if (difference < 0) difference -= 0x60;
        s.a = static_cast<uint8_t>(difference);
    } else {
        s.a = result;
    }
    s.carry = binary <= 0xFF;  // no borrow
    set_nz(s, result);
}

template <class M, class Bus> inline void adc(CpuState& s, Bus& b) { add(s, load<M>(s, b)); }
template <class M, class Bus> inline void sbc(CpuState& s, Bus& b) { subtract(s, load<M>(s, b)); }

inline void compare(CpuState& s, uint8_t reg, uint8_t m) {
    s.carry = reg >= m;
    set_nz(s, static_cast<uint8_t>(reg - m));
}
template <class M, class Bus> inline void cmp(CpuState& s, Bus& b) { compare(s, s.a, load<M>(s, b)); }
template <class M, class Bus> inline void cpx(CpuState& s, Bus& b) { compare(s, s.x, load<M>(s, b)); }
template <class M, class Bus> inline void cpy(CpuState& s, Bus& b) { compare(s, s.y, load<M>(s, b)); }

// ---- Increments, shifts and rotates: each yields its result and sets flags.
inline uint8_t inc_value(CpuState& s, uint8_t m) { uint8_t r = m + 1; set_nz(s, r); return r; }
inline uint8_t dec_value(CpuState& s, uint8_t m) { uint8_t r = m - 1; set_nz(s, r); return r; }
inline uint8_t asl_value(CpuState& s, uint8_t m) {
    s.carry = m >> 7;
    uint8_t r = static_cast<uint8_t>(m << 1);
    set_nz(s, r);
    return r;
}
inline uint8_t lsr_value(CpuState& s, uint8_t m) {
    s.carry = m & 1;
    uint8_t r = m >> 1;
    set_nz(s, r);
    return r;
}
inline uint8_t rol_value(CpuState& s, uint8_t m) {
    uint8_t r = static_cast<uint8_t>(m << 1 | s.carry);
    s.carry = m >> 7;
    set_nz(s, r);
    return r;
}
inline uint8_t ror_value(CpuState& s, uint8_t m) {
    uint8_t r = static_cast<uint8_t>(s.carry << 7 | m >> 1);
    s.carry = m & 1;
    set_nz(s, r);
    return r;
}

template <class M, uint8_t (*op)(CpuState&, uint8_t), class Bus> inline void rmw(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) { return op(s, m); });
}
template <uint8_t (*op)(CpuState&, uint8_t), class Bus> inline void rmw_a(CpuState& s, Bus&) { s.a = op(s, s.a); }
template <class Bus> inline void inx(CpuState& s, Bus&) { set_nz(s, ++s.x); }
template <class Bus> inline void iny(CpuState& s, Bus&) { set_nz(s, ++s.y); }
template <class Bus> inline void dex(CpuState& s, Bus&) { set_nz(s, --s.x); }
template <class Bus> inline void dey(CpuState& s, Bus&) { set_nz(s, --s.y); }

// ---- Branches: one cycle more when taken, another when the target lies in
// another page than the next instruction. pc is not reduced here: the PSID
// call harness abandons a call that branches out of the address space, the
// free-running loop wraps it.
inline bool n_clear(const CpuState& s) { return !(s.sign_source & 0x80); }
inline bool n_set(const CpuState& s) { return s.sign_source & 0x80; }
inline bool v_clear(const CpuState& s) { return !s.overflow; }
inline bool v_set(const CpuState& s) { return s.overflow; }
inline bool c_clear(const CpuState& s) { return !s.carry; }
inline bool c_set(const CpuState& s) { return s.carry; }
inline bool z_clear(const CpuState& s) { return s.zero_source; }
inline bool z_set(const CpuState& s) { return !s.zero_source; }
template <bool (*taken)(const CpuState&), class Bus> inline void branch(CpuState& s, Bus& b) {
    int offset = static_cast<int8_t>(fetch(s, b));
    if (!taken(s)) return;
    int32_t from = s.pc;
    s.pc += offset;
    s.cycles += 1 + (((from ^ s.pc) >> 8) & 1);
}

// ---- Stack: page 0x0100; sp addresses the next free byte, as on the chip.
template <class Bus> inline void push(CpuState& s, Bus& b, uint8_t value) {
    b.write(static_cast<uint16_t>(0x100 | s.sp), value, s.cycles);
    s.sp = static_cast<uint8_t>(s.sp - 1);
}
template <class Bus> inline uint8_t pull(CpuState& s, Bus& b) {
    s.sp = static_cast<uint8_t>(s.sp + 1);
    return b.read(static_cast<uint16_t>(0x100 | s.sp), s.cycles);
}
template <class Bus> inline void push_word(CpuState& s, Bus& b, uint32_t word) {
    push(s, b, static_cast<uint8_t>(word >> 8));
    push(s, b, static_cast<uint8_t>(word));
}
template <class Bus> inline uint32_t pull_word(CpuState& s, Bus& b) {
    uint32_t low = pull(s, b);
    return low | static_cast<uint32_t>(pull(s, b)) << 8;
}

// ---- Jumps, subroutines, interrupts
template <class Bus> inline void jmp(CpuState& s, Bus& b) { s.pc = static_cast<int32_t>(fetch_word(s, b)); }
template <class Bus> inline void jmp_indirect(CpuState& s, Bus& b) {
    // The pointer's high byte comes from the same page: JMP ($10FF) reads
    // $10FF and $1000, the NMOS chip's well-known fault.
    uint32_t w = fetch_word(s, b);
    uint32_t high_at = (w & 0xFF00) | ((w + 1) & 0xFF);
    s.pc = static_cast<int32_t>(b.read(static_cast<uint16_t>(w), s.cycles) |
                                static_cast<uint32_t>(b.read(static_cast<uint16_t>(high_at), s.cycles)) << 8);
}
template <class Bus> inline void jsr(CpuState& s, Bus& b) {  // pushes the address of its own last byte
    uint32_t low = fetch(s, b);
    push_word(s, b, static_cast<uint32_t>(s.pc));
    s.pc = static_cast<int32_t>(low | static_cast<uint32_t>(fetch(s, b)) << 8);
}
template <class Bus> inline void rts(CpuState& s, Bus& b) { s.pc = static_cast<int32_t>(pull_word(s, b) + 1); }
template <class Bus> inline void rti(CpuState& s, Bus& b) {
    set_status_byte(s, pull(s, b));
    s.pc = static_cast<int32_t>(pull_word(s, b));
}
// BRK and the interrupts share one entry: push pc and the status byte, set
// I, continue at the vector. Only BRK pushes the status with B (bit 4) set.
template <class Bus> inline void enter_interrupt(CpuState& s, Bus& b, uint16_t vector, bool brk) {
    push_word(s, b, static_cast<uint32_t>(s.pc));
    push(s, b, static_cast<uint8_t>(status_byte(s) & (brk ? 0xFF : ~0x10)));
    s.irq_disable = 1;
    s.pc = static_cast<int32_t>(b.read(vector, s.cycles) |
                                static_cast<uint32_t>(b.read(static_cast<uint16_t>(vector + 1), s.cycles)) << 8);
}
template <class Bus> inline void brk(CpuState& s, Bus& b) {  // two bytes long: the byte after it is skipped
    ++s.pc;
    enter_interrupt(s, b, 0xFFFE, true);
}
template <class Bus> inline void pha(CpuState& s, Bus& b) { push(s, b, s.a); }
template <class Bus> inline void php(CpuState& s, Bus& b) { push(s, b, status_byte(s)); }
template <class Bus> inline void pla(CpuState& s, Bus& b) { set_nz(s, s.a = pull(s, b)); }
template <class Bus> inline void plp(CpuState& s, Bus& b) { set_status_byte(s, pull(s, b)); }

// ---- Flags
template <class Bus> inline void clc(CpuState& s, Bus&) { s.carry = 0; }
template <class Bus> inline void sec(CpuState& s, Bus&) { s.carry = 1; }
template <class Bus> inline void cld(CpuState& s, Bus&) { s.decimal = 0; }
template <class Bus> inline void sed(CpuState& s, Bus&) { s.decimal = 1; }
template <class Bus> inline void cli(CpuState& s, Bus&) { s.irq_disable = 0; }
template <class Bus> inline void sei(CpuState& s, Bus&) { s.irq_disable = 1; }
template <class Bus> inline void clv(CpuState& s, Bus&) { s.overflow = 0; }

// ---- No-ops of every length. The undocumented ones with an operand read it
// (and pay the page-crossing cycle), as the chip does.
template <class Bus> inline void nop(CpuState&, Bus&) {}
template <class M, class Bus> inline void nop_read(CpuState& s, Bus& b) { load<M>(s, b); }

// The JAM opcodes stop the chip until a reset: pc stays on the opcode. The
// loops end at once when one runs (see cpu_run.h).
template <class Bus> inline void jam(CpuState& s, Bus&) {
    s.pc -= 1;
    s.jammed = 1;
}

// ---- Undocumented instructions. The combined ones are the two documented
// instructions they are made of, one after the other, on the same byte.
template <class M, class Bus> inline void slo(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = asl_value(s, m);
        set_nz(s, s.a |= r);
        return r;
    });
}
template <class M, class Bus> inline void rla(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = rol_value(s, m);
        set_nz(s, s.a &= r);
        return r;
    });
}
template <class M, class Bus> inline void sre(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = lsr_value(s, m);
        set_nz(s, s.a ^= r);
        return r;
    });
}
template <class M, class Bus> inline void rra(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = ror_value(s, m);
        add(s, r);
        return r;
    });
}
template <class M, class Bus> inline void dcp(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = static_cast<uint8_t>(m - 1);
        compare(s, s.a, r);
        return r;
    });
}
template <class M, class Bus> inline void isc(CpuState& s, Bus& b) {
    modify<M>(s, b, [&s](uint8_t m) {
        uint8_t r = static_cast<uint8_t>(m + 1);
        subtract(s, r);
        return r;
    });
}
template <class M, class Bus> inline void sax(CpuState& s, Bus& b) { store<M>(s, b, s.a & s.x); }
template <class M, class Bus> inline void lax(CpuState& s, Bus& b) { set_nz(s, s.a = s.x = load<M>(s, b)); }
template <class Bus> inline void las(CpuState& s, Bus& b) {
    uint8_t r = load<AbY>(s, b) & s.sp;
    s.sp = s.a = s.x = r;
    set_nz(s, r);
}
template <class Bus> inline void anc(CpuState& s, Bus& b) {  // C copies N
    set_nz(s, s.a &= load<Imm>(s, b));
    s.carry = s.a >> 7;
}
template <class Bus> inline void alr(CpuState& s, Bus& b) {  // AND, then LSR A
    s.a = lsr_value(s, s.a & load<Imm>(s, b));
}
// ARR: AND, then ROR A, with flags from the adder that the chip runs beside
// the shifter. In decimal mode the adder's digit corrections apply as well.
template <class Bus> inline void arr(CpuState& s, Bus& b) {
    uint8_t t = s.a & load<Imm>(s, b);
    uint8_t r = static_cast<uint8_t>(s.carry << 7 | t >> 1);
    if (!s.decimal) {
        set_nz(s, r);
        s.carry = (r >> 6) & 1;
        s.overflow = ((r >> 6) ^ (r >> 5)) & 1;
        s.a = r;
        return;
    }
    s.sign_source = static_cast<uint8_t>(s.carry << 7);
    s.zero_source = r;
    s.overflow = ((t ^ r) >> 6) & 1;
    if ((t & 0x0F) + (t & 0x01) > 5) r = static_cast<uint8_t>((r & 0xF0) | ((r + 6) & 0x0F));
    s.carry = (t & 0xF0) + (t & 0x10) > 0x50;
    if (s.carry) r = static_cast<uint8_t>(r + 0x60);
    s.a = r;
}
template <class Bus> inline void sbx(CpuState& s, Bus& b) {  // X = (A AND X) - m, a compare's flags; D plays no part
    uint8_t m = load<Imm>(s, b);
    uint8_t ax = s.a & s.x;
    compare(s, ax, m);
    s.x = static_cast<uint8_t>(ax - m);
}
// ANE ($8B) and LXA ($AB) mix A with a constant that differs from chip to
// chip and with temperature; this core uses the widely published $EE:
// ANE: A = (A OR $EE) AND X AND m; LXA: A = X = (A OR $EE) AND m.
constexpr uint8_t unstable_magic = 0xEE;
template <class Bus> inline void ane(CpuState& s, Bus& b) {
    set_nz(s, s.a = (s.a | unstable_magic) & s.x & load<Imm>(s, b));
}
template <class Bus> inline void lxa(CpuState& s, Bus& b) {
    set_nz(s, s.a = s.x = (s.a | unstable_magic) & load<Imm>(s, b));
}
// SHA, SHX, SHY and TAS store a register AND (the base address's high byte
// + 1). When the index carries into the high byte, the chip puts the stored
// value on the high address lines too, so the store lands elsewhere.
template <class Bus> inline void store_high_and(CpuState& s, Bus& b, uint32_t base, uint8_t index, uint8_t value) {
    uint32_t address = base + index;
    uint8_t stored = value & static_cast<uint8_t>((base >> 8) + 1);
    if ((address ^ base) & 0xFF00) address = (static_cast<uint32_t>(stored) << 8) | (address & 0xFF);
    b.write(static_cast<uint16_t>(address), stored, s.cycles);
}
template <class Bus> inline void sha_izy(CpuState& s, Bus& b) {
    store_high_and(s, b, zero_page_pointer(s, b, fetch(s, b)), s.y, s.a & s.x);
}
template <class Bus> inline void sha_aby(CpuState& s, Bus& b) { store_high_and(s, b, fetch_word(s, b), s.y, s.a & s.x); }
template <class Bus> inline void shx(CpuState& s, Bus& b) { store_high_and(s, b, fetch_word(s, b), s.y, s.x); }
template <class Bus> inline void shy(CpuState& s, Bus& b) { store_high_and(s, b, fetch_word(s, b), s.x, s.y); }
template <class Bus> inline void tas(CpuState& s, Bus& b) {
    s.sp = s.a & s.x;
    store_high_and(s, b, fetch_word(s, b), s.y, s.sp);
}

}  // namespace cpu_ops
