; rsid_main_loop.sid: an RSID whose init never returns. With interrupts off
; it waits in a loop for raster line $80, writes voice 1's pitch, and waits
; for the line to pass. Its stores are made outside any interrupt, so the
; machine sends them once a video frame, at each frame's start.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID main loop", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #$7F
        sta CIA1_ICR
        lda #$0F
        sta SID+MODE_VOL
        lda #TRIANGLE|GATE
        sta SID+CONTROL
        ldx #0
wait:   lda RASTER_LINE
        cmp #$80
        bne wait
        bit RASTER_CONTROL      ; line $180 does not exist on PAL, but be sure
        bmi wait
        inx
        txa
        and #7
        tay
        lda freq_hi,y
        sta SID+FREQ_HI
passed: lda RASTER_LINE
        cmp #$80
        beq passed
        jmp wait

        frequency_tables
