; register_copy.sid: a tune in the style of many players that keep a copy of
; the SID's registers in memory and hand it to the chip in one loop. Init
; clears $D400..$D41C (registers 0..28) with zeros in ascending order. Every
; play call then copies its 29-byte table to $D400..$D41C, also ascending;
; bytes 25..27 of the table are $FF, as such tables often hold whatever the
; chip's read-only registers last gave. The table opens voice 1's gate with
; a triangle ($11) at frequency $1D45 and sets volume 15; its other bytes are
; 0. On the chip the stores into 25..28 do nothing.

.include "psid.inc"
.include "sid.inc"

psid_header 2, $1000, init, play, 1, 1, 0, "Zarvel Register Copy", "Zarvel developers", "2026 Osket", $0014

init:   jmp clear
play:   jmp copy

clear:
        ldx #0
        lda #0
@next:  sta SID,x
        inx
        cpx #$1D
        bne @next
        rts

copy:
        ldx #0
@next:  lda table,x
        sta SID,x
        inx
        cpx #$1D
        bne @next
        rts

table:  .byte $45, $1D, $00, $00, TRIANGLE|GATE, $00, $F0   ; voice 1
        .byte $00, $00, $00, $00, $00, $00, $00             ; voice 2
        .byte $00, $00, $00, $00, $00, $00, $00             ; voice 3
        .byte $00, $00, $00, $0F                            ; cutoff, routing, volume
        .byte $FF, $FF, $FF, $FF                            ; 25..28: read-only or absent
