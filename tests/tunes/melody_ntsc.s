; melody_ntsc.sid: melody.sid under a version-2 header whose flags say NTSC
; only ($0018: bits 2-3 = 10, bit 4 MOS 6581). Its speed bit is clear, so it
; plays once a video frame, and an NTSC frame is 1/60 s: 60 Hz.
HEADER_VERSION = 2
HEADER_FLAGS = $0018
.include "melody.s"
