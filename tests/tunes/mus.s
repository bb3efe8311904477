; mus.sid: a version-2 header whose flags word has bit 0 set: the payload is
; Compute!'s Sidplayer MUS data, which needs a player of its own rather than
; code to run. The loader refuses it ("What is MUS?"). The payload here is a
; few bytes of no meaning; the loader never reaches it.

.include "psid.inc"

psid_header 2, $1000, $1000, $1003, 1, 1, 0, "Zarvel MUS", "Zarvel developers", "2026 Osket", $0001

        .byte $00, $00, $00, $00, $01, $4F, $01, $4F
