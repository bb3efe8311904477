; two_sids.sid: a version-3 tune for two SID chips, the second at $D420
; (header byte $42), where a one-chip C64 mirrors the first chip's registers.
; The first SID plays a note every eight calls on voice 1 (pulse, the gate
; closing at the sixth call). The second SID writes every call: voice 1's
; frequency (rising), its control, the cutoff and its volume, each a value
; the first SID never gets. Folded onto the first chip, every frame would
; change. two_sids_first_only.s assembles the same tune without a single
; store into the second SID.

.include "psid.inc"
.include "sid.inc"
.include "notes.inc"

.ifndef FIRST_SID_ONLY
FIRST_SID_ONLY = 0
.endif

SID2 = $D420

psid_header 3, $1000, init, play, 1, 1, 0, "Zarvel Two SIDs", "Zarvel developers", "2026 Osket", $0014, $42

init:   jmp start
play:   jmp step

start:
        cld
        lda #$0F
        sta SID+MODE_VOL
        lda #$09
        sta SID+ATTACK_DECAY
        lda #$A4
        sta SID+SUSTAIN_RELEASE
        lda #$00
        sta SID+PW_LO
        lda #$08
        sta SID+PW_HI
.if !FIRST_SID_ONLY
        lda #$1F
        sta SID2+MODE_VOL
        lda #$00
        sta SID2+ATTACK_DECAY
        lda #$F0
        sta SID2+SUSTAIN_RELEASE
.endif
        lda #0
        sta calls
        rts

step:
        cld
        lda calls
        and #7
        bne gate_off
        lda calls               ; first call of a note: pitch, then gate on
        lsr
        lsr
        lsr
        and #3
        tax
        ldy bass,x
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda #PULSE|GATE
        sta SID+CONTROL
        jmp second
gate_off:
        cmp #6
        bne second
        lda #PULSE
        sta SID+CONTROL
second:
.if !FIRST_SID_ONLY
        lda calls
        sta SID2+FREQ_LO
        lda #$30
        sta SID2+FREQ_HI
        lda #SAWTOOTH|GATE
        sta SID2+CONTROL
        lda calls
        sta SID2+CUTOFF_HI
        lda #$2F
        sta SID2+MODE_VOL
.endif
        inc calls
        rts

bass:   .byte C3, G2, A2, F2

        frequency_tables

.segment "BSS"
calls:  .res 1                  ; play calls so far, wrapping at 256
