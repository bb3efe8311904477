#pragma once
// The platform's MIDI stream service, by its own names. On Windows that is
// WinMM itself; elsewhere our stream engine provides the same subset with the
// same records, constants and semantics (winmm_stream.h).
#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include "platform/winmm_stream.h"
#endif
