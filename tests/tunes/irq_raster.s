; irq_raster.sid: an interrupt-driven tune that never programs the CIA timer,
; so its latch stays at the machine's start value. The header gives play address 0 and PAL flags; init
; installs the handler at $0314. Song 1 switches the CIA's interrupts off and
; the VIC's raster interrupt on, as tunes paced by the screen do: it plays
; once a frame, 50 Hz. Song 2 does neither and so runs on the timer the C64
; starts with: 60 Hz. The handler plays a note every four calls on voice 1
; (triangle, the gate closing two calls later), acknowledges the raster
; interrupt and ends with JMP $EA31.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

psid_header 2, $1000, init, 0, 2, 1, 0, "Zarvel IRQ raster", "Zarvel developers", "2026 Osket", $0014

init:
        cld
        sei
        tax                     ; the song index
        lda #<handler
        sta SYSTEM_IRQ_VECTOR
        lda #>handler
        sta SYSTEM_IRQ_VECTOR+1
        cpx #0
        bne :+
        lda #$7F
        sta CIA1_ICR            ; no CIA interrupts
        lda #$80
        sta RASTER_LINE         ; the line to interrupt on
        lda #RASTER_IRQ
        sta VIC_IRQ_ENABLE
:       cli
        lda #$0F
        sta SID+MODE_VOL
        lda #$08
        sta SID+ATTACK_DECAY
        lda #$A0
        sta SID+SUSTAIN_RELEASE
        lda #0
        sta calls
        rts

handler:
        cld
        lda #RASTER_IRQ
        sta VIC_IRQ_FLAGS
        lda calls
        and #3
        bne gate_off
        lda calls               ; a note every four calls: pitch, then gate on
        lsr
        lsr
        and #3
        tax
        ldy tune,x
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda #TRIANGLE|GATE
        sta SID+CONTROL
        jmp next
gate_off:
        cmp #2
        bne next
        lda #TRIANGLE
        sta SID+CONTROL
next:   inc calls
        jmp SYSTEM_IRQ_RETURN

tune:   .byte E4, G4, B4, E5

        frequency_tables

.segment "BSS"
calls:  .res 1                  ; handler calls so far, wrapping at 256
