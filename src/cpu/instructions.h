#pragma once
// The 6502 instruction set as this core runs it: addressing modes, then the
// instructions. Several behave unlike the chip on purpose, and tunes may
// observe it: BRK and the empty slots are one-byte no-ops, 0x34 is one byte
// long, RTI returns to the pulled address plus one, there is no decimal
// arithmetic, and the undocumented instructions compute what their comments
// say. opcode_table.h assigns them to opcode bytes.
//
// Every operation works on a CpuState passed by reference: cpu_run hands them
// a local copy of the registers, so that once everything is inlined the
// compiler keeps the registers in machine registers for the whole call.
#include <type_traits>

#include "cpu/cpu_call.h"

namespace cpu_ops {

inline uint8_t* const ram = memory_image.bytes;

// pc may sit at 0x10000 when an instruction starts at the top of memory;
// operand bytes fetched past 0xFFFF come from the bottom, as on the chip.
inline uint8_t fetch(CpuState& s) { return ram[s.pc++ & 0xFFFF]; }
inline uint32_t fetch_word(CpuState& s) {
    uint32_t low = fetch(s);
    return low | static_cast<uint32_t>(fetch(s)) << 8;
}

inline void set_nz(CpuState& s, uint8_t result) { s.sign_source = s.zero_source = result; }
inline int signed_byte(uint8_t value) { return static_cast<int8_t>(value); }

// ---- Addressing modes: ea() yields the effective address inside 0..0xFFFF.
// Sums past 0xFFFF wrap modulo 65,536; zero-page sums wrap within the page.
struct Imm { static constexpr int size = 2; static uint32_t ea(CpuState& s) { return s.pc++ & 0xFFFF; } };
struct Zp  { static constexpr int size = 2; static uint32_t ea(CpuState& s) { return fetch(s); } };
struct ZpX { static constexpr int size = 2; static uint32_t ea(CpuState& s) { return (fetch(s) + s.x) & 0xFF; } };
struct ZpY { static constexpr int size = 2; static uint32_t ea(CpuState& s) { return (fetch(s) + s.y) & 0xFF; } };
struct Abs { static constexpr int size = 3; static uint32_t ea(CpuState& s) { return fetch_word(s); } };
struct AbX { static constexpr int size = 3; static uint32_t ea(CpuState& s) { return (fetch_word(s) + s.x) & 0xFFFF; } };
struct AbY { static constexpr int size = 3; static uint32_t ea(CpuState& s) { return (fetch_word(s) + s.y) & 0xFFFF; } };
struct IzX {  // pointer at (operand + x) in page 0; for 0xFF its high byte comes from 0x0100
    static constexpr int size = 2;
    static uint32_t ea(CpuState& s) {
        uint32_t p = (fetch(s) + s.x) & 0xFF;
        return ram[p] | static_cast<uint32_t>(ram[p + 1]) << 8;
    }
};
struct IzY {  // pointer in page 0 whose high byte wraps within the page, plus y
    static constexpr int size = 2;
    static uint32_t ea(CpuState& s) {
        uint32_t p = fetch(s);
        uint32_t base = ram[p] | static_cast<uint32_t>(ram[(p + 1) & 0xFF]) << 8;
        return (base + s.y) & 0xFFFF;
    }
};

// Zero-page forms cannot reach the SID area, so only the wider modes pay for
// the capture check; the outcome is the same as checking every store.
template <class M>
constexpr bool reaches_sid = M::size == 3 || std::is_same_v<M, IzX> || std::is_same_v<M, IzY>;

template <class M> inline void store(CpuState& s, uint8_t value) {
    uint32_t ea = M::ea(s);
    ram[ea] = value;
    if constexpr (reaches_sid<M>) log_sid_write(s, ea, value);
}

// ---- Loads, stores, transfers
template <class M> inline void lda(CpuState& s) { set_nz(s, s.a = ram[M::ea(s)]); }
template <class M> inline void ldx(CpuState& s) { set_nz(s, s.x = ram[M::ea(s)]); }
template <class M> inline void ldy(CpuState& s) { set_nz(s, s.y = ram[M::ea(s)]); }
template <class M> inline void sta(CpuState& s) { store<M>(s, s.a); }
template <class M> inline void stx(CpuState& s) { store<M>(s, s.x); }
template <class M> inline void sty(CpuState& s) { store<M>(s, s.y); }
inline void tax(CpuState& s) { set_nz(s, s.x = s.a); }
inline void tay(CpuState& s) { set_nz(s, s.y = s.a); }
inline void txa(CpuState& s) { set_nz(s, s.a = s.x); }
inline void tya(CpuState& s) { set_nz(s, s.a = s.y); }
inline void txs(CpuState& s) { s.sp = s.x; }
inline void tsx(CpuState& s) { s.x = s.sp; }  // unlike the other transfers, N and Z stay

// ---- Logic
template <class M> inline void ora(CpuState& s) { set_nz(s, s.a |= ram[M::ea(s)]); }
template <class M> inline void and_(CpuState& s) { set_nz(s, s.a &= ram[M::ea(s)]); }
template <class M> inline void eor(CpuState& s) { set_nz(s, s.a ^= ram[M::ea(s)]); }
template <class M> inline void bit(CpuState& s) {  // Z from A AND m; N and V from m itself
    uint8_t m = ram[M::ea(s)];
    s.zero_source = s.a & m;
    s.sign_source = m;
    s.overflow = (m >> 6) & 1;
}

// ---- Arithmetic. With D set these step over their operand and do nothing:
// this core has no BCD arithmetic.
template <class M> inline bool skipped_in_decimal(CpuState& s) {
    if (!s.decimal) return false;
    s.pc += M::size - 1;
    return true;
}

inline void add(CpuState& s, uint8_t m) {
    unsigned sum = s.a + m + s.carry;
    int signed_sum = signed_byte(s.a) + signed_byte(m) + s.carry;
    s.carry = sum > 0xFF;
    s.overflow = signed_sum < -128 || signed_sum > 127;
    set_nz(s, s.a = static_cast<uint8_t>(sum));
}

inline void subtract(CpuState& s, uint8_t m) {
    int difference = signed_byte(s.a) - signed_byte(m) + s.carry - 1;
    s.carry = static_cast<int>(s.a) + s.carry - 1 >= m;
    s.overflow = difference < -128 || difference > 127;
    set_nz(s, s.a = static_cast<uint8_t>(difference));
}

template <class M> inline void adc(CpuState& s) { if (!skipped_in_decimal<M>(s)) add(s, ram[M::ea(s)]); }
template <class M> inline void sbc(CpuState& s) { if (!skipped_in_decimal<M>(s)) subtract(s, ram[M::ea(s)]); }

inline void compare(CpuState& s, uint8_t reg, uint8_t m) {
    s.carry = reg >= m;
    set_nz(s, static_cast<uint8_t>(reg - m));
}
template <class M> inline void cmp(CpuState& s) { compare(s, s.a, ram[M::ea(s)]); }
template <class M> inline void cpx(CpuState& s) { compare(s, s.x, ram[M::ea(s)]); }
template <class M> inline void cpy(CpuState& s) { compare(s, s.y, ram[M::ea(s)]); }

// ---- Increments, shifts and rotates. The memory forms write back in place and
// record nothing, even in the SID area.
inline uint8_t inc_value(CpuState& s, uint8_t m) { uint8_t r = m + 1; set_nz(s, r); return r; }
inline uint8_t dec_value(CpuState& s, uint8_t m) { uint8_t r = m - 1; set_nz(s, r); return r; }
inline uint8_t asl_value(CpuState& s, uint8_t m) {
    s.carry = m >> 7;
    uint8_t r = static_cast<uint8_t>(m << 1);
    set_nz(s, r);
    return r;
}
inline uint8_t lsr_value(CpuState& s, uint8_t m) {  // N always clear
    s.carry = m & 1;
    uint8_t r = m >> 1;
    s.zero_source = r;
    s.sign_source = 0;
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

template <class M, uint8_t (*op)(CpuState&, uint8_t)> inline void modify(CpuState& s) {
    uint32_t ea = M::ea(s);
    ram[ea] = op(s, ram[ea]);
}
template <uint8_t (*op)(CpuState&, uint8_t)> inline void modify_a(CpuState& s) { s.a = op(s, s.a); }
inline void inx(CpuState& s) { set_nz(s, ++s.x); }
inline void iny(CpuState& s) { set_nz(s, ++s.y); }
inline void dex(CpuState& s) { set_nz(s, --s.x); }
inline void dey(CpuState& s) { set_nz(s, --s.y); }

// ---- Branches. pc is not reduced: a branch below 0 or past 0xFFFF ends the
// call in the harness.
inline bool n_clear(const CpuState& s) { return !(s.sign_source & 0x80); }
inline bool n_set(const CpuState& s) { return s.sign_source & 0x80; }
inline bool v_clear(const CpuState& s) { return !s.overflow; }
inline bool v_set(const CpuState& s) { return s.overflow; }
inline bool c_clear(const CpuState& s) { return !s.carry; }
inline bool c_set(const CpuState& s) { return s.carry; }
inline bool z_clear(const CpuState& s) { return s.zero_source; }
inline bool z_set(const CpuState& s) { return !s.zero_source; }
template <bool (*taken)(const CpuState&)> inline void branch(CpuState& s) {
    int offset = signed_byte(fetch(s));
    if (taken(s)) s.pc += offset;
}

// ---- Jumps, subroutines, stack
inline void jmp(CpuState& s) { s.pc = static_cast<int32_t>(fetch_word(s)); }
inline void jmp_indirect(CpuState& s) {  // no page wrap: pointer 0x10FF reads its high byte at 0x1100
    uint32_t w = fetch_word(s);
    s.pc = ram[w] | ram[(w + 1) & 0xFFFF] << 8;
}
inline void jsr(CpuState& s) {  // pushes the address of its own last byte
    uint32_t last_byte = static_cast<uint32_t>(s.pc) + 1;
    uint32_t target = fetch_word(s);
    stack_push(s, static_cast<uint8_t>(last_byte >> 8));
    stack_push(s, static_cast<uint8_t>(last_byte));
    s.pc = static_cast<int32_t>(target);
}
inline int32_t pull_return_address(CpuState& s) {
    uint32_t low = stack_pull(s);
    uint32_t high = stack_pull(s);
    return static_cast<int32_t>((low | high << 8) + 1);
}
inline void rts(CpuState& s) { s.pc = pull_return_address(s); }
inline void rti(CpuState& s) {  // flags, then an address exactly as RTS takes it: pulled + 1
    set_status_byte(s, stack_pull(s));
    s.pc = pull_return_address(s);
}
inline void pha(CpuState& s) { stack_push(s, s.a); }
inline void php(CpuState& s) { stack_push(s, status_byte(s)); }
inline void pla(CpuState& s) { set_nz(s, s.a = stack_pull(s)); }
inline void plp(CpuState& s) { set_status_byte(s, stack_pull(s)); }

// ---- Flags
inline void clc(CpuState& s) { s.carry = 0; }
inline void sec(CpuState& s) { s.carry = 1; }
inline void cld(CpuState& s) { s.decimal = 0; }
inline void sed(CpuState& s) { s.decimal = 1; }
inline void cli(CpuState& s) { s.irq_disable = 0; }
inline void sei(CpuState& s) { s.irq_disable = 1; }
inline void clv(CpuState& s) { s.overflow = 0; }

// ---- No-ops. BRK and the empty slots are one byte long; BRK pushes nothing
// and reads no vector.
inline void nop(CpuState&) {}
template <int operand_bytes> inline void skip(CpuState& s) { s.pc += operand_bytes; }

// ---- Undocumented instructions, as this core defines them
inline void anc(CpuState& s) {  // C is the inverse of bit 7 of the result
    set_nz(s, s.a &= ram[Imm::ea(s)]);
    s.carry = !(s.a & 0x80);
}
inline void asr(CpuState& s) {  // one byte: shifts A right keeping bit 7
    s.carry = s.a & 1;
    set_nz(s, s.a = static_cast<uint8_t>(s.a >> 1 | (s.a & 0x80)));
}
template <class M> inline void slo(CpuState& s) {
    uint32_t ea = M::ea(s);
    uint8_t m = ram[ea];
    s.carry = m >> 7;
    ram[ea] = static_cast<uint8_t>(m << 1);
    set_nz(s, s.a |= ram[ea]);
}
template <class M> inline void rla(CpuState& s) {  // A takes the rotated byte as it is, no AND
    uint32_t ea = M::ea(s);
    uint8_t m = ram[ea];
    ram[ea] = static_cast<uint8_t>(m << 1 | s.carry);
    s.carry = m >> 7;
    set_nz(s, s.a = ram[ea]);
}
template <class M> inline void sax(CpuState& s) { store<M>(s, s.a & s.x); }
template <class M> inline void lax(CpuState& s) { set_nz(s, s.a = s.x = ram[M::ea(s)]); }
inline void las(CpuState& s) {
    uint8_t r = ram[AbY::ea(s)] & s.sp;
    s.sp = s.a = s.x = r;
    set_nz(s, r);
}
template <class M> inline void dcp(CpuState& s) {  // C from the sign of the difference, not a comparison
    uint32_t ea = M::ea(s);
    uint8_t m = static_cast<uint8_t>(ram[ea] - 1);
    ram[ea] = m;
    uint8_t r = static_cast<uint8_t>(s.a - m);
    set_nz(s, r);
    s.carry = !(r & 0x80);
}
template <class M> inline void isc(CpuState& s) {  // C from a signed comparison; the old C takes no part
    if (skipped_in_decimal<M>(s)) return;
    uint32_t ea = M::ea(s);
    uint8_t m = static_cast<uint8_t>(ram[ea] + 1);
    ram[ea] = m;
    int difference = signed_byte(s.a) - signed_byte(m);
    s.carry = signed_byte(s.a) >= signed_byte(m);
    s.overflow = difference < -128 || difference > 127;
    set_nz(s, s.a = static_cast<uint8_t>(difference));
}

}  // namespace cpu_ops
