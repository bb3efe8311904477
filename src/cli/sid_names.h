#pragma once
// What a SID register value means to a listener: the note a voice's
// frequency plays, the waveforms its control register selects, the filter
// mode of the mode/volume register. The monitor and the web page's voice view
// both name what the frames set in these words.
#include <cstdint>

// The pitch a voice's 16-bit frequency register gives on a PAL C64, whose SID
// runs at 985,248 Hz: f = register x 985248 / 16777216.
double sid_frequency_hz(uint16_t frequency_register);

// The nearest equal-tempered note (A4 = 440 Hz) as its name and octave,
// "C4" or "F#2", into out; "---" for a frequency of 0 or one below C0.
void note_name(uint16_t frequency_register, char (&out)[8]);

// The waveform bits of a control register (0x10 triangle, 0x20 sawtooth,
// 0x40 pulse, 0x80 noise) as "triangle", "saw+pulse", or "none".
void waveform_name(uint8_t control, char (&out)[32]);

// The filter mode of register 24's bits 4..6 as the chip's data sheet names
// them: "no filter", "low-pass", "band-pass", "low+band", "high-pass",
// "notch", "band+high" or "all modes".
const char* filter_mode_name(uint8_t mode_volume);
