; rsid_cia.sid: an RSID driven by CIA 1 timer A. Init sets the latch to
; 19,704 ($4CF8), installs the handler at $0314 and returns: the machine idles
; and the timer interrupts every 19,705 cycles (latch + 1), 50.0 Hz on PAL.
; Each interrupt steps voice 1's pitch through four notes and ends in the
; KERNAL's handler at $EA31, which acknowledges the timer.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID CIA", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #<handler
        sta SYSTEM_IRQ_VECTOR
        lda #>handler
        sta SYSTEM_IRQ_VECTOR+1
        lda #<19704
        sta CIA1_TA_LO
        lda #>19704
        sta CIA1_TA_HI
        lda #$11                ; start, loading the latch
        sta CIA1_CRA
        lda #$0F
        sta SID+MODE_VOL
        lda #$09
        sta SID+ATTACK_DECAY
        lda #TRIANGLE|GATE
        sta SID+CONTROL
        cli
        rts

handler:
        inc calls
        lda calls
        and #3
        tax
        ldy tune,x
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        jmp SYSTEM_IRQ_RETURN

tune:   .byte C4, E4, G4, C5

        frequency_tables

.segment "BSS"
calls:  .res 1
