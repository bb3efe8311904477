; three_sids.sid: a version-4 tune for three SID chips, the second at $D420
; and the third at $D440 (header bytes $42 and $44), both mirrors of the
; first chip on a one-chip C64. Each chip gets values the others never get,
; so a frame sent for the wrong chip shows at once: every call k stores, on
; chip n (1, 2, 3), voice 1's frequency low byte k + $40 (n - 1), its high
; byte n, and the control register, gate open on even calls and closed on
; odd ones: $11 / $10 (triangle) on chip 1, $21 / $20 (sawtooth) on chip 2,
; $41 / $40 (pulse) on chip 3. Init sets the volumes $0F, $1E and $2D.

.include "psid.inc"
.include "sid.inc"

SID2 = $D420
SID3 = $D440

psid_header 4, $1000, init, play, 1, 1, 0, "Zarvel Three SIDs", "Zarvel developers", "2026 Osket", $0014, $42, $44

init:   jmp start
play:   jmp step

start:
        lda #$0F
        sta SID+MODE_VOL
        lda #$1E
        sta SID2+MODE_VOL
        lda #$2D
        sta SID3+MODE_VOL
        lda #0
        sta calls
        rts

step:
        lda calls
        sta SID+FREQ_LO
        clc
        adc #$40
        sta SID2+FREQ_LO
        adc #$40
        sta SID3+FREQ_LO
        lda #1
        sta SID+FREQ_HI
        lda #2
        sta SID2+FREQ_HI
        lda #3
        sta SID3+FREQ_HI
        lda calls
        and #1
        eor #GATE               ; even calls open the gate, odd ones close it
        tax
        ora #TRIANGLE
        sta SID+CONTROL
        txa
        ora #SAWTOOTH
        sta SID2+CONTROL
        txa
        ora #PULSE
        sta SID3+CONTROL
        inc calls
        rts

.segment "BSS"
calls:  .res 1                  ; play calls so far, wrapping at 256
