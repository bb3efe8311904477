; multisong.sid: four songs; speed bits set for songs 1, 2 and 4.
;   song 1: latch $4025 (16,421 cycles): 60 Hz by the timer rule
;   song 2: latch $4CC7 (19,655 cycles): 50 Hz by the timer rule (start song)
;   song 3: speed bit clear: 50 Hz, although init writes latch $1000
;   song 4: latch never set: the machine's start value $4025, 60 Hz
; Every play call writes the three voices and the filter, thirteen stores in
; a fixed order: 0 1 4, 7 8 11, 14 15 18, 21 22 23 24. Each song has its own
; chords, tempo, waveforms and filter, so that the four sound unlike.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

SONGS = 4

psid_header 1, $1000, init, play, SONGS, 2, %1011, "Zarvel Multisong", "Zarvel developers", "2026 Osket", 0

init:   jmp start
play:   jmp step

; A holds the song number minus one.
start:
        cld
        cmp #SONGS
        bcc :+
        lda #0                  ; songs past the last play song 1's part
:       sta song
        tax
        lda latch_lo,x
        ora latch_hi,x
        beq no_latch            ; song 4 leaves the latch as the player cleared it
        lda latch_lo,x
        sta CIA1_TA_LO
        lda latch_hi,x
        sta CIA1_TA_HI
no_latch:
        lda #$08
        sta SID+PW_HI           ; square waves on all three voices
        sta SID+7+PW_HI
        sta SID+14+PW_HI
        lda attack_decay,x
        sta SID+ATTACK_DECAY
        sta SID+7+ATTACK_DECAY
        sta SID+14+ATTACK_DECAY
        lda sustain_release,x
        sta SID+SUSTAIN_RELEASE
        sta SID+7+SUSTAIN_RELEASE
        sta SID+14+SUSTAIN_RELEASE
        lda #0
        sta call
        sta beat
        lda cutoff_start,x
        sta cutoff
        rts

; One play call: the three voices, then the filter, then the clocks.
step:
        cld
        ldx song
        lda beat                ; chord = song * 4 + beat / 4
        lsr
        lsr
        sta chord
        txa
        asl
        asl
        ora chord
        tay
        lda roots,y
        sta root

        lda #GATE               ; the gate closes on a beat's last call
        ldy tempo,x
        dey
        cpy call
        bne :+
        lda #0
:       sta gate

        lda wave1,x             ; voice 1: the root
        ora gate
        sta control
        lda root
        ldy #0
        jsr play_voice

        ldx song                ; voice 2: the third (major or minor)
        lda wave2,x
        ora gate
        sta control
        lda root
        clc
        adc third,x
        ldy #7
        jsr play_voice

        ldx song                ; voice 3: the fifth, an octave up on odd beats
        lda wave3,x
        ora gate
        sta control
        lda beat
        and #1
        beq :+
        lda #12
:       clc
        adc root
        adc #7
        ldy #14
        jsr play_voice

        ldx song                ; filter: cutoff sweeps, wrapping round
        lda cutoff
        clc
        adc sweep,x
        sta cutoff
        lda #0
        sta SID+CUTOFF_LO
        lda cutoff
        sta SID+CUTOFF_HI
        lda res_filt,x
        sta SID+RES_FILT
        lda mode_vol,x
        sta SID+MODE_VOL

        inc call                ; calls per beat follow the song's tempo
        lda call
        cmp tempo,x
        bne :+
        lda #0
        sta call
        lda beat
        clc
        adc #1
        and #15
        sta beat
:       rts

; A: note, Y: the voice's first register (0, 7 or 14); control holds the
; waveform and gate. Writes frequency low, high, then control.
play_voice:
        tax
        lda freq_lo,x
        sta SID+FREQ_LO,y
        lda freq_hi,x
        sta SID+FREQ_HI,y
        lda control
        sta SID+CONTROL,y
        rts

;                  song 1      song 2      song 3      song 4
latch_lo:       .byte <$4025,     <$4CC7,     <$1000,     0
latch_hi:       .byte >$4025,     >$4CC7,     >$1000,     0
tempo:          .byte 6,          8,          10,         4       ; calls per beat
wave1:          .byte SAWTOOTH,   PULSE,      TRIANGLE,   PULSE
wave2:          .byte PULSE,      SAWTOOTH,   TRIANGLE,   NOISE
wave3:          .byte TRIANGLE,   PULSE,      SAWTOOTH,   SAWTOOTH
third:          .byte 4,          3,          4,          3
attack_decay:   .byte $09,        $22,        $58,        $04
sustain_release:.byte $A4,        $C8,        $8A,        $40
cutoff_start:   .byte $20,        $80,        $F0,        $40
sweep:          .byte 3,          1,          $FE,        7       ; cutoff step per call
res_filt:       .byte $F1,        $83,        $47,        $27     ; resonance, filtered voices
mode_vol:       .byte LOW_PASS|15, BAND_PASS|15, LOW_PASS|12, HIGH_PASS|15

; Four chord roots per song, one per four beats.
roots:          .byte C3, F3, G3, C3            ; song 1: C major, I IV V I
                .byte A2, F2, C3, G2            ; song 2: A minor
                .byte D3, G3, A2, D3            ; song 3: D major, slow
                .byte E3, C3, D3, B2            ; song 4: E minor, fast

        frequency_tables

.segment "BSS"
song:    .res 1         ; 0..3
call:    .res 1         ; calls into the current beat
beat:    .res 1         ; 0..15
chord:   .res 1
root:    .res 1
gate:    .res 1
control: .res 1
cutoff:  .res 1
