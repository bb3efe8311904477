#pragma once
// How every command tells of a tune whose play routine did not return, which
// stops playback: the same words, with the song time it happened.
#include <cstdint>
#include <cstdio>
#include <string>

// "the play routine did not return at 0.260 s: playback stopped"; without
// the time when it is not known (below 0).
std::string playback_stop_text(int32_t at_ms);

// "zarvel-cli: " and the text above, on err.
void report_playback_stop(std::FILE* err, int32_t at_ms);
