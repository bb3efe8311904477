; two_sids_first_only.sid: two_sids.sid, header and all, without its stores
; into the second SID: what the first SID's frames of two_sids.sid must be.
FIRST_SID_ONLY = 1
.include "two_sids.s"
