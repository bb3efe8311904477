; demo.sid: a three-voice tune of our own for the command-line player's demo.
; Sixteen bars in A minor at 50 Hz, 35.84 seconds (1,792 play calls) before
; it loops: a sawtooth bass on voice 1 and a pulse arpeggio on voice 2, both
; through a resonant low-pass filter whose cutoff sweeps up and down (every
; 17.92 s), and a pulse lead on voice 3 outside the filter. The arpeggio's
; pulse width sweeps too (every 5.12 s), so every play call writes the cutoff
; (21, 22) and voice 2's pulse width (9, 10), after any notes.
;
; Time: a step (a sixteenth note) is 7 play calls, a bar 16 steps.
;   step start (call 0): bass note (when the pattern has one), arpeggio
;                        note, lead note (when one begins)
;   call 3: arpeggio gate closes;  call 4: bass gate closes (after a bass
;   note);  call 5: lead gate closes on the last step of a lead note

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

STEP_CALLS = 7
STEPS_PER_BAR = 16
BARS = 16
ARP_GATE_OFF = 3
BASS_GATE_OFF = 4
LEAD_GATE_OFF = 5

TUNE_CALLS = BARS * STEPS_PER_BAR * STEP_CALLS

CUT_BOTTOM = $0180      ; the cutoff sweeps between these, CUT_STEP per call:
CUT_TOP = $0500         ; up in 448 calls, down in 448, twice per loop
CUT_STEP = 2
PW_BOTTOM = $0400       ; voice 2's pulse width: up in 128 calls, down in
PW_TOP = $0C00          ; 128, seven times per loop
PW_STEP = $10
.assert (CUT_TOP - CUT_BOTTOM) .mod CUT_STEP = 0, error, "the cutoff would miss its turning points"
.assert TUNE_CALLS .mod (2 * (CUT_TOP - CUT_BOTTOM) / CUT_STEP) = 0, error, "the filter sweep must divide the tune"
.assert (PW_TOP - PW_BOTTOM) .mod PW_STEP = 0, error, "the pulse width would miss its turning points"
.assert TUNE_CALLS .mod (2 * (PW_TOP - PW_BOTTOM) / PW_STEP) = 0, error, "the pulse sweep must divide the tune"

REST = $FE              ; in the melody: no note for this many steps
END = $FF               ; in the melody: start again

psid_header 2, $1000, init, play, 1, 1, 0, "Zarvel Demo", "Zarvel developers", "2026 Osket", $0014

init:   jmp start
play:   jmp step_call

start:
        cld
        lda #LOW_PASS|15
        sta SID+MODE_VOL
        lda #$73                ; resonance 7; voices 1 and 2 through the filter
        sta SID+RES_FILT
        lda #$09                ; bass: attack 2 ms, decay 750 ms
        sta SID+ATTACK_DECAY
        lda #$A6                ; sustain 10, release 204 ms
        sta SID+SUSTAIN_RELEASE
        lda #$04                ; arpeggio: a short pluck
        sta SID+7+ATTACK_DECAY
        lda #$44
        sta SID+7+SUSTAIN_RELEASE
        lda #$28                ; lead: attack 16 ms, decay 300 ms
        sta SID+14+ATTACK_DECAY
        lda #$A9                ; sustain 10, release 750 ms
        sta SID+14+SUSTAIN_RELEASE
        lda #$00
        sta SID+14+PW_LO
        lda #$06
        sta SID+14+PW_HI

        lda #0
        sta call
        sta step
        sta bar
        sta mel_pos
        sta mel_left
        sta cut_down
        sta pw_down
        lda #<CUT_BOTTOM
        sta cutoff
        lda #>CUT_BOTTOM
        sta cutoff+1
        lda #<PW_BOTTOM
        sta pulse_width
        lda #>PW_BOTTOM
        sta pulse_width+1
        rts

step_call:
        cld
        lda call
        bne gates
        jsr start_step
        jmp modulate

gates:  cmp #ARP_GATE_OFF
        bne :+
        lda #PULSE
        sta SID+7+CONTROL
        jmp modulate
:       cmp #BASS_GATE_OFF
        bne :+
        ldx step
        lda bass_pattern,x
        beq modulate
        lda #SAWTOOTH
        sta SID+CONTROL
        jmp modulate
:       cmp #LEAD_GATE_OFF
        bne modulate
        lda mel_left            ; 0: this was the note's last step
        ora lead_rest
        bne modulate
        lda #PULSE
        sta SID+14+CONTROL

modulate:
        jsr sweep_filter
        jsr sweep_pulse

        inc call                ; then the clocks: call, step, bar
        lda call
        cmp #STEP_CALLS
        bne done
        lda #0
        sta call
        inc step
        lda step
        cmp #STEPS_PER_BAR
        bne done
        lda #0
        sta step
        inc bar
        lda bar
        cmp #BARS
        bne done
        lda #0
        sta bar
done:   rts

; The notes that begin on this step, voice 1, 2, 3 in that order.
start_step:
        ldx bar
        lda bar_chord,x
        sta chord
        tax

        ldy step                ; bass: root, octave or fifth of the chord
        lda bass_pattern,y
        beq arpeggio
        tay
        lda bass_root,x
        clc
        adc bass_interval,y
        tay
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda #SAWTOOTH|GATE
        sta SID+CONTROL

arpeggio:                       ; the chord's tones in the order 0 1 2 1
        lda step
        and #3
        tay
        lda arp_order,y
        sta tone
        lda chord               ; three tones per chord
        asl
        adc chord
        adc tone
        tay
        lda arp_tones,y
        tay
        lda freq_lo,y
        sta SID+7+FREQ_LO
        lda freq_hi,y
        sta SID+7+FREQ_HI
        lda #PULSE|GATE
        sta SID+7+CONTROL

        lda mel_left            ; lead: the next melody event when the last is done
        bne lead_held
        ldy mel_pos
        lda melody,y
        cmp #END
        bne :+
        ldy #0
        lda melody,y
:       sta lead_note
        lda melody+1,y
        sta mel_left
        iny
        iny
        sty mel_pos
        lda #0
        sta lead_rest
        lda lead_note
        cmp #REST
        bne :+
        inc lead_rest           ; a rest opens no gate and closes none
        bne lead_held
:       tay
        lda freq_lo,y
        sta SID+14+FREQ_LO
        lda freq_hi,y
        sta SID+14+FREQ_HI
        lda #PULSE|GATE
        sta SID+14+CONTROL
lead_held:
        dec mel_left
        rts

; The cutoff moves CUT_STEP per call from CUT_BOTTOM up to CUT_TOP and back
; down, the pulse width likewise: triangles whose periods divide the tune's
; length, so that the tune loops as a whole.
sweep_filter:
        lda cut_down
        bne @down
        lda cutoff
        clc
        adc #CUT_STEP
        sta cutoff
        bcc :+
        inc cutoff+1
:       cmp #<CUT_TOP
        bne write_cutoff
        lda cutoff+1
        cmp #>CUT_TOP
        bne write_cutoff
        inc cut_down
        bne write_cutoff
@down:  lda cutoff
        sec
        sbc #CUT_STEP
        sta cutoff
        bcs :+
        dec cutoff+1
:       cmp #<CUT_BOTTOM
        bne write_cutoff
        lda cutoff+1
        cmp #>CUT_BOTTOM
        bne write_cutoff
        dec cut_down
write_cutoff:                   ; 11 bits: the low three, then the high eight
        lda cutoff
        and #7
        sta SID+CUTOFF_LO
        lda cutoff+1
        asl
        asl
        asl
        asl
        asl
        sta tone
        lda cutoff
        lsr
        lsr
        lsr
        ora tone
        sta SID+CUTOFF_HI
        rts

sweep_pulse:
        lda pw_down
        bne @down
        lda pulse_width
        clc
        adc #PW_STEP
        sta pulse_width
        bcc :+
        inc pulse_width+1
:       cmp #<PW_TOP
        bne write_pulse
        lda pulse_width+1
        cmp #>PW_TOP
        bne write_pulse
        inc pw_down
        bne write_pulse
@down:  lda pulse_width
        sec
        sbc #PW_STEP
        sta pulse_width
        bcs :+
        dec pulse_width+1
:       cmp #<PW_BOTTOM
        bne write_pulse
        lda pulse_width+1
        cmp #>PW_BOTTOM
        bne write_pulse
        dec pw_down
write_pulse:
        lda pulse_width
        sta SID+7+PW_LO
        lda pulse_width+1
        sta SID+7+PW_HI
        rts

;                  Am   F    C    G    E    Dm
bass_root:  .byte  A2,  F2,  C3,  G2,  E2,  D3
arp_tones:  .byte  A3,  C4,  E4     ; Am
            .byte  A3,  C4,  F4     ; F
            .byte  G3,  C4,  E4     ; C
            .byte  G3,  B3,  D4     ; G
            .byte  Gs3, B3,  E4     ; E
            .byte  A3,  D4,  F4     ; Dm
AM = 0
F_ = 1
C_ = 2
G_ = 3
E_ = 4
DM = 5
bar_chord:  .byte  AM, F_, C_, G_,  AM, F_, C_, G_,  DM, AM, F_, E_,  AM, F_, E_, AM

; Per step: 0 nothing new, 1 the root, 2 its octave, 3 its fifth.
bass_pattern:  .byte 1, 0, 2, 0,  1, 0, 2, 0,  1, 0, 2, 0,  3, 0, 2, 0
bass_interval: .byte 0, 0, 12, 7
arp_order:     .byte 0, 1, 2, 1

; The lead, as note and length in steps; each bar's lengths add up to 16.
melody:
        .byte E5, 4, D5, 2, C5, 2, B4, 4, C5, 4         ; 1  Am
        .byte A4, 6, C5, 2, F5, 4, E5, 4                ; 2  F
        .byte E5, 4, G5, 4, E5, 2, D5, 2, C5, 4         ; 3  C
        .byte D5, 8, B4, 4, G4, 4                       ; 4  G
        .byte A4, 4, C5, 4, E5, 4, A5, 4                ; 5  Am
        .byte G5, 2, F5, 2, E5, 4, C5, 4, A4, 4         ; 6  F
        .byte G4, 4, C5, 4, E5, 4, G5, 4                ; 7  C
        .byte F5, 4, E5, 2, D5, 2, B4, 8                ; 8  G
        .byte A4, 4, D5, 4, F5, 6, E5, 2                ; 9  Dm
        .byte E5, 8, C5, 4, A4, 4                       ; 10 Am
        .byte C5, 4, F5, 4, A5, 4, G5, 2, F5, 2         ; 11 F
        .byte E5, 8, Gs4, 4, B4, 4                      ; 12 E
        .byte C5, 4, B4, 2, A4, 2, E5, 8                ; 13 Am
        .byte F5, 4, E5, 4, D5, 4, C5, 4                ; 14 F
        .byte B4, 4, E5, 4, Gs4, 4, B4, 4               ; 15 E
        .byte A4, 12, REST, 4                           ; 16 Am
        .byte END
.assert * - melody < 256, error, "melody too long for an 8-bit index"

        frequency_tables

.segment "BSS"
call:        .res 1     ; 0..6 within the step
step:        .res 1     ; 0..15 within the bar
bar:         .res 1     ; 0..15
chord:       .res 1
tone:        .res 1     ; scratch
mel_pos:     .res 1     ; offset of the next melody event
mel_left:    .res 1     ; steps left of the current lead note after this one
lead_note:   .res 1
lead_rest:   .res 1     ; 1 while the current lead event is a rest
cutoff:      .res 2
cut_down:    .res 1     ; 1 while the cutoff falls
pulse_width: .res 2
pw_down:     .res 1
