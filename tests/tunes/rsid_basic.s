; rsid_basic.sid: an RSID whose flags say it is a BASIC program (bit 1): it
; needs the C64's BASIC ROM, which the player does not have. The payload is
; the one-line program 10 POKE 54296,15 in BASIC's own form (placed where
; our layout puts every tune; a real one would sit at $0801).

.include "psid.inc"

rsid_header 2, 0, 1, 1, "Zarvel RSID BASIC", "Zarvel developers", "2026 Osket", $0016

        .word next_line         ; link to the next line
        .word 10                ; line number
        .byte $97, " 54296,15", 0  ; POKE token, its arguments, end of line
next_line:
        .word 0                 ; end of program
