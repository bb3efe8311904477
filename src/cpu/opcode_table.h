#pragma once
// The opcode table: which instruction of instructions.h runs for each of the
// 256 opcode bytes, and its cycle count without the page-crossing and
// branch-taken extras. cpu_run.h expands it into its dispatch table, one
// handler per byte. U marks an undocumented instruction, J a JAM, which
// stops the chip.
#include <cstdint>

// clang-format off
#define ZARVEL_OPCODES(OP) \
    OP(00, 7, brk)                      OP(01, 6, ora<IzX>)                 OP(02, 0, jam) /*J*/                OP(03, 8, slo<IzX>) /*U*/ \
    OP(04, 3, nop_read<Zp>) /*U*/       OP(05, 3, ora<Zp>)                  OP(06, 5, rmw<Zp, asl_value>)       OP(07, 5, slo<Zp>) /*U*/ \
    OP(08, 3, php)                      OP(09, 2, ora<Imm>)                 OP(0A, 2, rmw_a<asl_value>)         OP(0B, 2, anc) /*U*/ \
    OP(0C, 4, nop_read<Abs>) /*U*/      OP(0D, 4, ora<Abs>)                 OP(0E, 6, rmw<Abs, asl_value>)      OP(0F, 6, slo<Abs>) /*U*/ \
    OP(10, 2, branch<n_clear>)          OP(11, 5, ora<IzY>)                 OP(12, 0, jam) /*J*/                OP(13, 8, slo<IzY>) /*U*/ \
    OP(14, 4, nop_read<ZpX>) /*U*/      OP(15, 4, ora<ZpX>)                 OP(16, 6, rmw<ZpX, asl_value>)      OP(17, 6, slo<ZpX>) /*U*/ \
    OP(18, 2, clc)                      OP(19, 4, ora<AbY>)                 OP(1A, 2, nop) /*U*/                OP(1B, 7, slo<AbY>) /*U*/ \
    OP(1C, 4, nop_read<AbX>) /*U*/      OP(1D, 4, ora<AbX>)                 OP(1E, 7, rmw<AbX, asl_value>)      OP(1F, 7, slo<AbX>) /*U*/ \
    OP(20, 6, jsr)                      OP(21, 6, and_<IzX>)                OP(22, 0, jam) /*J*/                OP(23, 8, rla<IzX>) /*U*/ \
    OP(24, 3, bit<Zp>)                  OP(25, 3, and_<Zp>)                 OP(26, 5, rmw<Zp, rol_value>)       OP(27, 5, rla<Zp>) /*U*/ \
    OP(28, 4, plp)                      OP(29, 2, and_<Imm>)                OP(2A, 2, rmw_a<rol_value>)         OP(2B, 2, anc) /*U*/ \
    OP(2C, 4, bit<Abs>)                 OP(2D, 4, and_<Abs>)                OP(2E, 6, rmw<Abs, rol_value>)      OP(2F, 6, rla<Abs>) /*U*/ \
    OP(30, 2, branch<n_set>)            OP(31, 5, and_<IzY>)                OP(32, 0, jam) /*J*/                OP(33, 8, rla<IzY>) /*U*/ \
    OP(34, 4, nop_read<ZpX>) /*U*/      OP(35, 4, and_<ZpX>)                OP(36, 6, rmw<ZpX, rol_value>)      OP(37, 6, rla<ZpX>) /*U*/ \
    OP(38, 2, sec)                      OP(39, 4, and_<AbY>)                OP(3A, 2, nop) /*U*/                OP(3B, 7, rla<AbY>) /*U*/ \
    OP(3C, 4, nop_read<AbX>) /*U*/      OP(3D, 4, and_<AbX>)                OP(3E, 7, rmw<AbX, rol_value>)      OP(3F, 7, rla<AbX>) /*U*/ \
    OP(40, 6, rti)                      OP(41, 6, eor<IzX>)                 OP(42, 0, jam) /*J*/                OP(43, 8, sre<IzX>) /*U*/ \
    OP(44, 3, nop_read<Zp>) /*U*/       OP(45, 3, eor<Zp>)                  OP(46, 5, rmw<Zp, lsr_value>)       OP(47, 5, sre<Zp>) /*U*/ \
    OP(48, 3, pha)                      OP(49, 2, eor<Imm>)                 OP(4A, 2, rmw_a<lsr_value>)         OP(4B, 2, alr) /*U*/ \
    OP(4C, 3, jmp)                      OP(4D, 4, eor<Abs>)                 OP(4E, 6, rmw<Abs, lsr_value>)      OP(4F, 6, sre<Abs>) /*U*/ \
    OP(50, 2, branch<v_clear>)          OP(51, 5, eor<IzY>)                 OP(52, 0, jam) /*J*/                OP(53, 8, sre<IzY>) /*U*/ \
    OP(54, 4, nop_read<ZpX>) /*U*/      OP(55, 4, eor<ZpX>)                 OP(56, 6, rmw<ZpX, lsr_value>)      OP(57, 6, sre<ZpX>) /*U*/ \
    OP(58, 2, cli)                      OP(59, 4, eor<AbY>)                 OP(5A, 2, nop) /*U*/                OP(5B, 7, sre<AbY>) /*U*/ \
    OP(5C, 4, nop_read<AbX>) /*U*/      OP(5D, 4, eor<AbX>)                 OP(5E, 7, rmw<AbX, lsr_value>)      OP(5F, 7, sre<AbX>) /*U*/ \
    OP(60, 6, rts)                      OP(61, 6, adc<IzX>)                 OP(62, 0, jam) /*J*/                OP(63, 8, rra<IzX>) /*U*/ \
    OP(64, 3, nop_read<Zp>) /*U*/       OP(65, 3, adc<Zp>)                  OP(66, 5, rmw<Zp, ror_value>)       OP(67, 5, rra<Zp>) /*U*/ \
    OP(68, 4, pla)                      OP(69, 2, adc<Imm>)                 OP(6A, 2, rmw_a<ror_value>)         OP(6B, 2, arr) /*U*/ \
    OP(6C, 5, jmp_indirect)             OP(6D, 4, adc<Abs>)                 OP(6E, 6, rmw<Abs, ror_value>)      OP(6F, 6, rra<Abs>) /*U*/ \
    OP(70, 2, branch<v_set>)            OP(71, 5, adc<IzY>)                 OP(72, 0, jam) /*J*/                OP(73, 8, rra<IzY>) /*U*/ \
    OP(74, 4, nop_read<ZpX>) /*U*/      OP(75, 4, adc<ZpX>)                 OP(76, 6, rmw<ZpX, ror_value>)      OP(77, 6, rra<ZpX>) /*U*/ \
    OP(78, 2, sei)                      OP(79, 4, adc<AbY>)                 OP(7A, 2, nop) /*U*/                OP(7B, 7, rra<AbY>) /*U*/ \
    OP(7C, 4, nop_read<AbX>) /*U*/      OP(7D, 4, adc<AbX>)                 OP(7E, 7, rmw<AbX, ror_value>)      OP(7F, 7, rra<AbX>) /*U*/ \
    OP(80, 2, nop_read<Imm>) /*U*/      OP(81, 6, sta<IzX>)                 OP(82, 2, nop_read<Imm>) /*U*/      OP(83, 6, sax<IzX>) /*U*/ \
    OP(84, 3, sty<Zp>)                  OP(85, 3, sta<Zp>)                  OP(86, 3, stx<Zp>)                  OP(87, 3, sax<Zp>) /*U*/ \
    OP(88, 2, dey)                      OP(89, 2, nop_read<Imm>) /*U*/      OP(8A, 2, txa)                      OP(8B, 2, ane) /*U*/ \
    OP(8C, 4, sty<Abs>)                 OP(8D, 4, sta<Abs>)                 OP(8E, 4, stx<Abs>)                 OP(8F, 4, sax<Abs>) /*U*/ \
    OP(90, 2, branch<c_clear>)          OP(91, 6, sta<IzY>)                 OP(92, 0, jam) /*J*/                OP(93, 6, sha_izy) /*U*/ \
    OP(94, 4, sty<ZpX>)                 OP(95, 4, sta<ZpX>)                 OP(96, 4, stx<ZpY>)                 OP(97, 4, sax<ZpY>) /*U*/ \
    OP(98, 2, tya)                      OP(99, 5, sta<AbY>)                 OP(9A, 2, txs)                      OP(9B, 5, tas) /*U*/ \
    OP(9C, 5, shy) /*U*/                OP(9D, 5, sta<AbX>)                 OP(9E, 5, shx) /*U*/                OP(9F, 5, sha_aby) /*U*/ \
    OP(A0, 2, ldy<Imm>)                 OP(A1, 6, lda<IzX>)                 OP(A2, 2, ldx<Imm>)                 OP(A3, 6, lax<IzX>) /*U*/ \
    OP(A4, 3, ldy<Zp>)                  OP(A5, 3, lda<Zp>)                  OP(A6, 3, ldx<Zp>)                  OP(A7, 3, lax<Zp>) /*U*/ \
    OP(A8, 2, tay)                      OP(A9, 2, lda<Imm>)                 OP(AA, 2, tax)                      OP(AB, 2, lxa) /*U*/ \
    OP(AC, 4, ldy<Abs>)                 OP(AD, 4, lda<Abs>)                 OP(AE, 4, ldx<Abs>)                 OP(AF, 4, lax<Abs>) /*U*/ \
    OP(B0, 2, branch<c_set>)            OP(B1, 5, lda<IzY>)                 OP(B2, 0, jam) /*J*/                OP(B3, 5, lax<IzY>) /*U*/ \
    OP(B4, 4, ldy<ZpX>)                 OP(B5, 4, lda<ZpX>)                 OP(B6, 4, ldx<ZpY>)                 OP(B7, 4, lax<ZpY>) /*U*/ \
    OP(B8, 2, clv)                      OP(B9, 4, lda<AbY>)                 OP(BA, 2, tsx)                      OP(BB, 4, las) /*U*/ \
    OP(BC, 4, ldy<AbX>)                 OP(BD, 4, lda<AbX>)                 OP(BE, 4, ldx<AbY>)                 OP(BF, 4, lax<AbY>) /*U*/ \
    OP(C0, 2, cpy<Imm>)                 OP(C1, 6, cmp<IzX>)                 OP(C2, 2, nop_read<Imm>) /*U*/      OP(C3, 8, dcp<IzX>) /*U*/ \
    OP(C4, 3, cpy<Zp>)                  OP(C5, 3, cmp<Zp>)                  OP(C6, 5, rmw<Zp, dec_value>)       OP(C7, 5, dcp<Zp>) /*U*/ \
    OP(C8, 2, iny)                      OP(C9, 2, cmp<Imm>)                 OP(CA, 2, dex)                      OP(CB, 2, sbx) /*U*/ \
    OP(CC, 4, cpy<Abs>)                 OP(CD, 4, cmp<Abs>)                 OP(CE, 6, rmw<Abs, dec_value>)      OP(CF, 6, dcp<Abs>) /*U*/ \
    OP(D0, 2, branch<z_clear>)          OP(D1, 5, cmp<IzY>)                 OP(D2, 0, jam) /*J*/                OP(D3, 8, dcp<IzY>) /*U*/ \
    OP(D4, 4, nop_read<ZpX>) /*U*/      OP(D5, 4, cmp<ZpX>)                 OP(D6, 6, rmw<ZpX, dec_value>)      OP(D7, 6, dcp<ZpX>) /*U*/ \
    OP(D8, 2, cld)                      OP(D9, 4, cmp<AbY>)                 OP(DA, 2, nop) /*U*/                OP(DB, 7, dcp<AbY>) /*U*/ \
    OP(DC, 4, nop_read<AbX>) /*U*/      OP(DD, 4, cmp<AbX>)                 OP(DE, 7, rmw<AbX, dec_value>)      OP(DF, 7, dcp<AbX>) /*U*/ \
    OP(E0, 2, cpx<Imm>)                 OP(E1, 6, sbc<IzX>)                 OP(E2, 2, nop_read<Imm>) /*U*/      OP(E3, 8, isc<IzX>) /*U*/ \
    OP(E4, 3, cpx<Zp>)                  OP(E5, 3, sbc<Zp>)                  OP(E6, 5, rmw<Zp, inc_value>)       OP(E7, 5, isc<Zp>) /*U*/ \
    OP(E8, 2, inx)                      OP(E9, 2, sbc<Imm>)                 OP(EA, 2, nop)                      OP(EB, 2, sbc<Imm>) /*U*/ \
    OP(EC, 4, cpx<Abs>)                 OP(ED, 4, sbc<Abs>)                 OP(EE, 6, rmw<Abs, inc_value>)      OP(EF, 6, isc<Abs>) /*U*/ \
    OP(F0, 2, branch<z_set>)            OP(F1, 5, sbc<IzY>)                 OP(F2, 0, jam) /*J*/                OP(F3, 8, isc<IzY>) /*U*/ \
    OP(F4, 4, nop_read<ZpX>) /*U*/      OP(F5, 4, sbc<ZpX>)                 OP(F6, 6, rmw<ZpX, inc_value>)      OP(F7, 6, isc<ZpX>) /*U*/ \
    OP(F8, 2, sed)                      OP(F9, 4, sbc<AbY>)                 OP(FA, 2, nop) /*U*/                OP(FB, 7, isc<AbY>) /*U*/ \
    OP(FC, 4, nop_read<AbX>) /*U*/      OP(FD, 4, sbc<AbX>)                 OP(FE, 7, rmw<AbX, inc_value>)      OP(FF, 7, isc<AbX>) /*U*/
// clang-format on

// The twelve JAM opcodes: the chip stops on them.
constexpr bool is_jam(unsigned opcode) { return (opcode & 0x0F) == 0x02 && opcode != 0x82 && opcode != 0xA2 && opcode != 0xC2 && opcode != 0xE2; }

// Bytes each opcode occupies, opcode included (for a JAM, 1). The handlers
// do not read it; tests and tools do.
extern const uint8_t opcode_length[256];
