; irq_rti.sid: an interrupt-driven tune whose handler ends in RTI. The header
; gives play address 0. Init points the hardware vector $FFFE/$FFFF at the
; handler and, as a decoy, the system vector $0314/$0315 at another routine:
; the hardware vector must win. The latch is $4CC7 (19,655 cycles): 50 Hz.
; The handler plays voice 3, a note every four calls with the gate closing
; two calls later, and pushes nothing: RTI pulls exactly the status byte and
; return address that an interrupt entry pushes.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

psid_header 1, $1000, init, 0, 1, 1, 0, "Zarvel IRQ RTI", "Zarvel developers", "2026 Osket", 0

init:
        cld
        sei
        lda #<handler
        sta HARDWARE_IRQ_VECTOR
        lda #>handler
        sta HARDWARE_IRQ_VECTOR+1
        lda #<decoy
        sta SYSTEM_IRQ_VECTOR
        lda #>decoy
        sta SYSTEM_IRQ_VECTOR+1
        lda #$C7
        sta CIA1_TA_LO
        lda #$4C
        sta CIA1_TA_HI
        lda #$0F
        sta SID+MODE_VOL
        lda #$0A
        sta SID+14+ATTACK_DECAY
        lda #$00
        sta SID+14+SUSTAIN_RELEASE
        lda #0
        sta calls
        rts

handler:
        cld
        lda calls
        and #3
        bne gate_off
        lda calls               ; a new note every four calls
        lsr
        lsr
        and #3
        tax
        ldy notes,x
        lda freq_lo,y
        sta SID+14+FREQ_LO
        lda freq_hi,y
        sta SID+14+FREQ_HI
        lda #SAWTOOTH|GATE
        sta SID+14+CONTROL
        jmp done
gate_off:
        cmp #2
        bne done
        lda #SAWTOOTH
        sta SID+14+CONTROL
done:   inc calls
        lda CIA1_ICR            ; acknowledge the timer, as on the machine
        rti

; Never the play routine: it would silence the tune.
decoy:
        lda #0
        sta SID+MODE_VOL
        jmp SYSTEM_IRQ_RETURN

notes:  .byte A3, C4, E4, G4

        frequency_tables

.segment "BSS"
calls:  .res 1
