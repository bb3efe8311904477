// The stand-in winmm.dll: the stream engine behind WinMM's own export names,
// for running the Windows program under Wine in tests. Two devices (or those
// ZARVEL_WINMM_DEVICES names), on the real clock, record every played event
// to the file named by the environment variable ZARVEL_WINMM_RECORD (line
// format in file_sink.h).
//
// The exports are plain C names (standin_winmm.def maps each WinMM name to
// its function here); they set the devices up on first use rather than in
// DllMain, where opening files is unsafe.
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_sink.h"
#include "platform/stream_engine.h"
#include "platform/winmm_stream.h"

namespace {

using namespace stream_engine;

// ZARVEL_WINMM_DEVICES, when set, names the devices, separated by ';' (a
// lone ';' or nothing: no device at all), so that a test can show the
// program the system's own synthesizer or an empty list.
std::vector<std::string> device_names() {
    const char* names = std::getenv("ZARVEL_WINMM_DEVICES");
    if (names == nullptr) return {"Zarvel Capture A", "Zarvel Capture B"};
    std::vector<std::string> out;
    std::string rest = names;
    while (!rest.empty()) {
        size_t end = rest.find(';');
        if (end != 0) out.push_back(rest.substr(0, end));
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
    }
    return out;
}

void set_up_devices() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto record = std::make_shared<RecordFile>(std::getenv("ZARVEL_WINMM_RECORD"));
        set_clock(ClockKind::real_time);
        std::vector<Device> devices;
        for (const std::string& name : device_names())
            devices.push_back({name, std::make_shared<FileSink>(record, name)});
        set_devices(std::move(devices));
    });
}

}  // namespace

extern "C" {

MMRESULT standin_midiStreamOpen(LPHMIDISTRM handle_out, LPUINT device_id, DWORD device_count, DWORD_PTR callback,
                                DWORD_PTR instance, DWORD open_flags) {
    set_up_devices();
    return midiStreamOpen(handle_out, device_id, device_count, callback, instance, open_flags);
}

MMRESULT standin_midiStreamProperty(HMIDISTRM stream, LPBYTE property_data, DWORD property) {
    return midiStreamProperty(stream, property_data, property);
}

MMRESULT standin_midiOutPrepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size) {
    return midiOutPrepareHeader(out, header, header_size);
}

MMRESULT standin_midiOutUnprepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size) {
    return midiOutUnprepareHeader(out, header, header_size);
}

MMRESULT standin_midiStreamOut(HMIDISTRM stream, LPMIDIHDR header, UINT header_size) {
    return midiStreamOut(stream, header, header_size);
}

MMRESULT standin_midiStreamRestart(HMIDISTRM stream) { return midiStreamRestart(stream); }

MMRESULT standin_midiStreamPause(HMIDISTRM stream) { return midiStreamPause(stream); }

MMRESULT standin_midiStreamStop(HMIDISTRM stream) { return midiStreamStop(stream); }

MMRESULT standin_midiStreamClose(HMIDISTRM stream) { return midiStreamClose(stream); }

UINT standin_midiOutGetNumDevs() {
    set_up_devices();
    return midiOutGetNumDevs();
}

MMRESULT standin_midiOutGetDevCapsA(UINT_PTR device_id, LPMIDIOUTCAPSA caps, UINT caps_size) {
    set_up_devices();
    return midiOutGetDevCapsA(device_id, caps, caps_size);
}

}  // extern "C"
