#pragma once
// The player's core as the web page calls it, compiled to WebAssembly: the
// CPU core, the PSID loader, the tune driver and the register frames, with no
// stream, no thread and no clock. The page keeps the time; each call here
// does one piece of the work the stream callback and the playback worker do
// in the desktop programs and hands back the buffers the stream would have
// been given, each with its delta time: a buffer plays that many
// milliseconds after the one before it.
//
// Calls are made from one thread, one at a time. Every call that changes
// what plays (start, step, stop, resume, load) first empties the output, so
// the buffers read afterwards are that call's own, in stream order.
#include <cstdint>

extern "C" {

// The program's version, "1.1.0".
const char* zarvel_version();

// ---- The tune

// Where the page copies the file's bytes before zarvel_load: a header and a
// whole 64 KB payload fit, and the loader never reads further, so a longer
// file may be cut to zarvel_tune_area_size bytes without changing the result.
uint8_t* zarvel_tune_area();
int32_t zarvel_tune_area_size();

// Loads the first length bytes of the tune area (a LoadResult: 1 loaded, 3
// not a PSID file, 4 MUS data). Playback stops first, with its mute frames in
// the output. The paused song is forgotten either way; on success the start
// song becomes the current song.
int32_t zarvel_load(int32_t length);

// What went wrong with the last load and why, in the command line's words
// ("not a PSID file: it does not begin with \"PSID\""); empty for LOAD_OK.
const char* zarvel_load_message(int32_t result);

// The header's texts up to their first zero byte, and its song counts.
const char* zarvel_tune_name();
const char* zarvel_tune_author();
const char* zarvel_tune_released();
int32_t zarvel_songs();
int32_t zarvel_start_song();

// The loaded file's full MD5, 32 lower-case hex digits: the song-length
// database's key. Empty when no tune is loaded.
const char* zarvel_tune_md5();

// ---- The controls, as the Windows program's

// The song the next fresh start plays, 1-based (song selector).
void zarvel_set_song(int32_t song);
int32_t zarvel_current_song();

// Speed and filter scales, each held to 20..200 %. The speed counts from the
// next buffer on, the filter from the next register frame.
void zarvel_set_speed(int32_t percent);
void zarvel_set_filter(int32_t percent);

// Voice switch 0..2 on (1) or off (0); from the next register frame on.
void zarvel_set_voice(int32_t voice, int32_t on);

// A tune's second and third SID: 0 not played, 1 their own frames (0x50,
// 0x51) after the first chip's. Set before Play; a chip switched on while
// playing gets what the tune stores from then on.
void zarvel_set_extra_sids(int32_t mode);
// 1: frames carry only what the synthesizer does not hold yet; 0: every store.
void zarvel_set_changes_only(int32_t on);

// What to say once when the loaded tune has SIDs that are not sent as the
// option stands; empty when every SID is sent.
const char* zarvel_extra_sids_text();

// The rate label's number: the play rate at the speed setting, rounded to
// whole Hz.
int32_t zarvel_rate_label_hz();

// ---- Playback. Each returns the number of buffers it put in the output.

// The start sequence for the current song: the reset frame and the tune's
// name in one buffer, after the init routine has run. A start while playing
// stops first (the buffer being filled, then the mute frames). Nothing
// without a loaded tune.
int32_t zarvel_start();

// One play period, as a position callback runs it: hands over the buffer
// filled since the last step (the first after a start is empty, the next
// holds the init's frame, each later one the frame of the play call before),
// then runs the play routine once. A play call that never returns stops
// playback, and its mute frames follow in the same step.
int32_t zarvel_step();

// Stop (pause 0) or Pause (pause 1) while playing: the buffer being filled,
// then one buffer with the two mute frames. Nothing when not playing.
int32_t zarvel_stop(int32_t pause);

// Play after a Pause: one buffer with the restore frame; the tune goes on
// where it stopped, without its init. Nothing unless paused with a tune.
int32_t zarvel_resume();

// The length in ms of tune time at which the current song ends (0 or less:
// not known, it plays until stopped); a load forgets it. The step whose play
// call would begin at or past it stops instead, with the mute frames, and
// zarvel_song_ended says so until the next start.
void zarvel_set_song_length(int32_t ms);
int32_t zarvel_song_ended();

// The current song's tune time: one play period for every call so far.
int32_t zarvel_song_time_ms();

// While playing: the song moves to target_ms of tune time. Forward, the play
// routine runs without frames up to there; backward, the song starts again
// from its init and does the same. Then one frame with the whole register
// state goes into the buffer the next step hands over, and play goes on. A
// target at or past a known length ends the song. Returns the buffers it put
// in the output (the mute frames of an end); nothing while paused or stopped.
int32_t zarvel_seek(int32_t target_ms);

int32_t zarvel_playing();
int32_t zarvel_paused();

// After a play call that never returned, the words every command uses, with
// the song time it happened ("the play routine did not return at 0.260 s:
// playback stopped"); empty otherwise. A start clears it.
const char* zarvel_stop_text();

// The notice a tune that plays samples through the volume register gets,
// once after the call that found it out; empty otherwise.
const char* zarvel_samples_notice();

// ---- The output of the last call

int32_t zarvel_buffer_count();
const uint8_t* zarvel_buffer_bytes(int32_t index);
int32_t zarvel_buffer_length(int32_t index);
int32_t zarvel_buffer_delta_ms(int32_t index);

// The 25 writable SID registers as a synthesizer holds them once this buffer
// has played (every register frame so far applied in order), for the page's
// view of the voices.
const uint8_t* zarvel_buffer_registers(int32_t index);

// ---- Names for the view, as the CLI's monitor gives them

const char* zarvel_note_name(int32_t frequency_register);  // "C4", "F#2", "---"
const char* zarvel_waveform_name(int32_t control);         // "saw+pulse", "none"
const char* zarvel_filter_mode_name(int32_t mode_volume);  // "low-pass"

}  // extern "C"
