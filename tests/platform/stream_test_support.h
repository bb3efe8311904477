#pragma once
// Helpers for the stream engine's tests: buffers of MIDIEVENT records built
// the way a caller lays them out, and a callback that records what the stream
// says, with the header's state at that moment.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/stream_engine.h"
#include "platform/winmm_stream.h"

namespace stream_test {

using namespace stream_engine;

// One stream buffer. It stays where it is once queued (the stream keeps a
// pointer), so tests hold it in place or by unique_ptr.
class EventBuffer {
public:
    EventBuffer() = default;
    EventBuffer(const EventBuffer&) = delete;
    EventBuffer& operator=(const EventBuffer&) = delete;

    EventBuffer& long_event(DWORD delta, const std::vector<uint8_t>& bytes, bool callback = true) {
        put(delta, MEVT_F_LONG | (callback ? MEVT_F_CALLBACK : 0) | static_cast<DWORD>(bytes.size()));
        std::vector<uint8_t> padded(bytes);
        padded.resize((padded.size() + 3) & ~size_t{3});
        for (size_t i = 0; i < padded.size(); i += 4) {
            uint32_t word;
            std::memcpy(&word, &padded[i], 4);
            words_.push_back(word);
        }
        return *this;
    }
    EventBuffer& short_event(DWORD delta, uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0, bool callback = false) {
        return put(delta, (callback ? MEVT_F_CALLBACK : 0) | status | data1 << 8 | data2 << 16);
    }
    EventBuffer& tempo_event(DWORD delta, DWORD tempo_us, bool callback = false) {
        return put(delta, (callback ? MEVT_F_CALLBACK : 0) | DWORD{MEVT_TEMPO} << 24 | tempo_us);
    }
    EventBuffer& nop_event(DWORD delta, bool callback = false) {
        return put(delta, (callback ? MEVT_F_CALLBACK : 0) | DWORD{MEVT_NOP} << 24);
    }
    // Raw words, for malformed buffers.
    EventBuffer& word(uint32_t value) {
        words_.push_back(value);
        return *this;
    }

    // The header, filled as the caller fills it before preparing.
    MIDIHDR* header() {
        std::memset(&header_, 0, sizeof header_);
        header_.lpData = reinterpret_cast<LPSTR>(words_.data());
        header_.dwBufferLength = header_.dwBytesRecorded = static_cast<DWORD>(words_.size() * 4);
        return &header_;
    }
    MIDIHDR* last_header() { return &header_; }  // as the stream left it
    size_t bytes() const { return words_.size() * 4; }

private:
    EventBuffer& put(DWORD delta, DWORD event) {
        words_.insert(words_.end(), {delta, 0, event});
        return *this;
    }
    std::vector<uint32_t> words_;
    MIDIHDR header_{};
};

// What a callback saw: the message, the header, and the header's offset and
// flags as they were during the call.
struct Call {
    UINT message;
    const MIDIHDR* header;
    DWORD offset;
    DWORD flags;
    int64_t time_us;
    size_t sink_events;  // what the capture had recorded by then
};

// Passed as the stream's instance data. on_call runs after each recorded call,
// on the callback's thread, to act as the player would.
struct Recorder {
    std::mutex lock;
    std::vector<Call> calls;
    std::function<void(const Call&)> on_call;
    std::shared_ptr<CaptureSink> sink;

    std::vector<Call> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
    std::vector<Call> of(UINT message) {
        std::vector<Call> found;
        for (const Call& call : snapshot())
            if (call.message == message) found.push_back(call);
        return found;
    }
};

inline void CALLBACK record_call(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* recorder = reinterpret_cast<Recorder*>(instance);
    const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
    Call call{message,          header, header ? header->dwOffset : 0, header ? header->dwFlags : 0, now_us(),
              recorder->sink ? recorder->sink->event_count() : 0};
    {
        std::lock_guard<std::mutex> guard(recorder->lock);
        recorder->calls.push_back(call);
    }
    if (recorder->on_call) recorder->on_call(call);
}

inline HMIDIOUT as_out(HMIDISTRM stream) { return reinterpret_cast<HMIDIOUT>(stream); }

inline MMRESULT set_time_division(HMIDISTRM stream, DWORD division) {
    MIDIPROPTIMEDIV property{sizeof property, division};
    return midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&property), MIDIPROP_SET | MIDIPROP_TIMEDIV);
}

inline MMRESULT prepare_and_queue(HMIDISTRM stream, MIDIHDR* header) {
    MMRESULT result = midiOutPrepareHeader(as_out(stream), header, sizeof(MIDIHDR));
    return result != MMSYSERR_NOERROR ? result : midiStreamOut(stream, header, sizeof(MIDIHDR));
}

// Two capture devices on a chosen clock; everything closed and reset after.
class StreamTest : public ::testing::Test {
protected:
    explicit StreamTest(ClockKind clock = ClockKind::virtual_time) : clock_(clock) {}

    void SetUp() override {
        reset_engine();
        set_clock(clock_);
        set_devices({{"Capture A", sink_a}, {"Capture B", sink_b}});
        recorder.sink = sink_a;
    }
    void TearDown() override {
        reset_engine();
        EXPECT_EQ(open_stream_count(), 0);
    }

    // A stream on device 0 at 1 ms ticks (500 per quarter at the default tempo),
    // reporting to recorder.
    HMIDISTRM open_player_stream(UINT device = 0) {
        HMIDISTRM stream = nullptr;
        EXPECT_EQ(midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&record_call),
                                 reinterpret_cast<DWORD_PTR>(&recorder), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(set_time_division(stream, 500), MMSYSERR_NOERROR);
        return stream;
    }

    std::vector<int64_t> sink_times(const CaptureSink& sink) {
        std::vector<int64_t> times;
        for (const auto& event : sink.events()) times.push_back(event.time_us);
        return times;
    }

    ClockKind clock_;
    std::shared_ptr<CaptureSink> sink_a = std::make_shared<CaptureSink>();
    std::shared_ptr<CaptureSink> sink_b = std::make_shared<CaptureSink>();
    Recorder recorder;
};

}  // namespace stream_test
