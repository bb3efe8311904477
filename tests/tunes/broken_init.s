; broken_init.sid: a broken rip, as found in the wild. Its init sets the
; volume and then jumps to $C000, which the file never loads: the core runs
; the empty memory there (BRK, a one-byte no-op to it) up past $FFFF and
; abandons the call. Its play routine would play a note, but must never run.

.include "psid.inc"
.include "sid.inc"

psid_header 1, $1000, init, play, 1, 1, 0, "Zarvel Broken Init", "Zarvel developers", "2026 Osket", 0

init:   jmp start
play:   jmp step

start:
        lda #$0F
        sta SID+MODE_VOL
        jmp $C000

step:
        lda #$11
        sta SID+FREQ_HI
        lda #$21
        sta SID+CONTROL
        rts
