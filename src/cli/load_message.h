#pragma once
// The command line's words for a failed load: what went wrong and why.
#include <string>

// For a failed LoadResult, from the reason the loader gave for it
// (last_load_refusal); empty for LOAD_OK.
std::string load_failure_message(int load_result);
