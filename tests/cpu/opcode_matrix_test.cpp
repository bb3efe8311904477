// Every opcode that reads, writes or modifies memory, run once in the mode
// the opcode table gives it. Only the mode's own effective address holds the
// operand and every other address a mode could reach holds zero, so an opcode
// wired to the wrong mode or the wrong operation shows in its result.
#include <set>

#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class OpcodeMatrix : public CpuTest {};

// x = 0x05 and y = 0x09 throughout. Pointers: 0x65 -> 0x3000 for (zp,X) with
// operand 0x60, and 0x60 -> 0x3100 for (zp),Y.
struct Mode {
    const char* name;
    std::vector<uint8_t> operand;
    uint16_t ea;
};
const Mode imm{"#imm", {0x93}, code + 1};
const Mode zp{"zp", {0x40}, 0x0040};
const Mode zpx{"zp,X", {0x40}, 0x0045};
const Mode zpy{"zp,Y", {0x40}, 0x0049};
const Mode abs_{"abs", {0x40, 0x20}, 0x2040};
const Mode abx{"abs,X", {0x40, 0x20}, 0x2045};
const Mode aby{"abs,Y", {0x40, 0x20}, 0x2049};
const Mode izx{"(zp,X)", {0x60}, 0x3000};
const Mode izy{"(zp),Y", {0x60}, 0x3109};
const Mode* const all_modes[] = {&zp, &zpx, &zpy, &abs_, &abx, &aby, &izx, &izy};

constexpr uint8_t operand_value = 0x93;

// The machine as an instruction sees it: registers, the byte at the EA, flags.
struct Regs {
    uint8_t a, x, y, m;
    bool n, z, c, v;
};
Regs nz(Regs r, uint8_t result) {
    r.n = result & 0x80;
    r.z = result == 0;
    return r;
}

// The operations, written from the 6502 reference and, for the undocumented
// ones, the chip's behaviour as the "NMOS 6510 Unintended Opcodes" document
// describes it: each is two documented operations on the same byte.
Regs ora(Regs r) { r.a |= r.m; return nz(r, r.a); }
Regs and_(Regs r) { r.a &= r.m; return nz(r, r.a); }
Regs eor(Regs r) { r.a ^= r.m; return nz(r, r.a); }
Regs adc(Regs r) {
    const int sum = r.a + r.m + r.c;
    r.v = ~(r.a ^ r.m) & (r.a ^ sum) & 0x80;
    r.c = sum > 0xFF;
    r.a = sum;
    return nz(r, r.a);
}
Regs sbc(Regs r) {
    const int difference = r.a - r.m - !r.c;
    r.v = (r.a ^ r.m) & (r.a ^ difference) & 0x80;
    r.c = difference >= 0;
    r.a = difference;
    return nz(r, r.a);
}
Regs compare(Regs r, uint8_t reg) { r.c = reg >= r.m; return nz(r, reg - r.m); }
Regs cmp(Regs r) { return compare(r, r.a); }
Regs cpx(Regs r) { return compare(r, r.x); }
Regs cpy(Regs r) { return compare(r, r.y); }
Regs lda(Regs r) { r.a = r.m; return nz(r, r.a); }
Regs ldx(Regs r) { r.x = r.m; return nz(r, r.x); }
Regs ldy(Regs r) { r.y = r.m; return nz(r, r.y); }
Regs lax(Regs r) { r.a = r.x = r.m; return nz(r, r.a); }
Regs sta(Regs r) { r.m = r.a; return r; }
Regs stx(Regs r) { r.m = r.x; return r; }
Regs sty(Regs r) { r.m = r.y; return r; }
Regs sax(Regs r) { r.m = r.a & r.x; return r; }
Regs bit(Regs r) {
    r.z = (r.a & r.m) == 0;
    r.n = r.m & 0x80;
    r.v = r.m & 0x40;
    return r;
}
Regs inc(Regs r) { ++r.m; return nz(r, r.m); }
Regs dec(Regs r) { --r.m; return nz(r, r.m); }
Regs asl(Regs r) { r.c = r.m & 0x80; r.m <<= 1; return nz(r, r.m); }
Regs lsr(Regs r) { r.c = r.m & 1; r.m >>= 1; return nz(r, r.m); }
Regs rol(Regs r) { const bool out = r.m & 0x80; r.m = r.m << 1 | r.c; r.c = out; return nz(r, r.m); }
Regs ror(Regs r) { const bool out = r.m & 1; r.m = r.m >> 1 | r.c << 7; r.c = out; return nz(r, r.m); }
Regs slo(Regs r) { r = asl(r); r.a |= r.m; return nz(r, r.a); }
Regs rla(Regs r) { r = rol(r); return and_(r); }
Regs sre(Regs r) { r = lsr(r); return eor(r); }
Regs rra(Regs r) { r = ror(r); return adc(r); }
Regs anc(Regs r) { r = and_(r); r.c = r.a & 0x80; return r; }
Regs dcp(Regs r) { --r.m; return cmp(r); }
Regs isc(Regs r) { ++r.m; return sbc(r); }

struct Op {
    const char* name;
    Regs (*semantics)(Regs);
    std::vector<std::pair<const Mode*, uint8_t>> forms;  // mode, opcode
};

const Op ops[] = {
    {"ORA", ora, {{&imm, 0x09}, {&zp, 0x05}, {&zpx, 0x15}, {&abs_, 0x0D}, {&abx, 0x1D}, {&aby, 0x19}, {&izx, 0x01}, {&izy, 0x11}}},
    {"AND", and_, {{&imm, 0x29}, {&zp, 0x25}, {&zpx, 0x35}, {&abs_, 0x2D}, {&abx, 0x3D}, {&aby, 0x39}, {&izx, 0x21}, {&izy, 0x31}}},
    {"EOR", eor, {{&imm, 0x49}, {&zp, 0x45}, {&zpx, 0x55}, {&abs_, 0x4D}, {&abx, 0x5D}, {&aby, 0x59}, {&izx, 0x41}, {&izy, 0x51}}},
    {"ADC", adc, {{&imm, 0x69}, {&zp, 0x65}, {&zpx, 0x75}, {&abs_, 0x6D}, {&abx, 0x7D}, {&aby, 0x79}, {&izx, 0x61}, {&izy, 0x71}}},
    {"STA", sta, {{&zp, 0x85}, {&zpx, 0x95}, {&abs_, 0x8D}, {&abx, 0x9D}, {&aby, 0x99}, {&izx, 0x81}, {&izy, 0x91}}},
    {"LDA", lda, {{&imm, 0xA9}, {&zp, 0xA5}, {&zpx, 0xB5}, {&abs_, 0xAD}, {&abx, 0xBD}, {&aby, 0xB9}, {&izx, 0xA1}, {&izy, 0xB1}}},
    {"CMP", cmp, {{&imm, 0xC9}, {&zp, 0xC5}, {&zpx, 0xD5}, {&abs_, 0xCD}, {&abx, 0xDD}, {&aby, 0xD9}, {&izx, 0xC1}, {&izy, 0xD1}}},
    {"SBC", sbc, {{&imm, 0xE9}, {&imm, 0xEB}, {&zp, 0xE5}, {&zpx, 0xF5}, {&abs_, 0xED}, {&abx, 0xFD}, {&aby, 0xF9}, {&izx, 0xE1}, {&izy, 0xF1}}},
    {"LDX", ldx, {{&imm, 0xA2}, {&zp, 0xA6}, {&zpy, 0xB6}, {&abs_, 0xAE}, {&aby, 0xBE}}},
    {"LDY", ldy, {{&imm, 0xA0}, {&zp, 0xA4}, {&zpx, 0xB4}, {&abs_, 0xAC}, {&abx, 0xBC}}},
    {"STX", stx, {{&zp, 0x86}, {&zpy, 0x96}, {&abs_, 0x8E}}},
    {"STY", sty, {{&zp, 0x84}, {&zpx, 0x94}, {&abs_, 0x8C}}},
    {"CPX", cpx, {{&imm, 0xE0}, {&zp, 0xE4}, {&abs_, 0xEC}}},
    {"CPY", cpy, {{&imm, 0xC0}, {&zp, 0xC4}, {&abs_, 0xCC}}},
    {"BIT", bit, {{&zp, 0x24}, {&abs_, 0x2C}}},
    {"ASL", asl, {{&zp, 0x06}, {&zpx, 0x16}, {&abs_, 0x0E}, {&abx, 0x1E}}},
    {"ROL", rol, {{&zp, 0x26}, {&zpx, 0x36}, {&abs_, 0x2E}, {&abx, 0x3E}}},
    {"LSR", lsr, {{&zp, 0x46}, {&zpx, 0x56}, {&abs_, 0x4E}, {&abx, 0x5E}}},
    {"ROR", ror, {{&zp, 0x66}, {&zpx, 0x76}, {&abs_, 0x6E}, {&abx, 0x7E}}},
    {"INC", inc, {{&zp, 0xE6}, {&zpx, 0xF6}, {&abs_, 0xEE}, {&abx, 0xFE}}},
    {"DEC", dec, {{&zp, 0xC6}, {&zpx, 0xD6}, {&abs_, 0xCE}, {&abx, 0xDE}}},
    {"ANC", anc, {{&imm, 0x0B}, {&imm, 0x2B}}},
    {"SLO", slo, {{&zp, 0x07}, {&zpx, 0x17}, {&abs_, 0x0F}, {&abx, 0x1F}, {&aby, 0x1B}, {&izx, 0x03}, {&izy, 0x13}}},
    {"RLA", rla, {{&zp, 0x27}, {&zpx, 0x37}, {&abs_, 0x2F}, {&abx, 0x3F}, {&aby, 0x3B}, {&izx, 0x23}, {&izy, 0x33}}},
    {"SRE", sre, {{&zp, 0x47}, {&zpx, 0x57}, {&abs_, 0x4F}, {&abx, 0x5F}, {&aby, 0x5B}, {&izx, 0x43}, {&izy, 0x53}}},
    {"RRA", rra, {{&zp, 0x67}, {&zpx, 0x77}, {&abs_, 0x6F}, {&abx, 0x7F}, {&aby, 0x7B}, {&izx, 0x63}, {&izy, 0x73}}},
    {"SAX", sax, {{&zp, 0x87}, {&izx, 0x83}, {&zpy, 0x97}, {&abs_, 0x8F}}},
    {"LAX", lax, {{&zp, 0xA7}, {&zpy, 0xB7}, {&abs_, 0xAF}, {&aby, 0xBF}, {&izx, 0xA3}, {&izy, 0xB3}}},
    {"DCP", dcp, {{&zp, 0xC7}, {&zpx, 0xD7}, {&abs_, 0xCF}, {&abx, 0xDF}, {&aby, 0xDB}, {&izx, 0xC3}, {&izy, 0xD3}}},
    {"ISC", isc, {{&zp, 0xE7}, {&zpx, 0xF7}, {&abs_, 0xEF}, {&abx, 0xFF}, {&aby, 0xFB}, {&izx, 0xE3}, {&izy, 0xF3}}},
};

TEST_F(OpcodeMatrix, EveryMemoryOpcodeWorksAtItsOwnModesAddress) {
    const Regs start{0x0F, 0x05, 0x09, operand_value, false, false, true, true};
    std::set<uint8_t> seen;
    for (const Op& op : ops) {
        for (auto [mode, opcode] : op.forms) {
            EXPECT_TRUE(seen.insert(opcode).second) << "listed twice: " << std::hex << int(opcode);
            const std::string name = std::string(op.name) + " " + mode->name;
            clear_machine();
            place(0x0065, {0x00, 0x30});
            place(0x0060, {0x00, 0x31});
            cpu_state.a = start.a;
            cpu_state.x = start.x;
            cpu_state.y = start.y;
            cpu_state.carry = start.c;
            cpu_state.overflow = start.v;
            cpu_state.sign_source = cpu_state.zero_source = 0x01;  // N and Z clear
            mem(code) = opcode;
            place(code + 1, mode->operand);
            mem(code + 1 + mode->operand.size()) = 0x60;  // RTS
            if (mode != &imm) mem(mode->ea) = operand_value;

            ASSERT_EQ(CPU_RETURNED, cpu_call(code)) << name;
            const Regs want = op.semantics(start);
            EXPECT_EQ(want.a, cpu_state.a) << name;
            EXPECT_EQ(want.x, cpu_state.x) << name;
            EXPECT_EQ(want.y, cpu_state.y) << name;
            if (mode != &imm) {
                EXPECT_EQ(want.m, mem(mode->ea)) << name;
            }
            EXPECT_EQ(want.n, flag_n()) << name;
            EXPECT_EQ(want.z, flag_z()) << name;
            EXPECT_EQ(want.c, flag_c()) << name;
            EXPECT_EQ(want.v, flag_v()) << name;
            for (const Mode* other : all_modes) {
                if (other->ea != mode->ea) {
                    EXPECT_EQ(0, mem(other->ea)) << name << " wrote " << other->name;
                }
            }
        }
    }
    EXPECT_EQ(166u, seen.size());
}

}  // namespace
}  // namespace cpu_test
