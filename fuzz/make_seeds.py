#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/. Each seed is a small,
hand-assembled case that reaches one corner the fuzzer should start from;
the fuzzer's own finds are kept in the working copy it runs on, not here.

    python3 fuzz/make_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


# ---- fuzz_cpu: memory fill, registers, flags, calls, entries, then memory chunks.

def cpu_case(chunks, entries=(0x1000,), resets=0b001, a=0, x=0, y=0, sp=0xFF,
             sign=0, zero=1, overflow=0, carry=0, decimal=0, irq=0, fill=0):
    out = [fill, a, x, y, sp, sign, zero, overflow, carry | decimal << 1 | irq << 2]
    padded = list(entries) + [0] * (3 - len(entries))
    out += [len(entries) - 1, resets]
    for entry in padded:
        out += list(struct.pack("<H", entry))
    for address, code in chunks:
        assert len(code) < 256
        out += list(struct.pack("<H", address)) + [len(code)] + list(code)
    return out


def cpu_seeds():
    write("fuzz_cpu", "rts", cpu_case([(0x1000, [0x60])]))  # RTS
    write("fuzz_cpu", "sid_stores_past_the_log", cpu_case([(0x1000, [
        0xA2, 0x00,        # LDX #$00
        0x8A,              # TXA
        0x9D, 0x00, 0xD4,  # STA $D400,X
        0xE8,              # INX
        0xE0, 0xC8,        # CPX #200
        0xD0, 0xF7,        # BNE -9
        0x8E, 0x18, 0xD7,  # STX $D718  (a mirror of register 24)
        0x60,              # RTS
    ])]))
    write("fuzz_cpu", "endless_loop", cpu_case([(0x1000, [0x4C, 0x00, 0x10])]))  # JMP $1000
    write("fuzz_cpu", "branch_below_zero", cpu_case(
        [(0x0004, [0x90, 0xF6])], entries=(0x0004,)))  # BCC -10
    write("fuzz_cpu", "instruction_at_the_top", cpu_case(
        [(0xFFFE, [0x20, 0x34]), (0x0000, [0x12])], entries=(0xFFFE,)))  # JSR $1234 wrapping
    write("fuzz_cpu", "jmp_indirect_ffff", cpu_case([
        (0x1000, [0x6C, 0xFF, 0xFF]),  # JMP ($FFFF)
        (0xFFFF, [0x00]), (0x0000, [0x10]),
    ]))
    write("fuzz_cpu", "status_through_the_stack", cpu_case([(0x1000, [
        0xA9, 0xFF,  # LDA #$FF
        0x48,        # PHA
        0x28,        # PLP
        0x08,        # PHP
        0x68,        # PLA
        0xF0, 0x01,  # BEQ +1
        0x00,        # BRK
        0x40,        # RTI
    ])]))
    write("fuzz_cpu", "indirect_stores", cpu_case([
        (0x00FF, [0x18]), (0x0000, [0xD4]), (0x0010, [0x00, 0xD7]),
        (0x1000, [
            0x81, 0xFF,        # STA ($FF,X)
            0x91, 0x10,        # STA ($10),Y
            0x8F, 0x18, 0xD4,  # SAX $D418
            0x96, 0xF0,        # STX $F0,Y
            0xEE, 0x18, 0xD4,  # INC $D418
            0x60,              # RTS
        ]),
    ], a=0x0F, x=0, y=0xFF))
    write("fuzz_cpu", "recursion_wraps_the_stack", cpu_case(
        [(0x1000, [0x20, 0x00, 0x10])], sp=0x00))  # JSR $1000
    write("fuzz_cpu", "decimal_arithmetic", cpu_case([(0x1000, [
        0xF8,        # SED
        0x69, 0x99,  # ADC #$99
        0xE9, 0x01,  # SBC #$01
        0xE7, 0x20,  # ISC $20
        0xD8,        # CLD
        0x69, 0x7F,  # ADC #$7F
        0x60,        # RTS
    ])], a=0x80, carry=1))
    write("fuzz_cpu", "every_opcode", cpu_case(
        [(0x2000, list(range(128))), (0x2080, list(range(128, 256)))], entries=(0x2000,), x=3, y=7))
    write("fuzz_cpu", "runs_into_empty_memory", cpu_case([], entries=(0x0004,)))
    write("fuzz_cpu", "memory_full_of_rts", cpu_case([], entries=(0x8000, 0xFFFF, 0x0004), fill=0x60))
    write("fuzz_cpu", "init_then_two_plays", cpu_case([
        (0x1000, [
            0xA9, 0x20,        # LDA #$20
            0x8D, 0x14, 0x03,  # STA $0314
            0xA9, 0x10,        # LDA #$10
            0x8D, 0x15, 0x03,  # STA $0315
            0x60,              # RTS
        ]),
        (0x1020, [
            0xEE, 0x00, 0x11,  # INC $1100
            0xAD, 0x00, 0x11,  # LDA $1100
            0x8D, 0x00, 0xD4,  # STA $D400
            0x68,              # PLA
            0x40,              # RTI
        ]),
    ], entries=(0x1000, 0x1020, 0x1020), resets=0b001))
    write("fuzz_cpu", "entry_in_the_end_region", cpu_case(
        [(0x1000, [0x60])], entries=(0x0003, 0x1000, 0x0000), resets=0))


if __name__ == "__main__":
    cpu_seeds()
