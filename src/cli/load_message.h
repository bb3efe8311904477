#pragma once
// The command line's words for a failed load: what went wrong and why.
#include <cstddef>
#include <string>

// For a failed LoadResult, from the reason the loader gave for it
// (last_load_refusal); empty for LOAD_OK.
std::string load_failure_message(int load_result);

// The same for a path the player cannot hold, which is refused unopened.
std::string path_too_long_message(size_t longest);
