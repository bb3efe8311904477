#pragma once
// The opcode table: which instruction of instructions.h runs for each of the
// 256 opcode bytes. cpu_call's loop expands it into its dispatch table,
// opcode_table, one handler per byte. X marks a slot without an instruction,
// which runs as a one-byte no-op; U marks an undocumented instruction.
#include <cstdint>

// clang-format off
#define ZARVEL_OPCODES(OP) \
    OP(00, nop)               OP(01, ora<IzX>)    OP(02, nop) /*X*/     OP(03, slo<IzX>) /*U*/  \
    OP(04, skip<1>) /*U*/     OP(05, ora<Zp>)     OP(06, modify<Zp, asl_value>)  OP(07, slo<Zp>) /*U*/ \
    OP(08, php)               OP(09, ora<Imm>)    OP(0A, modify_a<asl_value>)    OP(0B, anc) /*U*/ \
    OP(0C, skip<2>) /*U*/     OP(0D, ora<Abs>)    OP(0E, modify<Abs, asl_value>) OP(0F, slo<Abs>) /*U*/ \
    OP(10, branch<n_clear>)   OP(11, ora<IzY>)    OP(12, nop) /*X*/     OP(13, slo<IzY>) /*U*/  \
    OP(14, skip<1>) /*U*/     OP(15, ora<ZpX>)    OP(16, modify<ZpX, asl_value>) OP(17, slo<ZpX>) /*U*/ \
    OP(18, clc)               OP(19, ora<AbY>)    OP(1A, nop) /*U*/     OP(1B, slo<AbY>) /*U*/  \
    OP(1C, skip<2>) /*U*/     OP(1D, ora<AbX>)    OP(1E, modify<AbX, asl_value>) OP(1F, slo<AbX>) /*U*/ \
    OP(20, jsr)               OP(21, and_<IzX>)   OP(22, nop) /*X*/     OP(23, rla<IzX>) /*U*/  \
    OP(24, bit<Zp>)           OP(25, and_<Zp>)    OP(26, modify<Zp, rol_value>)  OP(27, rla<Zp>) /*U*/ \
    OP(28, plp)               OP(29, and_<Imm>)   OP(2A, modify_a<rol_value>)    OP(2B, anc) /*U*/ \
    OP(2C, bit<Abs>)          OP(2D, and_<Abs>)   OP(2E, modify<Abs, rol_value>) OP(2F, rla<Abs>) /*U*/ \
    OP(30, branch<n_set>)     OP(31, and_<IzY>)   OP(32, nop) /*X*/     OP(33, rla<IzY>) /*U*/  \
    OP(34, nop) /*U, one byte*/ OP(35, and_<ZpX>) OP(36, modify<ZpX, rol_value>) OP(37, rla<ZpX>) /*U*/ \
    OP(38, sec)               OP(39, and_<AbY>)   OP(3A, nop) /*U*/     OP(3B, rla<AbY>) /*U*/  \
    OP(3C, skip<2>) /*U*/     OP(3D, and_<AbX>)   OP(3E, modify<AbX, rol_value>) OP(3F, rla<AbX>) /*U*/ \
    OP(40, rti)               OP(41, eor<IzX>)    OP(42, nop) /*X*/     OP(43, nop) /*X*/       \
    OP(44, skip<1>) /*U*/     OP(45, eor<Zp>)     OP(46, modify<Zp, lsr_value>)  OP(47, nop) /*X*/ \
    OP(48, pha)               OP(49, eor<Imm>)    OP(4A, modify_a<lsr_value>)    OP(4B, asr) /*U*/ \
    OP(4C, jmp)               OP(4D, eor<Abs>)    OP(4E, modify<Abs, lsr_value>) OP(4F, nop) /*X*/ \
    OP(50, branch<v_clear>)   OP(51, eor<IzY>)    OP(52, nop) /*X*/     OP(53, nop) /*X*/       \
    OP(54, skip<1>) /*U*/     OP(55, eor<ZpX>)    OP(56, modify<ZpX, lsr_value>) OP(57, nop) /*X*/ \
    OP(58, cli)               OP(59, eor<AbY>)    OP(5A, nop) /*U*/     OP(5B, nop) /*X*/       \
    OP(5C, skip<2>) /*U*/     OP(5D, eor<AbX>)    OP(5E, modify<AbX, lsr_value>) OP(5F, nop) /*X*/ \
    OP(60, rts)               OP(61, adc<IzX>)    OP(62, nop) /*X*/     OP(63, nop) /*X*/       \
    OP(64, skip<1>) /*U*/     OP(65, adc<Zp>)     OP(66, modify<Zp, ror_value>)  OP(67, nop) /*X*/ \
    OP(68, pla)               OP(69, adc<Imm>)    OP(6A, modify_a<ror_value>)    OP(6B, nop) /*X*/ \
    OP(6C, jmp_indirect)      OP(6D, adc<Abs>)    OP(6E, modify<Abs, ror_value>) OP(6F, nop) /*X*/ \
    OP(70, branch<v_set>)     OP(71, adc<IzY>)    OP(72, nop) /*X*/     OP(73, nop) /*X*/       \
    OP(74, skip<1>) /*U*/     OP(75, adc<ZpX>)    OP(76, modify<ZpX, ror_value>) OP(77, nop) /*X*/ \
    OP(78, sei)               OP(79, adc<AbY>)    OP(7A, nop) /*U*/     OP(7B, nop) /*X*/       \
    OP(7C, skip<2>) /*U*/     OP(7D, adc<AbX>)    OP(7E, modify<AbX, ror_value>) OP(7F, nop) /*X*/ \
    OP(80, skip<1>) /*U*/     OP(81, sta<IzX>)    OP(82, skip<1>) /*U*/ OP(83, sax<ZpX>) /*U*/  \
    OP(84, sty<Zp>)           OP(85, sta<Zp>)     OP(86, stx<Zp>)       OP(87, sax<Zp>) /*U*/   \
    OP(88, dey)               OP(89, skip<1>) /*U*/ OP(8A, txa)         OP(8B, nop) /*X*/       \
    OP(8C, sty<Abs>)          OP(8D, sta<Abs>)    OP(8E, stx<Abs>)      OP(8F, sax<Abs>) /*U*/  \
    OP(90, branch<c_clear>)   OP(91, sta<IzY>)    OP(92, nop) /*X*/     OP(93, nop) /*X*/       \
    OP(94, sty<ZpX>)          OP(95, sta<ZpX>)    OP(96, stx<ZpY>)      OP(97, sax<ZpY>) /*U*/  \
    OP(98, tya)               OP(99, sta<AbY>)    OP(9A, txs)           OP(9B, nop) /*X*/       \
    OP(9C, nop) /*X*/         OP(9D, sta<AbX>)    OP(9E, nop) /*X*/     OP(9F, nop) /*X*/       \
    OP(A0, ldy<Imm>)          OP(A1, lda<IzX>)    OP(A2, ldx<Imm>)      OP(A3, lax<IzX>) /*U*/  \
    OP(A4, ldy<Zp>)           OP(A5, lda<Zp>)     OP(A6, ldx<Zp>)       OP(A7, lax<Zp>) /*U*/   \
    OP(A8, tay)               OP(A9, lda<Imm>)    OP(AA, tax)           OP(AB, nop) /*X*/       \
    OP(AC, ldy<Abs>)          OP(AD, lda<Abs>)    OP(AE, ldx<Abs>)      OP(AF, lax<Abs>) /*U*/  \
    OP(B0, branch<c_set>)     OP(B1, lda<IzY>)    OP(B2, nop) /*X*/     OP(B3, lax<IzY>) /*U*/  \
    OP(B4, ldy<ZpX>)          OP(B5, lda<ZpX>)    OP(B6, ldx<ZpY>)      OP(B7, lax<ZpY>) /*U*/  \
    OP(B8, clv)               OP(B9, lda<AbY>)    OP(BA, tsx)           OP(BB, las) /*U*/       \
    OP(BC, ldy<AbX>)          OP(BD, lda<AbX>)    OP(BE, ldx<AbY>)      OP(BF, lax<AbY>) /*U*/  \
    OP(C0, cpy<Imm>)          OP(C1, cmp<IzX>)    OP(C2, skip<1>) /*U*/ OP(C3, dcp<IzX>) /*U*/  \
    OP(C4, cpy<Zp>)           OP(C5, cmp<Zp>)     OP(C6, modify<Zp, dec_value>)  OP(C7, dcp<Zp>) /*U*/ \
    OP(C8, iny)               OP(C9, cmp<Imm>)    OP(CA, dex)           OP(CB, nop) /*X*/       \
    OP(CC, cpy<Abs>)          OP(CD, cmp<Abs>)    OP(CE, modify<Abs, dec_value>) OP(CF, dcp<Abs>) /*U*/ \
    OP(D0, branch<z_clear>)   OP(D1, cmp<IzY>)    OP(D2, nop) /*X*/     OP(D3, dcp<IzY>) /*U*/  \
    OP(D4, skip<1>) /*U*/     OP(D5, cmp<ZpX>)    OP(D6, modify<ZpX, dec_value>) OP(D7, dcp<ZpX>) /*U*/ \
    OP(D8, cld)               OP(D9, cmp<AbY>)    OP(DA, nop) /*U*/     OP(DB, dcp<AbY>) /*U*/  \
    OP(DC, skip<2>) /*U*/     OP(DD, cmp<AbX>)    OP(DE, modify<AbX, dec_value>) OP(DF, dcp<AbX>) /*U*/ \
    OP(E0, cpx<Imm>)          OP(E1, sbc<IzX>)    OP(E2, skip<1>) /*U*/ OP(E3, isc<IzX>) /*U*/  \
    OP(E4, cpx<Zp>)           OP(E5, sbc<Zp>)     OP(E6, modify<Zp, inc_value>)  OP(E7, isc<Zp>) /*U*/ \
    OP(E8, inx)               OP(E9, sbc<Imm>)    OP(EA, nop)           OP(EB, sbc<Imm>) /*U*/  \
    OP(EC, cpx<Abs>)          OP(ED, sbc<Abs>)    OP(EE, modify<Abs, inc_value>) OP(EF, isc<Abs>) /*U*/ \
    OP(F0, branch<z_set>)     OP(F1, sbc<IzY>)    OP(F2, nop) /*X*/     OP(F3, isc<IzY>) /*U*/  \
    OP(F4, skip<1>) /*U*/     OP(F5, sbc<ZpX>)    OP(F6, modify<ZpX, inc_value>) OP(F7, isc<ZpX>) /*U*/ \
    OP(F8, sed)               OP(F9, sbc<AbY>)    OP(FA, nop) /*U*/     OP(FB, isc<AbY>) /*U*/  \
    OP(FC, skip<2>) /*U*/     OP(FD, sbc<AbX>)    OP(FE, modify<AbX, inc_value>) OP(FF, isc<AbX>) /*U*/
// clang-format on

// Bytes each opcode consumes, opcode included, when it does not transfer
// control. The handlers do not read it; tests and tools do.
extern const uint8_t opcode_length[256];
