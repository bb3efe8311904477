; rsid_nmi.sid: an RSID played from CIA 2's timer A, which reaches the CPU as
; an NMI through $FFFA, the KERNAL's entry and the vector at $0318. The latch
; is 9,851: an NMI every 9,852 cycles, 100.0 Hz on PAL. CIA 1's interrupt is
; switched off. The handler writes the next of eight pitches to voice 1 and
; acknowledges CIA 2 itself.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID NMI", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #$7F
        sta CIA1_ICR
        lda CIA1_ICR
        lda #<handler
        sta SYSTEM_NMI_VECTOR
        lda #>handler
        sta SYSTEM_NMI_VECTOR+1
        lda #<9851
        sta CIA2_TA_LO
        lda #>9851
        sta CIA2_TA_HI
        lda #$81                ; timer A's interrupt on
        sta CIA2_ICR
        lda #$11
        sta CIA2_CRA
        lda #$0F
        sta SID+MODE_VOL
        lda #SAWTOOTH|GATE
        sta SID+CONTROL
        cli
        rts

handler:
        pha
        txa
        pha
        inc calls
        lda calls
        and #7
        tax
        lda freq_hi,x
        sta SID+FREQ_HI
        lda CIA2_ICR            ; acknowledge, or no further NMI comes
        pla
        tax
        pla
        rti

        frequency_tables

.segment "BSS"
calls:  .res 1
