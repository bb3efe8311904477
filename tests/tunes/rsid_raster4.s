; rsid_raster4.sid: an RSID whose raster interrupt comes four times a frame,
; on lines $10, $58, $A0 and $E8 (72 lines, 4,536 PAL cycles, apart). CIA 1's
; interrupt is switched off, so the raster is the only source: 4 x 50.125 =
; 200.5 handler runs a second on PAL. Each run acknowledges the VIC, writes
; voice 1's pulse width from its line number and arms the next line.

.include "psid.inc"
.include "sid.inc"

rsid_header 2, init, 1, 1, "Zarvel RSID raster x4", "Zarvel developers", "2026 Osket", $0014

init:
        sei
        lda #$7F
        sta CIA1_ICR            ; no CIA 1 interrupts
        lda CIA1_ICR            ; and none left pending
        lda #<handler
        sta SYSTEM_IRQ_VECTOR
        lda #>handler
        sta SYSTEM_IRQ_VECTOR+1
        lda #$1B                ; raster line bit 8 clear
        sta RASTER_CONTROL
        lda lines
        sta RASTER_LINE
        lda #RASTER_IRQ
        sta VIC_IRQ_ENABLE
        lda #$0F
        sta SID+MODE_VOL
        lda #PULSE|GATE
        sta SID+CONTROL
        lda #0
        sta next
        cli
        rts

handler:
        lda #RASTER_IRQ
        sta VIC_IRQ_FLAGS
        ldx next
        lda lines,x
        sta SID+PW_LO
        inx
        txa
        and #3
        sta next
        tax
        lda lines,x
        sta RASTER_LINE
        jmp SYSTEM_IRQ_EXIT

lines:  .byte $10, $58, $A0, $E8

.segment "BSS"
next:   .res 1
