#include "platform/file_sink.h"

#include <cinttypes>

namespace stream_engine {

void write_record_line(std::FILE* file, int64_t time_us, const std::string& device, uint32_t delta_ticks,
                       const uint8_t* bytes, uint32_t length) {
    std::fprintf(file, "%" PRId64 "\t%s\t%" PRIu32 "\t", time_us, device.c_str(), delta_ticks);
    for (uint32_t i = 0; i < length; ++i) std::fprintf(file, i ? " %02X" : "%02X", bytes[i]);
    std::fputc('\n', file);
    std::fflush(file);
}

RecordFile::RecordFile(const char* path) : file_(path && *path ? std::fopen(path, "wb") : nullptr) {}

RecordFile::~RecordFile() {
    if (file_) std::fclose(file_);
}

void RecordFile::write(int64_t time_us, const std::string& device, uint32_t delta_ticks, const uint8_t* bytes,
                       uint32_t length) {
    std::lock_guard<std::mutex> lock(lock_);
    if (file_) write_record_line(file_, time_us, device, delta_ticks, bytes, length);
}

}  // namespace stream_engine
