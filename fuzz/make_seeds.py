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
    # Zeroed memory is BRK, through the empty vector at $FFFE into the end
    # region: an abandoned call, not a return.
    write("fuzz_cpu", "brk_into_the_end_region", cpu_case([(0x1000, [0xEA, 0x00])]))  # NOP, BRK
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


# ---- fuzz_psid: PSID files. The test tunes under tests/tunes join these
# when they exist.

def psid(payload=b"", version=2, load=0x1000, init=0x1000, play=0x1003, songs=1,
         start=1, speed=0, name=b"Seed", flags=0, magic=b"PSID", data_offset=0x7C, sids=(0, 0)):
    out = magic + struct.pack(">HHHHHHHI", version, data_offset, load, init, play, songs, start, speed)
    for text in (name, b"Zarvel", b"2026 Zarvel"):
        out += text[:32].ljust(32, b"\0")
    if 2 <= version <= 4:  # flags, start page, page length, second and third SID
        out += struct.pack(">HBBBB", flags, 0, 0, *sids)
    return out + bytes(payload)


PLAY_WRITES = bytes([
    0xEE, 0x00, 0x11,  # INC $1100
    0xAD, 0x00, 0x11,  # LDA $1100
    0x8D, 0x00, 0xD4,  # STA $D400
    0x8D, 0x04, 0xD4,  # STA $D404
    0x8D, 0x04, 0xD4,  # STA $D404
    0x8D, 0x16, 0xD4,  # STA $D416
    0x60,              # RTS
])


def psid_seeds():
    init_play = bytes([
        0xA9, 0x0F,        # LDA #$0F      init at $1000
        0x8D, 0x18, 0xD4,  # STA $D418
        0x60,              # RTS
    ]).ljust(0x20, b"\xEA") + PLAY_WRITES  # play at $1020
    write("fuzz_psid", "two_songs", psid(init_play, play=0x1020, songs=2, speed=2))
    write("fuzz_psid", "version_1", psid(init_play, version=1, play=0x1020, data_offset=0x76))
    write("fuzz_psid", "version_3_with_a_second_sid", psid(bytes([
        0xA9, 0x0F,        # LDA #$0F
        0x8D, 0x18, 0xD4,  # STA $D418
        0x8D, 0x38, 0xD4,  # STA $D438   the second chip's volume, not the first's
        0x60,              # RTS
    ]).ljust(0x20, b"\xEA") + PLAY_WRITES, version=3, play=0x1020, sids=(0x42, 0)))
    write("fuzz_psid", "version_4_with_three_sids", psid(init_play, version=4, play=0x1020, sids=(0x50, 0xE0)))
    write("fuzz_psid", "header_zeros", psid(init_play, init=0, play=0x1020, songs=0, start=0))
    write("fuzz_psid", "no_tune_data", psid(b"\x00\x10", load=0))
    write("fuzz_psid", "load_address_in_payload", psid(b"\x00\x10" + init_play, load=0, play=0x1020))
    write("fuzz_psid", "payload_past_the_top", psid(b"\x60" * 8192, load=0xF000, init=0xF000, play=0xF000))
    write("fuzz_psid", "mus", psid(init_play, flags=1))
    write("fuzz_psid", "rsid", psid(init_play, magic=b"RSID"))
    write("fuzz_psid", "white_space_before_magic", b"\n\t  " + psid(init_play, play=0x1020))
    write("fuzz_psid", "truncated_header", psid(init_play)[:60])
    write("fuzz_psid", "long_name_with_high_bits", psid(init_play, play=0x1020, name=b"\xE9" * 32))
    write("fuzz_psid", "irq_through_the_system_vector", psid(bytes([
        0xA9, 0x20,        # LDA #$20
        0x8D, 0x14, 0x03,  # STA $0314
        0xA9, 0x10,        # LDA #$10
        0x8D, 0x15, 0x03,  # STA $0315
        0xA9, 0x01,        # LDA #$01
        0x8D, 0x04, 0xDC,  # STA $DC04   latch 1: the fastest rate
        0x60,              # RTS
    ]).ljust(0x20, b"\xEA") + bytes([
        0xCE, 0x04, 0xDC,  # DEC $DC04   latch 0 from the first call on
        0x8D, 0x18, 0xD4,  # STA $D418
        0x4C, 0x31, 0xEA,  # JMP $EA31
    ]), play=0, songs=3, speed=0xFFFFFFFF))
    write("fuzz_psid", "play_never_returns", psid(init_play[:0x20] + bytes([0x4C, 0x20, 0x10]), play=0x1020))
    tunes = os.path.join(HERE, "..", "tests", "tunes")
    if os.path.isdir(tunes):
        for name in sorted(os.listdir(tunes)):
            if name.endswith(".sid"):
                with open(os.path.join(tunes, name), "rb") as f:
                    write("fuzz_psid", "tune_" + name[:-4], f.read())


# ---- fuzz_commands: command and argument byte pairs (see fuzz_commands.cpp).

PLAY, STOP, SONG, SPEED, FILTER, VOICE, LOAD, WAIT, CALLBACKS, PASSES, PRESS_PLAY, PRESS_STOP, EXIT = range(13)
COUNTER, WIDE, IRQ, STUCK, MUS, MISSING, NOT_PSID = range(7)


def commands(*pairs):
    return [b for pair in pairs for b in pair]


def command_seeds():
    write("fuzz_commands", "play_pause_play", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 3), (PLAY, 0), (CALLBACKS, 5), (PLAY, 0), (CALLBACKS, 5)))
    write("fuzz_commands", "quick_pause_and_play", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 3), (PLAY, 0), (PLAY, 0), (CALLBACKS, 4)))
    write("fuzz_commands", "play_stop_play", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 3), (STOP, 0), (PLAY, 0), (CALLBACKS, 6)))
    write("fuzz_commands", "song_change_while_playing", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 4), (SONG, 2), (CALLBACKS, 4), (SONG, 1), (CALLBACKS, 2)))
    write("fuzz_commands", "song_change_while_paused", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 4), (PLAY, 0), (SONG, 2), (PLAY, 0), (CALLBACKS, 4),
        (STOP, 0), (PLAY, 0), (CALLBACKS, 4)))
    write("fuzz_commands", "load_while_playing", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 4), (LOAD, WIDE), (CALLBACKS, 4), (LOAD, MUS),
        (CALLBACKS, 2), (LOAD, IRQ), (PLAY, 0), (CALLBACKS, 7)))
    write("fuzz_commands", "settings_while_playing", commands(
        (LOAD, WIDE), (PLAY, 0), (SPEED, 200), (FILTER, 20), (VOICE, 0), (CALLBACKS, 4),
        (VOICE, 1), (FILTER, 200), (SPEED, 20), (WAIT, 200), (PASSES, 3)))
    write("fuzz_commands", "irq_tune_changes_its_rate", commands(
        (LOAD, IRQ), (PLAY, 0), (CALLBACKS, 7), (PASSES, 1), (SPEED, 150), (CALLBACKS, 7), (PASSES, 2)))
    write("fuzz_commands", "stuck_play_then_play_again", commands(
        (LOAD, STUCK), (PLAY, 0), (CALLBACKS, 3), (PLAY, 0), (CALLBACKS, 3)))
    write("fuzz_commands", "stuck_play_with_a_start_waiting", commands(
        (LOAD, STUCK), (PLAY, 0), (PRESS_STOP, 0), (PRESS_PLAY, 0), (WAIT, 200), (PASSES, 0)))
    write("fuzz_commands", "presses_within_one_pass", commands(
        (LOAD, COUNTER), (PRESS_PLAY, 0), (PRESS_PLAY, 0), (PRESS_PLAY, 0), (PASSES, 0), (CALLBACKS, 3),
        (PRESS_STOP, 0), (PRESS_PLAY, 0), (PASSES, 1), (CALLBACKS, 5)))
    write("fuzz_commands", "bad_loads", commands(
        (LOAD, MISSING), (PLAY, 0), (LOAD, NOT_PSID), (PLAY, 0), (LOAD, MUS), (PLAY, 0), (CALLBACKS, 2)))
    write("fuzz_commands", "many_stops_and_starts", commands(
        (LOAD, COUNTER), *([(PLAY, 0), (CALLBACKS, 1), (STOP, 0)] * 12), (PLAY, 0), (CALLBACKS, 7)))
    write("fuzz_commands", "zero_delta_time", commands(
        (LOAD, IRQ), (SPEED, 200), (PLAY, 0), *([(WAIT, 200)] * 5), (PASSES, 3), (STOP, 0), (PLAY, 0),
        (CALLBACKS, 7), (SPEED, 100), (WAIT, 100)))
    write("fuzz_commands", "exit_while_playing", commands(
        (LOAD, COUNTER), (PLAY, 0), (CALLBACKS, 4), (EXIT, 0)))


# ---- fuzz_collection: the collection's text files, as they come.

def collection_seeds():
    write("fuzz_collection", "song_lengths", b"[Database]\r\n; /MUSICIANS/A/Artist/One.sid\r\n"
          b"0123456789abcdef0123456789abcdef=3:12\r\n"
          b"FEDCBA9876543210FEDCBA9876543210=0:05.5 1:02.025 123:45.678 0:00\r\n"
          b"11111111111111111111111111111111=0:46(G) 1:02 (M)\r\n[Other]\r\nx=1\r\n")
    write("fuzz_collection", "song_lengths_malformed", b"[Database\n0123=1:00\n"
          b"22222222222222222222222222222222=1:5 1:60 1:00.1234 35791:23.648 1:00(G\n"
          b"22222222222222222222222222222222=1:00,2:00\n")
    write("fuzz_collection", "stil", b"### Quill ###\n/MUSICIANS/Q/Quill_Ada/\nCOMMENT: A folder.\n\n"
          b"/MUSICIANS/Q/Quill_Ada/Suite.sid\r\nCOMMENT: Four songs,\r\n         on two lines.\r\n"
          b"(#1)\r\n  TITLE: Overture\r\n ARTIST: Ada Quill\r\n(#3)\r\n   NAME: Third\r\n"
          b"\tindented by a tab\r\n  FOOTER: no field\r\n(#0)\r\n(#99999999999)\r\n\r\n"
          b"/GAMES/Z/Zed.sid\n  TITLE: Upper\n/GAMES/Z/zed.sid\n  TITLE: lower\n")


if __name__ == "__main__":
    collection_seeds()
    cpu_seeds()
    psid_seeds()
    command_seeds()
