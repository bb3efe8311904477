#pragma once
// A file written beside its target under a temporary name (TARGET.XXXXXX)
// and renamed over the target only when it is complete, so that the target
// is either as it was or the whole new file, never a file cut short that
// looks valid. A write that fails (a full disk, a file size limit) removes
// the temporary file, and so do SIGINT, SIGTERM and SIGHUP while it exists,
// before the signal ends the program as it would have.
//
// One at a time: the signals know of a single temporary file.
#include <cstddef>
#include <cstdint>
#include <string>

class ReplacementFile {
public:
    explicit ReplacementFile(std::string target) : target_(std::move(target)) {}
    ~ReplacementFile();  // removes the temporary file unless it was committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file; false with the reason in why.
    bool create(std::string& why);

    // Writes bytes to the temporary file, makes them durable and renames it
    // over the target. false, with the temporary file gone and the target
    // untouched, with the reason in why.
    bool commit(const uint8_t* bytes, size_t size, std::string& why);

    // The system's error number of the last failure (errno), 0 before one.
    int error() const { return error_; }

private:
    void discard();

    std::string target_;
    int fd_ = -1;
    bool exists_ = false;  // the temporary file, until committed or removed
    int error_ = 0;
};
