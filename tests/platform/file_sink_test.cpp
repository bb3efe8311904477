// The stand-in DLL's record lines, as a test script reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/file_sink.h"

namespace {

using namespace stream_engine;

std::string temp_path(const char* name) { return ::testing::TempDir() + name; }

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FileSink, EachPlayedEventIsOneFlushedLine) {
    std::string path = temp_path("zarvel_record_lines.txt");
    auto file = std::make_shared<RecordFile>(path.c_str());
    ASSERT_TRUE(file->is_open());
    FileSink a(file, "Zarvel Capture A");
    FileSink b(file, "Zarvel Capture B");
    const uint8_t frame[] = {0xF0, 0x2D, 0x4E, 0x0A, 0xF7};
    a.play(frame, sizeof frame, 20, 20013);
    // Readable before the file is closed: a test reads it while the program runs.
    EXPECT_EQ(read_all(path), "20013\tZarvel Capture A\t20\tF0 2D 4E 0A F7\n");
    b.play(nullptr, 0, 16, 1234567890123);
    EXPECT_EQ(read_all(path),
              "20013\tZarvel Capture A\t20\tF0 2D 4E 0A F7\n"
              "1234567890123\tZarvel Capture B\t16\t\n");
    std::remove(path.c_str());
}

TEST(FileSink, AFileThatCannotBeOpenedRecordsNothingAndDoesNotFail) {
    RecordFile nowhere(nullptr);
    EXPECT_FALSE(nowhere.is_open());
    RecordFile missing_folder((temp_path("no/such/folder/record.txt")).c_str());
    EXPECT_FALSE(missing_folder.is_open());
    const uint8_t frame[] = {0xF0, 0xF7};
    missing_folder.write(1, "Zarvel Capture A", 0, frame, sizeof frame);
}

}  // namespace
