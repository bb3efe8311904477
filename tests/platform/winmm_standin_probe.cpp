// A Windows console program that drives winmm.dll the way the player does:
// built with the Windows toolchain, run under Wine beside the stand-in DLL by
// scripts/test.d/45-winmm-standin.sh, which then reads the DLL's record.
// Exits 0 when every check here passed.
//
// On device 1 ("Zarvel Capture B") it plays 50 frames of F0 2D 4E <n> F7, one
// long event of 20 ticks (20 ms) each, queueing the next from each
// MOM_POSITIONCB as the player does. On the mapper (device 0) it plays one
// buffer of three events: a short message, a tempo change to 250,000 us and
// F0 2D 4C F7 ten ticks (5 ms) later.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

namespace {

int checks = 0;
int failures = 0;

void check(bool ok, const char* what) {
    ++checks;
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what);
    }
}

constexpr int frame_count = 50;
constexpr int ring_slots = 16;
constexpr DWORD period_ticks = 20;

// One long event: head, then F0 2D 4E <n> F7 padded to eight bytes.
struct Slot {
    DWORD delta;
    DWORD stream_id;
    DWORD event;
    BYTE bytes[8];
};

Slot slots[ring_slots];
MIDIHDR headers[ring_slots];
HMIDISTRM stream;
HANDLE all_done;
volatile LONG opened, closed, positions, dones, queued, bad_offsets;

bool queue_frame(int n) {
    int i = n % ring_slots;
    if (midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), &headers[i], sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
        return false;
    slots[i] = Slot{period_ticks, 0, MEVT_F_LONG | MEVT_F_CALLBACK | 5, {0xF0, 0x2D, 0x4E, static_cast<BYTE>(n), 0xF7}};
    std::memset(&headers[i], 0, sizeof(MIDIHDR));
    headers[i].lpData = reinterpret_cast<LPSTR>(&slots[i]);
    headers[i].dwBufferLength = headers[i].dwBytesRecorded = sizeof(Slot);
    if (midiOutPrepareHeader(reinterpret_cast<HMIDIOUT>(stream), &headers[i], sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
        return false;
    if (midiStreamOut(stream, &headers[i], sizeof(MIDIHDR)) != MMSYSERR_NOERROR) return false;
    InterlockedIncrement(&queued);
    return true;
}

void CALLBACK frame_callback(HMIDIOUT, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    auto* header = reinterpret_cast<MIDIHDR*>(param1);
    switch (message) {
    case MOM_OPEN:
        InterlockedIncrement(&opened);
        break;
    case MOM_CLOSE:
        InterlockedIncrement(&closed);
        break;
    case MOM_POSITIONCB:
        if (header->dwOffset != 0) InterlockedIncrement(&bad_offsets);
        InterlockedIncrement(&positions);
        if (queued < frame_count) queue_frame(queued);
        break;
    case MOM_DONE:
        if (InterlockedIncrement(&dones) == frame_count) SetEvent(all_done);
        break;
    }
}

void check_devices() {
    check(midiOutGetNumDevs() == 2, "two devices");
    const char* names[] = {"Zarvel Capture A", "Zarvel Capture B"};
    for (UINT id = 0; id < 2; ++id) {
        MIDIOUTCAPSA caps{};
        check(midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR, "device caps");
        check(std::strcmp(caps.szPname, names[id]) == 0, "device name");
    }
    MIDIOUTCAPSA caps{};
    check(midiOutGetDevCapsA(2, &caps, sizeof caps) == MMSYSERR_BADDEVICEID, "caps of a missing device");
    HMIDISTRM none;
    UINT missing = 7;
    check(midiStreamOpen(&none, &missing, 1, 0, 0, CALLBACK_NULL) == MMSYSERR_BADDEVICEID, "open a missing device");
}

void play_frames() {
    UINT device = 1;
    check(midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&frame_callback), 0, CALLBACK_FUNCTION) ==
              MMSYSERR_NOERROR,
          "open device 1");
    check(opened == 1, "MOM_OPEN");
    MIDIPROPTIMEDIV division{sizeof division, 500};
    check(midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&division), MIDIPROP_SET | MIDIPROP_TIMEDIV) ==
              MMSYSERR_NOERROR,
          "set the time division");
    MIDIPROPTEMPO tempo{sizeof tempo, 0};
    check(midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&tempo), MIDIPROP_GET | MIDIPROP_TEMPO) ==
              MMSYSERR_NOERROR && tempo.dwTempo == 500000,
          "default tempo");

    all_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    check(queue_frame(0), "queue the first frame");
    check(midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), &headers[0], sizeof(MIDIHDR)) ==
              MIDIERR_STILLPLAYING,
          "unprepare a queued header");
    check(midiStreamClose(stream) == MIDIERR_STILLPLAYING, "close while a buffer is held");
    check(midiStreamRestart(stream) == MMSYSERR_NOERROR, "restart");
    check(WaitForSingleObject(all_done, 10000) == WAIT_OBJECT_0, "every frame played within 10 s");
    check(positions == frame_count && dones == frame_count, "one MOM_POSITIONCB and one MOM_DONE per frame");
    check(bad_offsets == 0, "dwOffset 0 in each MOM_POSITIONCB");
    check((headers[(frame_count - 1) % ring_slots].dwFlags & (MHDR_DONE | MHDR_INQUEUE)) == MHDR_DONE,
          "the last header comes back done");

    // A buffer due in ten seconds comes back at once when the stream stops.
    LONG dones_before = dones;
    slots[0] = Slot{10000, 0, MEVT_F_LONG | 5, {0xF0, 0x2D, 0x4D, 0x00, 0xF7}};
    check(midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), &headers[0], sizeof(MIDIHDR)) ==
              MMSYSERR_NOERROR,
          "unprepare a returned header");
    check(midiOutPrepareHeader(reinterpret_cast<HMIDIOUT>(stream), &headers[0], sizeof(MIDIHDR)) == MMSYSERR_NOERROR,
          "prepare again");
    check(midiStreamOut(stream, &headers[0], sizeof(MIDIHDR)) == MMSYSERR_NOERROR, "queue a late buffer");
    check(midiStreamStop(stream) == MMSYSERR_NOERROR, "stop");
    check(dones == dones_before + 1 && (headers[0].dwFlags & MHDR_DONE), "stop returns the held buffer");
    for (MIDIHDR& header : headers) midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), &header, sizeof header);
    check(midiStreamClose(stream) == MMSYSERR_NOERROR && closed == 1, "close with MOM_CLOSE");
    CloseHandle(all_done);
}

// Short message, tempo change, long message: one buffer on the mapper.
void play_mixed_buffer() {
    DWORD events[] = {
        0, 0, MEVT_F_SHORT | 0x7F3C90,                          // note on 60, velocity 127
        0, 0, MEVT_F_SHORT | (DWORD{MEVT_TEMPO} << 24) | 250000, // twice as fast
        10, 0, MEVT_F_LONG | 4, 0xF74C2DF0,                      // F0 2D 4C F7
    };
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(events);
    header.dwBufferLength = header.dwBytesRecorded = sizeof events;

    HMIDISTRM mapper_stream;
    UINT mapper = MIDI_MAPPER;
    check(midiStreamOpen(&mapper_stream, &mapper, 1, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR, "open the mapper");
    MIDIPROPTIMEDIV division{sizeof division, 500};
    midiStreamProperty(mapper_stream, reinterpret_cast<LPBYTE>(&division), MIDIPROP_SET | MIDIPROP_TIMEDIV);
    auto as_out = reinterpret_cast<HMIDIOUT>(mapper_stream);
    check(midiStreamOut(mapper_stream, &header, sizeof header) == MIDIERR_UNPREPARED, "queue unprepared");
    check(midiOutPrepareHeader(as_out, &header, sizeof header) == MMSYSERR_NOERROR, "prepare the mixed buffer");
    check(midiStreamOut(mapper_stream, &header, sizeof header) == MMSYSERR_NOERROR, "queue the mixed buffer");
    midiStreamRestart(mapper_stream);
    for (int waited = 0; !(header.dwFlags & MHDR_DONE) && waited < 5000; waited += 5) Sleep(5);
    check(header.dwFlags & MHDR_DONE, "the mixed buffer played");
    check(midiOutUnprepareHeader(as_out, &header, sizeof header) == MMSYSERR_NOERROR, "unprepare the mixed buffer");
    check(midiStreamClose(mapper_stream) == MMSYSERR_NOERROR, "close the mapper");
}

}  // namespace

int main() {
    check(sizeof(MIDIHDR) == (sizeof(void*) == 8 ? 112 : 64), "the platform's MIDIHDR layout");
    check_devices();
    play_frames();
    play_mixed_buffer();
    check(midiStreamClose(stream) == MMSYSERR_INVALHANDLE, "close a closed stream");
    std::printf("winmm stand-in probe: %d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
