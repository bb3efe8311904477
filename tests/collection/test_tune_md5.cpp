// The MD5 that names a tune in the collection: the published test vectors,
// a file read in pieces against the same bytes in memory, and the hex form.
#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "collection/tune_md5.h"
#include "scratch_folder.h"

namespace {

std::string hex_of(const std::string& text) { return md5_hex(md5_of_bytes(text.data(), text.size())); }

TEST(TuneMd5, TheSevenTestVectorsOfRfc1321) {
    EXPECT_EQ(hex_of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex_of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(hex_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex_of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(hex_of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(hex_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    std::string eighty;
    for (int i = 0; i < 8; ++i) eighty += "1234567890";
    EXPECT_EQ(hex_of(eighty),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(TuneMd5, AFileIsHashedWholeAsItsBytesAreInMemory) {
    // A test tune of our own, and a file of several read pieces whose length
    // is no multiple of the 64-byte block.
    std::ifstream tune(ZARVEL_TUNES_DIR "/melody.sid", std::ios::binary);
    std::string tune_bytes{std::istreambuf_iterator<char>(tune), {}};
    ASSERT_FALSE(tune_bytes.empty());
    std::string large(100'003, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 256);

    ScratchFolder folder;
    for (const std::string& bytes : {tune_bytes, large}) {
        std::string path = folder.write("file", bytes);
        Md5Digest digest{};
        int error = -1;
        ASSERT_TRUE(md5_of_file(path.c_str(), digest, error));
        EXPECT_EQ(error, 0);
        EXPECT_EQ(digest, md5_of_bytes(bytes.data(), bytes.size()));
    }
    // The same bytes at an odd address (a tune inside a larger buffer).
    std::string shifted = "x" + large;
    EXPECT_EQ(md5_of_bytes(shifted.data() + 1, large.size()), md5_of_bytes(large.data(), large.size()));
    Md5Digest digest{};
    int error = 0;
    EXPECT_FALSE(md5_of_file((folder.path() / "missing.sid").c_str(), digest, error));
    EXPECT_EQ(error, ENOENT);
}

TEST(TuneMd5, HexIsReadInEitherCaseAndWrittenInLowerCase) {
    Md5Digest digest{};
    ASSERT_TRUE(parse_md5_hex("0CC175B9c0f1b6a831c399e269772661", digest));
    EXPECT_EQ(md5_hex(digest), "0cc175b9c0f1b6a831c399e269772661");

    Md5Digest untouched = digest;
    for (const char* bad : {"0cc175b9c0f1b6a831c399e26977266", "0cc175b9c0f1b6a831c399e2697726611",
                            "0cc175b9c0f1b6a831c399e26977266g", "0cc175b9c0f1b6a831c399e26977266 "}) {
        EXPECT_FALSE(parse_md5_hex(bad, digest)) << bad;
        EXPECT_EQ(digest, untouched) << bad;
    }
}

}  // namespace
