; undocumented.sid: one song at 50 Hz whose play routine counts in decimal
; mode and shapes voice 1 from the count with SBX, ALR and ARR, the kind of
; undocumented instructions real players use to save cycles. Each play call
; k makes five stores, in this order (the count is k in BCD, k <= 99):
;   PW_LO    the count
;   PW_HI    ALR #$F0: the tens digit times 8
;   FREQ_LO  SBX #$05 with A = $FF: count - 5 in binary; C = count >= 5
;   FREQ_HI  ARR #$FE on the count, rotating that C in at bit 7
;   CONTROL  PULSE, plus GATE when ARR's result has bit 6 set (ARR's C)

.include "psid.inc"
.include "sid.inc"

psid_header 1, $1000, init, play, 1, 1, 0, "Zarvel Undocumented", "Zarvel developers", "2026 Osket", 0

count = $F0

init:   jmp start       ; $1000
play:   jmp step        ; $1003

start:
        lda #$0F
        sta SID+MODE_VOL
        lda #0
        sta count
        rts

step:
        sed
        lda count
        clc
        adc #$01                ; decimal: $09 + 1 = $10, $99 + 1 = $00
        sta count
        cld
        sta SID+PW_LO
        .byte $4B, $F0          ; ALR #$F0
        sta SID+PW_HI
        lda #$FF
        ldx count
        .byte $CB, $05          ; SBX #$05
        stx SID+FREQ_LO
        lda count
        .byte $6B, $FE          ; ARR #$FE
        sta SID+FREQ_HI
        lda #PULSE
        bcc gate_closed
        lda #PULSE|GATE
gate_closed:
        sta SID+CONTROL
        rts
