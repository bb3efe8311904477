; irq_vector.sid: an interrupt-driven tune. The header gives play address 0
; and load address 0 (the address, $1000, leads the payload). Init installs
; its handler in the system vector $0314/$0315, leaves the hardware vector
; $FFFE at 0, and sets the CIA 1 timer A latch to $2710 (10,000 cycles):
; 100 Hz. The handler plays a four-note arpeggio on voice 2, one note per
; call, and its eighth call slows the tune to 50 Hz by rewriting the latch to
; $4E20 (20,000). It ends with JMP $EA31, which on a C64 finishes the
; system's interrupt work and here is the RTS the loader put there.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

FAST_CALLS = 8          ; handler calls at 100 Hz before the switch to 50 Hz

psid_header 1, 0, init, 0, 1, 1, 0, "Zarvel IRQ vector", "Zarvel developers", "2026 Osket", 0

init:
        cld
        sei                     ; as a C64 tune would while it changes the vector
        lda #<handler
        sta SYSTEM_IRQ_VECTOR
        lda #>handler
        sta SYSTEM_IRQ_VECTOR+1
        lda #<10000
        sta CIA1_TA_LO
        lda #>10000
        sta CIA1_TA_HI
        cli
        lda #$0F
        sta SID+MODE_VOL
        lda #$00
        sta SID+7+ATTACK_DECAY  ; voice 2: instant attack, full sustain
        lda #$F0
        sta SID+7+SUSTAIN_RELEASE
        lda #0
        sta calls
        rts

handler:
        cld
        lda calls
        and #3
        tax
        ldy arpeggio,x
        lda freq_lo,y
        sta SID+7+FREQ_LO
        lda freq_hi,y
        sta SID+7+FREQ_HI
        lda calls               ; gate open on even calls, closed on odd ones
        and #1
        eor #1
        ora #TRIANGLE
        sta SID+7+CONTROL
        inc calls
        lda calls
        cmp #FAST_CALLS
        bne :+
        lda #<20000
        sta CIA1_TA_LO
        lda #>20000
        sta CIA1_TA_HI
:       jmp SYSTEM_IRQ_RETURN

arpeggio: .byte C5, E5, G5, C6

        frequency_tables

.segment "BSS"
calls:  .res 1                  ; handler calls so far, wrapping at 256
