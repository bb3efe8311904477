#!/usr/bin/env python3
"""Cuts the first cases of each opcode out of Tom Harte's 6502 single-step
tests in their binary transcription (repository jepebe/ProcessorTestsBinaries,
folder 6502/, one file per opcode) into cases.bin, in the same record format.

Usage: make_cases.py FOLDER_WITH_xx.bin [CASES_PER_OPCODE]

The twelve JAM opcodes and ANE $8B / LXA $AB are left out: the chip stops on
the former, and the latter depend on a constant that differs between chips.
"""
import sys
from pathlib import Path

SKIPPED = {0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2, 0x8B, 0xAB}


def record_length(data, at):
    """Bytes of one record: name, two states, the cycle list."""
    pos = at + 10
    for _ in range(2):
        pos += 7
        pos += 1 + 3 * data[pos]
    return pos + 1 + 4 * data[pos] - at


def main():
    folder = Path(sys.argv[1])
    per_opcode = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    out = bytearray()
    for opcode in range(256):
        if opcode in SKIPPED:
            continue
        data = (folder / f"{opcode:02x}.bin").read_bytes()
        at = 0
        for _ in range(per_opcode):
            length = record_length(data, at)
            out += data[at:at + length]
            at += length
    (Path(__file__).parent / "cases.bin").write_bytes(out)


if __name__ == "__main__":
    main()
