#pragma once
// The words each program has for a failed load. The command line (and the web
// page) says what went wrong and why; the window keeps its one short text per
// result.
#include <string>

// For a failed LoadResult, from the reason the loader gave for it
// (last_load_refusal); empty for LOAD_OK.
std::string load_failure_message(int load_result);

// The window's warning box text for a failed LoadResult.
const char* load_failure_box_text(int load_result);
