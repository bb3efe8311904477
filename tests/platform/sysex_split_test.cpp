// What the RtMidi port is sent: each complete SysEx message of an event, alone.
#include <gtest/gtest.h>

#include <vector>

#include "platform/sysex_split.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> split(const Bytes& bytes) {
    std::vector<Bytes> messages;
    stream_engine::for_each_sysex(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                  [&](const uint8_t* start, uint32_t length) { messages.emplace_back(start, start + length); });
    return messages;
}

TEST(SysexSplit, AnEventsBytesGoOutAsWholeMessagesOnly) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<Bytes> messages;
    } cases[] = {
        {"empty event", {}, {}},
        {"one register frame", {0xF0, 0x2D, 0x4E, 0x01, 0xF7}, {{0xF0, 0x2D, 0x4E, 0x01, 0xF7}}},
        {"reset frame and text message",
         {0xF0, 0x2D, 0x4E, 0x00, 0xF7, 0xF0, 0x2D, 0x4F, 0x41, 0x42, 0xF7},
         {{0xF0, 0x2D, 0x4E, 0x00, 0xF7}, {0xF0, 0x2D, 0x4F, 0x41, 0x42, 0xF7}}},
        {"shortest message", {0xF0, 0xF7}, {{0xF0, 0xF7}}},
        {"message cut short at the end", {0xF0, 0x2D, 0x4E, 0xF7, 0xF0, 0x2D}, {{0xF0, 0x2D, 0x4E, 0xF7}}},
        {"bytes before the first message", {0x01, 0x02, 0xF7, 0xF0, 0x2D, 0xF7}, {{0xF0, 0x2D, 0xF7}}},
        {"a new start inside a message drops the broken one",
         {0xF0, 0x2D, 0xF0, 0x2D, 0x4D, 0xF7}, {{0xF0, 0x2D, 0x4D, 0xF7}}},
        {"another status byte inside a message", {0xF0, 0x2D, 0x90, 0x3C, 0xF7}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(split(c.bytes), c.messages) << c.what;
}

}  // namespace
