; melody.sid: one song at 50 Hz (speed bit clear) that loops an eight-note
; phrase on voice 1 with a 50% pulse. Each note lasts eight play calls: the
; first sets the frequency and opens the gate, the seventh closes it.
; melody_v2.s assembles this same tune under a version-2 header.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

.ifndef HEADER_VERSION
HEADER_VERSION = 1
HEADER_FLAGS = 0
.endif

NOTE_CALLS = 8          ; play calls per note
GATE_OFF_CALL = 6       ; the call within a note that closes the gate

psid_header HEADER_VERSION, $1000, init, play, 1, 1, 0, "Zarvel Melody", "Zarvel developers", "2026 Osket", HEADER_FLAGS

init:   jmp start       ; $1000
play:   jmp step        ; $1003

start:
        cld                     ; D may be left set by whoever ran before; ADC must add in binary
        lda #$0F
        sta SID+MODE_VOL        ; volume 15, no filter
        lda #$09
        sta SID+ATTACK_DECAY    ; attack 2 ms, decay 750 ms
        lda #$A4
        sta SID+SUSTAIN_RELEASE ; sustain 10, release 114 ms
        lda #$00
        sta SID+PW_LO
        lda #$08
        sta SID+PW_HI           ; pulse width $800: a square wave
        lda #0
        sta call
        sta note
        rts

step:
        cld
        ldx note
        lda call
        bne gate_off
        ldy phrase,x            ; first call of a note: pitch, then gate on
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda #PULSE|GATE
        sta SID+CONTROL
        jmp advance
gate_off:
        cmp #GATE_OFF_CALL
        bne advance
        lda #PULSE
        sta SID+CONTROL
advance:
        inc call
        lda call
        cmp #NOTE_CALLS
        bne done
        lda #0
        sta call
        inx
        cpx #PHRASE_LENGTH
        bne :+
        ldx #0
:       stx note
done:   rts

phrase: .byte C4, E4, G4, E4, F4, A4, G4, D4
PHRASE_LENGTH = * - phrase

        frequency_tables

.segment "BSS"
call:   .res 1                  ; 0..7 within the current note
note:   .res 1                  ; index into phrase
