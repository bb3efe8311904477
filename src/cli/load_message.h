#pragma once
// The load command's words for a failed load, as the window shows them.

// "Couldn't open file.", "Not a PSID-file?" or "What is MUS?" for a failed
// LoadResult; nullptr for LOAD_OK and anything else.
const char* load_failure_message(int load_result);
