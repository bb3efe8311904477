#include "ui/latest_text.h"

#include <cstring>

void LatestText::store(const char* text) {
    std::lock_guard<std::mutex> hold(mutex_);
    size_t length = text ? std::strlen(text) : 0;
    if (length >= capacity) length = capacity - 1;
    if (length) std::memcpy(text_, text, length);
    text_[length] = '\0';
}

void LatestText::copy(char* out, size_t size) const {
    if (size == 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    size_t length = std::strlen(text_);
    if (length >= size) length = size - 1;
    std::memcpy(out, text_, length);
    out[length] = '\0';
}

// The text is stored before the claim and read after the release, so a store
// whose claim finds a message still pending is always seen by that message.
bool LatestText::claim_post() { return !post_pending_.exchange(true); }

void LatestText::release_post() { post_pending_.store(false); }
