#pragma once
// The synthesizer's side of the register frame: a frame applied to the SID
// registers it carries, as the chip at the end of the cable would take them.
// The built-in monitor uses it to show what a synthesizer would be playing.
#include <cstddef>
#include <cstdint>

#include "midi/register_frame.h"


// Applies one message. A register frame (F0 2D 4E, 4 mask bytes, 4 high-bit
// bytes, the data bytes, F7) writes each present position to its register in
// position order, so a voice's first control write (positions 22..24) comes
// before its last (25..27). Returns false, changing nothing, for any other
// message or a frame whose length does not match its mask.
bool apply_register_frame(const uint8_t* message, size_t length, SidRegisters& registers);

// Applies one register frame of any chip (0x4E, 0x50 or 0x51) to that chip's
// registers; the chip, or -1, changing nothing, for any other message.
int apply_chip_frame(const uint8_t* message, size_t length, SidRegisters (&chips)[max_sids]);
