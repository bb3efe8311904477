; melody_v2.sid: melody.sid under a version-2 header with flags $0014
; (bit 2: PAL, bit 4: MOS 6581), so its payload starts at offset 124.
HEADER_VERSION = 2
HEADER_FLAGS = $0014
.include "melody.s"
