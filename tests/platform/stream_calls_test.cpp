// The WinMM calls one by one: devices, opening, properties, headers, queueing,
// closing, bad handles and injected faults, with WinMM's result codes.
#include <gtest/gtest.h>

#include "stream_test_support.h"

namespace {

using namespace stream_test;

class StreamCalls : public StreamTest {};

TEST_F(StreamCalls, DevicesAreCountedAndDescribedWithTheirNamesCutTo31Characters) {
    set_devices({{"Capture A", sink_a}, {"A device name well over thirty-one characters long", sink_b}});
    EXPECT_EQ(midiOutGetNumDevs(), 2u);

    MIDIOUTCAPSA caps;
    std::memset(&caps, 0xCC, sizeof caps);
    ASSERT_EQ(midiOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "A device name well over thirty-");
    EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
    ASSERT_EQ(midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Capture A") << "the mapper is device 0";

    EXPECT_EQ(midiOutGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiOutGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);

    // A short record gets only its start, as from WinMM.
    unsigned char part[sizeof caps];
    std::memset(part, 0xCC, sizeof part);
    ASSERT_EQ(midiOutGetDevCapsA(0, reinterpret_cast<LPMIDIOUTCAPSA>(part), 10), MMSYSERR_NOERROR);
    EXPECT_EQ(part[8], 'C');
    EXPECT_EQ(part[10], 0xCC);

    set_devices({});
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
}

TEST_F(StreamCalls, OpeningChecksTheDeviceAndSendsMomOpen) {
    HMIDISTRM stream = nullptr;
    UINT device = 2;
    auto callback = reinterpret_cast<DWORD_PTR>(&record_call);
    auto instance = reinterpret_cast<DWORD_PTR>(&recorder);
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, callback, instance, CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
    device = 0;
    EXPECT_EQ(midiStreamOpen(&stream, &device, 2, callback, instance, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiStreamOpen(nullptr, &device, 1, callback, instance, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiStreamOpen(&stream, nullptr, 1, callback, instance, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    const DWORD callback_window = 0x00010000;
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, callback, instance, callback_window), MMSYSERR_INVALFLAG);
    EXPECT_EQ(open_stream_count(), 0);
    EXPECT_TRUE(recorder.calls.empty());

    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, callback, instance, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    EXPECT_NE(stream, nullptr);
    EXPECT_EQ(open_stream_count(), 1);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].message, MOM_OPEN);

    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    EXPECT_EQ(recorder.calls.back().message, MOM_CLOSE);
    EXPECT_EQ(open_stream_count(), 0);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_INVALHANDLE) << "closed twice";
}

TEST_F(StreamCalls, WithoutAnyDeviceNothingOpens) {
    set_devices({});
    HMIDISTRM stream;
    UINT mapper = MIDI_MAPPER, first = 0;
    EXPECT_NE(midiStreamOpen(&stream, &mapper, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamOpen(&stream, &first, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(open_stream_count(), 0);
}

TEST_F(StreamCalls, TheMapperPlaysOnDeviceZero) {
    HMIDISTRM stream;
    UINT mapper = MIDI_MAPPER;
    ASSERT_EQ(midiStreamOpen(&stream, &mapper, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EventBuffer buffer;
    buffer.long_event(0, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(1);
    EXPECT_EQ(sink_a->event_count(), 1u);
    EXPECT_EQ(sink_b->event_count(), 0u);
}

TEST_F(StreamCalls, PropertiesAreSetAndReadBackWithTheirDefaults) {
    HMIDISTRM stream;
    UINT device = 0;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    MIDIPROPTIMEDIV division{sizeof division, 0};
    MIDIPROPTEMPO tempo{sizeof tempo, 0};
    auto get = [&](auto& property, DWORD which) {
        return midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&property), MIDIPROP_GET | which);
    };
    auto set = [&](auto& property, DWORD which) {
        return midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&property), MIDIPROP_SET | which);
    };
    ASSERT_EQ(get(division, MIDIPROP_TIMEDIV), MMSYSERR_NOERROR);
    EXPECT_EQ(division.dwTimeDiv, 96u);
    ASSERT_EQ(get(tempo, MIDIPROP_TEMPO), MMSYSERR_NOERROR);
    EXPECT_EQ(tempo.dwTempo, 500000u);

    division.dwTimeDiv = 500;
    EXPECT_EQ(set(division, MIDIPROP_TIMEDIV), MMSYSERR_NOERROR);
    tempo.dwTempo = 400000;
    EXPECT_EQ(set(tempo, MIDIPROP_TEMPO), MMSYSERR_NOERROR);
    division.dwTimeDiv = tempo.dwTempo = 0;
    get(division, MIDIPROP_TIMEDIV);
    get(tempo, MIDIPROP_TEMPO);
    EXPECT_EQ(division.dwTimeDiv, 500u);
    EXPECT_EQ(tempo.dwTempo, 400000u);

    struct Case {
        const char* what;
        DWORD size;
        DWORD value;
        DWORD property;
    } refused[] = {
        {"wrong cbStruct", 12, 500, MIDIPROP_SET | MIDIPROP_TIMEDIV},
        {"neither get nor set", 8, 500, MIDIPROP_TIMEDIV},
        {"both get and set", 8, 500, MIDIPROP_SET | MIDIPROP_GET | MIDIPROP_TIMEDIV},
        {"unknown property", 8, 500, MIDIPROP_SET | 0x4},
        {"time division 0", 8, 0, MIDIPROP_SET | MIDIPROP_TIMEDIV},
        {"unknown SMPTE rate", 8, 0xE501, MIDIPROP_SET | MIDIPROP_TIMEDIV},
        {"tempo 0", 8, 0, MIDIPROP_SET | MIDIPROP_TEMPO},
        {"tempo past 24 bits", 8, 0x1000000, MIDIPROP_SET | MIDIPROP_TEMPO},
    };
    for (const Case& c : refused) {
        DWORD property[2] = {c.size, c.value};
        EXPECT_EQ(midiStreamProperty(stream, reinterpret_cast<LPBYTE>(property), c.property), MMSYSERR_INVALPARAM)
            << c.what;
    }
    EXPECT_EQ(midiStreamProperty(stream, nullptr, MIDIPROP_GET | MIDIPROP_TEMPO), MMSYSERR_INVALPARAM);
    get(division, MIDIPROP_TIMEDIV);
    EXPECT_EQ(division.dwTimeDiv, 500u) << "refused settings change nothing";
    midiStreamClose(stream);
}

TEST_F(StreamCalls, HeadersArePreparedOnceAndUnpreparedOnlyWhenTheStreamHasLetGo) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0xF7});
    MIDIHDR* header = buffer.header();

    EXPECT_EQ(midiOutUnprepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR)
        << "never prepared (dwFlags 0)";
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR) - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), nullptr, sizeof(MIDIHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, MHDR_PREPARED);
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR) << "again: no effect";

    ASSERT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, MHDR_PREPARED | MHDR_INQUEUE | MHDR_ISSTRM);
    EXPECT_EQ(midiOutUnprepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiOutUnprepareHeader(as_out(stream), header, 32), MMSYSERR_INVALPARAM);

    midiStreamRestart(stream);
    advance_ms(20);
    EXPECT_EQ(header->dwFlags, MHDR_PREPARED | MHDR_DONE | MHDR_ISSTRM);
    EXPECT_EQ(midiOutUnprepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_FALSE(header->dwFlags & MHDR_PREPARED);
    midiStreamClose(stream);
}

TEST_F(StreamCalls, PreparingRefusesBuffersWithoutDataOrAbove64K) {
    HMIDISTRM stream = open_player_stream();
    std::vector<uint32_t> big(65536 / 4 + 1);
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(big.data());
    header.dwBufferLength = 65536;
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), &header, sizeof header), MMSYSERR_NOERROR);
    MIDIHDR too_big{};
    too_big.lpData = header.lpData;
    too_big.dwBufferLength = 65540;
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), &too_big, sizeof too_big), MMSYSERR_INVALPARAM);
    MIDIHDR no_data{};
    no_data.dwBufferLength = 12;
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), &no_data, sizeof no_data), MMSYSERR_INVALPARAM);
    midiOutUnprepareHeader(as_out(stream), &header, sizeof header);
    midiStreamClose(stream);
}

TEST_F(StreamCalls, QueueingNeedsAPreparedHeaderAndWellFormedEvents) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer good;
    good.long_event(20, {0xF0, 0x2D, 0xF7});
    MIDIHDR* header = good.header();
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
    ASSERT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR) + 8), MMSYSERR_INVALPARAM);
    header->dwBytesRecorded = header->dwBufferLength + 4;
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_INVALPARAM) << "more recorded than there is";
    header->dwBytesRecorded = 13;
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_INVALPARAM) << "long event cut short";
    header->dwBytesRecorded = header->dwBufferLength;
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING) << "queued twice";
    EXPECT_EQ(midiStreamClose(stream), MIDIERR_STILLPLAYING) << "the stream holds a buffer";
    EXPECT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
}

TEST_F(StreamCalls, BadHandlesAreRefusedWithoutBeingTouched) {
    HMIDISTRM closed = open_player_stream();
    midiStreamClose(closed);
    int not_a_stream = 0;
    HMIDISTRM bad_handles[] = {
        nullptr,
        closed,
        reinterpret_cast<HMIDISTRM>(&not_a_stream),
        reinterpret_cast<HMIDISTRM>(uintptr_t{0x5A0000FF}),  // our tag, a slot that does not exist
        reinterpret_cast<HMIDISTRM>(~uintptr_t{0}),
    };
    EventBuffer buffer;
    buffer.long_event(0, {0xF0, 0xF7});
    MIDIPROPTEMPO tempo{sizeof tempo, 0};
    for (HMIDISTRM bad : bad_handles) {
        MIDIHDR* header = buffer.header();
        EXPECT_EQ(midiOutPrepareHeader(as_out(bad), header, sizeof(MIDIHDR)), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiOutUnprepareHeader(as_out(bad), header, sizeof(MIDIHDR)), MMSYSERR_INVALHANDLE);
        header->dwFlags = MHDR_PREPARED;
        EXPECT_EQ(midiStreamOut(bad, header, sizeof(MIDIHDR)), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiStreamProperty(bad, reinterpret_cast<LPBYTE>(&tempo), MIDIPROP_GET | MIDIPROP_TEMPO),
                  MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiStreamRestart(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiStreamPause(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiStreamStop(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(midiStreamClose(bad), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(header->dwFlags, MHDR_PREPARED);
    }
    EXPECT_EQ(not_a_stream, 0);
}

TEST_F(StreamCalls, InjectedFaultsFailTheirCallsWithWinmmsCodesThenWear) {
    HMIDISTRM stream = nullptr;
    UINT device = 0;
    inject_fault(Fault::open, 2);
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(open_stream_count(), 0);
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    inject_fault(Fault::property);
    EXPECT_EQ(set_time_division(stream, 500), MMSYSERR_INVALPARAM);
    EXPECT_EQ(set_time_division(stream, 500), MMSYSERR_NOERROR);

    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0xF7});
    MIDIHDR* header = buffer.header();
    inject_fault(Fault::prepare);
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOMEM);
    EXPECT_EQ(header->dwFlags, 0u);
    EXPECT_EQ(midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

    inject_fault(Fault::out, 3);
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_ERROR);
    EXPECT_EQ(header->dwFlags, MHDR_PREPARED) << "a failed queueing holds nothing";
    clear_faults();
    EXPECT_EQ(midiStreamOut(stream, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

    inject_fault(Fault::open);
    reset_engine();  // also clears the faults
    set_clock(ClockKind::virtual_time);
    set_devices({{"Capture A", sink_a}});
    EXPECT_EQ(header->dwFlags & (MHDR_INQUEUE | MHDR_DONE), MHDR_DONE) << "reset hands held buffers back";
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    midiStreamClose(stream);
}

// A sink behind a port that is gone makes the open fail rather than the first event.
TEST_F(StreamCalls, ASinkThatCannotOpenItsPortFailsTheOpen) {
    struct PortSink : MidiSink {
        bool available = false;
        int opened = 0, closed = 0;
        bool stream_opened() override { return available && ++opened; }
        void stream_closed() override { ++closed; }
        void play(const uint8_t*, uint32_t, uint32_t, int64_t) override {}
    };
    auto port = std::make_shared<PortSink>();
    set_devices({{"Port", port}});
    HMIDISTRM stream;
    UINT device = 0;
    EXPECT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(open_stream_count(), 0);
    port->available = true;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(port->opened, 1);
    set_devices({});  // the open stream keeps its sink
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    EXPECT_EQ(port->closed, 1);
}

}  // namespace
