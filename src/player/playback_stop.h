#pragma once
// How every command tells of a tune whose init or play routine did not
// return, which stops playback: the same words, with the file when the
// command knows it and the song time it happened.
#include <cstdint>
#include <cstdio>
#include <string>

// "the play routine of FILE did not return at 0.260 s: playback stopped";
// "the init routine of FILE did not return: playback stopped" when in_init
// (an init has no song time). Without " of FILE" when file is empty, without
// the time when it is not known (below 0).
std::string playback_stop_text(int32_t at_ms, bool in_init = false, const std::string& file = "");

// "zarvel-cli: " and the text above, on err.
void report_playback_stop(std::FILE* err, int32_t at_ms, bool in_init = false, const std::string& file = "");
