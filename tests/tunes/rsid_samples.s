; rsid_samples.sid: an RSID that plays a 4-bit sample through the volume
; register, as digi players do: CIA 1 timer A at latch 122 interrupts every
; 123 cycles (8,010 Hz on PAL) and each interrupt stores the next sample
; value into $D418. Sixteen such stores a millisecond are far more than any
; register frame can carry.

.include "psid.inc"
.include "sid.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID samples", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #$35                ; KERNAL out: the handler sits at $FFFE itself
        sta PORT
        lda #<handler
        sta HARDWARE_IRQ_VECTOR
        lda #>handler
        sta HARDWARE_IRQ_VECTOR+1
        lda #122
        sta CIA1_TA_LO
        lda #0
        sta CIA1_TA_HI
        lda #$11
        sta CIA1_CRA
        lda #TRIANGLE|GATE
        sta SID+CONTROL
        cli
        rts

handler:
        pha
        lda CIA1_ICR
        inc position
        lda position
        and #15
        tax
        lda wave,x
        sta SID+MODE_VOL
        pla
        rti

wave:   .byte 8, 11, 13, 15, 15, 15, 13, 11, 8, 5, 3, 1, 1, 1, 3, 5

.segment "BSS"
position: .res 1
