; rsid_banking.sid: an RSID that switches the I/O area out through the
; processor port ($01 = $34, all RAM), stores $AA at $D418 and $D400 into
; the RAM beneath, then switches I/O back in ($35, KERNAL out) and plays:
; a CIA 1 interrupt through the hardware vector at $FFFE, which now reads
; RAM. Only the stores with I/O in reach the SID.

.include "psid.inc"
.include "sid.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID banking", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #$34
        sta PORT
        lda #$AA
        sta SID+MODE_VOL        ; RAM at $D418
        sta SID+FREQ_LO         ; RAM at $D400
        lda #<handler
        sta HARDWARE_IRQ_VECTOR
        lda #>handler
        sta HARDWARE_IRQ_VECTOR+1
        lda #$35
        sta PORT
        lda #$0F
        sta SID+MODE_VOL
        cli
        rts

handler:
        pha
        lda CIA1_ICR
        inc count
        lda count
        sta SID+FREQ_HI
        pla
        rti

.segment "BSS"
count:  .res 1
