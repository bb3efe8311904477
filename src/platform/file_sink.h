#pragma once
// The stand-in winmm.dll's record: one line per played event, in a file a
// test reads while the program runs (each line is flushed as it is written).
//
//   <time_us>\t<device>\t<delta_ticks>\t<bytes>
//
// time_us: when the event played, in microseconds since the engine started
// (decimal); device: the device's name, as midiOutGetDevCapsA reports it;
// delta_ticks: the event's delta time as queued (decimal); bytes: what the
// device played, two upper-case hex digits per byte separated by single
// spaces, empty for an empty event. Example:
//
//   20013	Zarvel Capture A	20	F0 2D 4F 41 F7
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/stream_engine.h"

namespace stream_engine {

// Writes one record line to file and flushes it.
void write_record_line(std::FILE* file, int64_t time_us, const std::string& device, uint32_t delta_ticks,
                       const uint8_t* bytes, uint32_t length);

// The file every device of the DLL records into; lines never interleave.
class RecordFile {
public:
    // Creates or empties the file at path, in binary so that lines end in \n
    // on Windows too. A file that cannot be opened records nothing; the
    // program under test still runs.
    explicit RecordFile(const char* path);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    bool is_open() const { return file_ != nullptr; }
    void write(int64_t time_us, const std::string& device, uint32_t delta_ticks, const uint8_t* bytes,
               uint32_t length);

private:
    std::mutex lock_;
    std::FILE* file_;
};

class FileSink : public MidiSink {
public:
    FileSink(std::shared_ptr<RecordFile> file, std::string device) : file_(std::move(file)), device_(std::move(device)) {}
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override {
        file_->write(time_us, device_, delta_ticks, bytes, length);
    }

private:
    std::shared_ptr<RecordFile> file_;
    std::string device_;
};

}  // namespace stream_engine
