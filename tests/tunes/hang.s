; hang.sid: a 50 Hz tune whose play routine stops returning. Its first
; twelve calls play three notes on voice 1 (a note every four calls, the gate
; closing two calls later). The thirteenth call, and every one after it,
; closes the gate and then waits for raster line $80, which never comes: the
; raster register is plain memory here and stays 0. The core abandons the call.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

GOOD_CALLS = 12

psid_header 1, $1000, init, play, 1, 1, 0, "Zarvel Hang", "Zarvel developers", "2026 Osket", 0

init:   jmp start
play:   jmp step

start:
        cld
        lda #$0F
        sta SID+MODE_VOL
        lda #$08
        sta SID+ATTACK_DECAY
        lda #$80
        sta SID+SUSTAIN_RELEASE
        lda #0
        sta calls
        rts

step:
        cld
        lda calls
        cmp #GOOD_CALLS
        bcs hang
        inc calls
        and #3
        bne gate_off
        lda calls               ; calls is 1, 5 or 9 here: notes 0, 1, 2
        lsr
        lsr
        tax
        ldy notes,x
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda #TRIANGLE|GATE
        sta SID+CONTROL
        rts
gate_off:
        cmp #2
        bne :+
        lda #TRIANGLE
        sta SID+CONTROL
:       rts

hang:
        lda #TRIANGLE
        sta SID+CONTROL
wait:   lda RASTER_LINE
        cmp #$80
        bne wait
        rts

notes:  .byte G4, B4, D5

        frequency_tables

.segment "BSS"
calls:  .res 1
