#pragma once
// The WinMM MIDI stream subset that Zarvel uses, declared for platforms without
// WinMM and implemented by our stream engine. Names, record layouts, flags and
// constants are the platform's, so the portable code reads the same on both.
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using UINT_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;
using LPSTR = char*;
using LPBYTE = BYTE*;
using LPUINT = UINT*;

struct HMIDIOUT__;
struct HMIDISTRM__;
using HMIDIOUT = HMIDIOUT__*;
using HMIDISTRM = HMIDISTRM__*;
using LPHMIDISTRM = HMIDISTRM*;

#ifndef CALLBACK
#define CALLBACK
#endif

// Windows' own mmsystem.h packs its records to one byte, which matters on
// 64-bit Windows (MIDIHDR is 112 bytes there, not 120). The stand-in winmm.dll
// shares the caller's records, so it must lay them out the same way; elsewhere
// the records are ours alone and keep their natural alignment.
#ifdef _WIN32
#pragma pack(push, 1)
#endif

// A buffer handed to the stream: lpData points at MIDIEVENT records.
struct MIDIHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MIDIHDR* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
using LPMIDIHDR = MIDIHDR*;

// One stream event. A long event's bytes follow the first three words, padded
// to a multiple of four; dwParms is the first of them.
struct MIDIEVENT {
    DWORD dwDeltaTime;
    DWORD dwStreamID;
    DWORD dwEvent;
    DWORD dwParms[1];
};

struct MIDIPROPTIMEDIV {
    DWORD cbStruct;
    DWORD dwTimeDiv;
};

struct MIDIPROPTEMPO {
    DWORD cbStruct;
    DWORD dwTempo;
};

constexpr int MAXPNAMELEN = 32;

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
using LPMIDIOUTCAPSA = MIDIOUTCAPSA*;

#ifdef _WIN32
#pragma pack(pop)
#endif

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;

constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);

constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;
constexpr DWORD MHDR_ISSTRM = 0x00000008;

constexpr DWORD MEVT_F_SHORT = 0x00000000;
constexpr DWORD MEVT_F_LONG = 0x80000000;
constexpr DWORD MEVT_F_CALLBACK = 0x40000000;
constexpr BYTE MEVT_SHORTMSG = 0x00;
constexpr BYTE MEVT_TEMPO = 0x01;
constexpr BYTE MEVT_NOP = 0x02;
constexpr BYTE MEVT_LONGMSG = 0x80;
constexpr BYTE MEVT_COMMENT = 0x82;
constexpr BYTE MEVT_VERSION = 0x84;
#define MEVT_EVENTTYPE(x) (static_cast<BYTE>(((x) >> 24) & 0xFF))
#define MEVT_EVENTPARM(x) (static_cast<DWORD>((x) & 0x00FFFFFF))

constexpr UINT MOM_OPEN = 0x3C7;
constexpr UINT MOM_CLOSE = 0x3C8;
constexpr UINT MOM_DONE = 0x3C9;
constexpr UINT MOM_POSITIONCB = 0x3CA;

constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

constexpr DWORD MIDIPROP_SET = 0x80000000;
constexpr DWORD MIDIPROP_GET = 0x40000000;
constexpr DWORD MIDIPROP_TIMEDIV = 0x00000001;
constexpr DWORD MIDIPROP_TEMPO = 0x00000002;

constexpr WORD MOD_MIDIPORT = 1;

// The stream calls this with MOM_OPEN, MOM_POSITIONCB, MOM_DONE (param1: the
// MIDIHDR) and MOM_CLOSE, from its own thread.
using MidiOutCallback = void (*)(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                 DWORD_PTR param1, DWORD_PTR param2);

MMRESULT midiStreamOpen(LPHMIDISTRM handle_out, LPUINT device_id, DWORD device_count,
                        DWORD_PTR callback, DWORD_PTR instance, DWORD open_flags);
MMRESULT midiStreamProperty(HMIDISTRM stream, LPBYTE property_data, DWORD property);
MMRESULT midiOutPrepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size);
MMRESULT midiOutUnprepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size);
MMRESULT midiStreamOut(HMIDISTRM stream, LPMIDIHDR header, UINT header_size);
MMRESULT midiStreamRestart(HMIDISTRM stream);
MMRESULT midiStreamPause(HMIDISTRM stream);
MMRESULT midiStreamStop(HMIDISTRM stream);
MMRESULT midiStreamClose(HMIDISTRM stream);
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR device_id, LPMIDIOUTCAPSA caps, UINT caps_size);
