// The PSID loader on small files built byte by byte: the header rules, the
// payload placement, and what every kind of unusable file leaves behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "cpu/cpu_call.h"
#include "cpu/memory_image.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"
#include "psid_loader_files_test.h"

using namespace psid_test;

namespace {

const uint8_t* image = memory_image.bytes;

// Addresses in from..to (inclusive) that hold a non-zero byte.
size_t nonzero_bytes(uint32_t from = 0, uint32_t to = 0xFFFF) {
    size_t count = 0;
    for (uint32_t a = from; a <= to; ++a) count += image[a] != 0;
    return count;
}

// A tune_info whose every field is recognisable, to see what a load changes.
TuneInfo sentinel_info() {
    TuneInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.irq_mode = 1;
    return info;
}

bool same_info(const TuneInfo& a, const TuneInfo& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Puts a recognisable tune in the image and tune_info, so a following load
// has something to clear.
void load_previous_tune() {
    Header h;
    h.play_address = 0;
    ASSERT_EQ(load_psid_bytes(psid_file(h, Bytes(300, 0xAB)).data(), 300 + 118), LOAD_OK);
    ASSERT_EQ(tune_info.irq_mode, 1);
    ASSERT_GT(nonzero_bytes(), 300u);
}

// ---- The header and payload rules, through both forms of the loader: the
// file on disk and the same bytes in memory must give the same outcome.

enum class Form { file, bytes };
void PrintTo(Form form, std::ostream* out) { *out << (form == Form::file ? "file" : "bytes"); }

class LoaderForms : public ::testing::TestWithParam<Form> {
protected:
    int load(const Bytes& bytes) {
        if (GetParam() == Form::bytes) return load_psid_bytes(bytes.data(), bytes.size());
        return load_psid(dir_.write("tune.sid", bytes).c_str());
    }
    ScratchDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Both, LoaderForms, ::testing::Values(Form::file, Form::bytes),
                         [](const auto& param) { return param.param == Form::file ? "File" : "Bytes"; });

TEST_P(LoaderForms, VersionOneHeaderIsReadBigEndianAndThePayloadLandsAtTheLoadAddress) {
    Header h;
    h.data_offset = 0x0076;
    h.load_address = 0x1234;
    h.init_address = 0x2345;
    h.play_address = 0x3456;
    h.songs = 0x0302;
    h.start_song = 0x0203;
    uint8_t speed[4] = {0x11, 0x22, 0x33, 0x44};
    std::memcpy(h.speed, speed, 4);
    h.name = Header::text("Melody");
    h.author = Header::text("Somebody");
    h.released = Header::text("2024 Us");
    load_previous_tune();

    ASSERT_EQ(load(psid_file(h, {0xA9, 0x0F, 0x8D, 0x18, 0xD4})), LOAD_OK);

    EXPECT_EQ(tune_info.version, 1);
    EXPECT_EQ(tune_info.data_offset, 0x0076);
    EXPECT_EQ(tune_info.load_address, 0x1234);
    EXPECT_EQ(tune_info.init_address, 0x2345);
    EXPECT_EQ(tune_info.play_address, 0x3456);
    EXPECT_EQ(tune_info.songs, 0x0302);
    EXPECT_EQ(tune_info.start_song, 0x0203);
    EXPECT_EQ(tune_info.speed, 0x11223344u);
    EXPECT_EQ(tune_text(tune_info.name), "Melody");
    EXPECT_EQ(tune_text(tune_info.author), "Somebody");
    EXPECT_EQ(tune_text(tune_info.released), "2024 Us");
    EXPECT_EQ(tune_info.flags, 0);
    EXPECT_EQ(tune_info.irq_mode, 0);
    const uint8_t payload[] = {0xA9, 0x0F, 0x8D, 0x18, 0xD4};  // LDA #$0F / STA $D418
    EXPECT_EQ(std::memcmp(image + 0x1234, payload, 5), 0);
    EXPECT_EQ(nonzero_bytes(), 5u) << "the previous tune must be gone";
}

TEST_P(LoaderForms, MagicIsATextTokenComparedCaseSensitively) {
    struct Case {
        const char* what;
        std::string before;  // bytes in front of the header's own
        std::string magic;
        int result;
    };
    const Case cases[] = {
        {"PSID", "", "PSID", LOAD_OK},
        {"RSID is read as PSID is", "", "RSID", LOAD_OK},
        {"lower case", "", "psid", LOAD_NOT_PSID},
        {"space inside the token", "", "PS D", LOAD_NOT_PSID},
        {"zero byte inside the token", "", std::string("PS\0D", 4), LOAD_NOT_PSID},
        {"white space before it is skipped", " \t\r\n\v\f", "PSID", LOAD_OK},
        {"64 blanks are skipped", std::string(64, ' '), "PSID", LOAD_OK},
        {"65 blanks are too many", std::string(65, ' '), "PSID", LOAD_NOT_PSID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Header h;
        h.magic = c.magic;
        h.init_address = 0x1003;
        Bytes file = psid_file(h, {0x60});
        file.insert(file.begin(), c.before.begin(), c.before.end());
        load_previous_tune();
        EXPECT_EQ(load(file), c.result);
        if (c.result == LOAD_OK) {
            // The header follows the token wherever the token ended.
            EXPECT_EQ(tune_info.init_address, 0x1003);
            EXPECT_EQ(image[0x1000], 0x60);
        } else {
            EXPECT_EQ(nonzero_bytes(), 0u);
            EXPECT_EQ(tune_info.irq_mode, 0);
        }
    }
}

TEST_P(LoaderForms, ShortFilesBeforeTheMagicEndsAreNotPsid) {
    for (const char* text : {"", "P", "PS", "PSI", "   "}) {
        SCOPED_TRACE(text);
        load_previous_tune();
        EXPECT_EQ(load(Bytes(text, text + std::strlen(text))), LOAD_NOT_PSID);
        EXPECT_EQ(nonzero_bytes(), 0u);
        EXPECT_EQ(tune_info.irq_mode, 0);
    }
}

TEST_P(LoaderForms, VersionsTwoToFourHaveTheSixByteExtension) {
    // The payload starts right after the header as read; data_offset never moves it.
    struct Case {
        uint16_t version;
        uint16_t data_offset;
        size_t header_bytes;
    };
    const Case cases[] = {
        {0, 0x0076, 118}, {1, 0x0076, 118}, {1, 0x007C, 118}, {2, 0x007C, 124}, {2, 0x0076, 124},
        {3, 0x007C, 124}, {4, 0x007C, 124}, {4, 0x0076, 124}, {5, 0x007C, 118}, {0x0102, 0x007C, 118},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " offset " << c.data_offset);
        Header h;
        h.version = c.version;
        h.data_offset = c.data_offset;
        h.with_extension = 1;  // six bytes 00 00 EE EE EE EE after the texts, whatever the version
        ASSERT_EQ(load(psid_file(h, {0x11, 0x22})), LOAD_OK);
        EXPECT_EQ(tune_info.data_offset, c.data_offset);
        if (c.header_bytes == 124) {
            EXPECT_EQ(image[0x1000], 0x11);
            EXPECT_EQ(image[0x1001], 0x22);
            EXPECT_EQ(nonzero_bytes(), 2u);
        } else {
            // The extension's bytes are the first six payload bytes.
            const uint8_t expected[] = {0x00, 0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0x11, 0x22};
            EXPECT_EQ(std::memcmp(image + 0x1000, expected, 8), 0);
            EXPECT_EQ(tune_info.flags, 0);
        }
    }
}

TEST_P(LoaderForms, VersionTwoFlagsBitZeroIsMusEverythingElseLoads) {
    const uint16_t loading_flags[] = {0x0000, 0x0002, 0x0010, 0x0014, 0xFFFE};
    for (uint16_t flags : loading_flags) {
        SCOPED_TRACE(flags);
        Header h;
        h.version = 2;
        h.data_offset = 0x007C;
        h.flags = flags;
        ASSERT_EQ(load(psid_file(h, {0x60})), LOAD_OK);
        EXPECT_EQ(tune_info.flags, flags);
        EXPECT_EQ(image[0x1000], 0x60) << "payload starts at offset 124";
        EXPECT_EQ(nonzero_bytes(), 1u);
    }

    for (uint16_t flags : {0x0001, 0x0015, 0xFFFF}) {
        SCOPED_TRACE(flags);
        Header h;
        h.version = 2;
        h.flags = static_cast<uint16_t>(flags);
        h.name = Header::text("Mus tune");
        load_previous_tune();
        ASSERT_EQ(load(psid_file(h, Bytes(100, 0x77))), LOAD_MUS);
        EXPECT_EQ(tune_info.flags, flags);
        EXPECT_EQ(tune_text(tune_info.name), "Mus tune") << "the header read so far is kept";
        EXPECT_EQ(tune_info.irq_mode, 0);
        EXPECT_EQ(nonzero_bytes(), 0u) << "no payload byte is copied";
    }

    // A MUS file with play address 0 still gets its two return bytes.
    Header h;
    h.version = 2;
    h.flags = 1;
    h.play_address = 0;
    ASSERT_EQ(load(psid_file(h, Bytes(100, 0x77))), LOAD_MUS);
    EXPECT_EQ(tune_info.irq_mode, 1);
    EXPECT_EQ(image[0xEA31], 0x60);
    EXPECT_EQ(image[0xFF48], 0x60);
    EXPECT_EQ(nonzero_bytes(), 2u);
}

TEST_P(LoaderForms, VersionOneFlagsAreZeroNotThePreviousTunes) {
    Header v2;
    v2.version = 2;
    v2.flags = 0x0014;
    ASSERT_EQ(load(psid_file(v2, {0x60})), LOAD_OK);
    ASSERT_EQ(tune_info.flags, 0x0014);
    ASSERT_EQ(load(psid_file(Header{}, {0x60})), LOAD_OK);
    EXPECT_EQ(tune_info.flags, 0);
}

TEST_P(LoaderForms, LoadAddressZeroTakesTwoPayloadBytesLowFirst) {
    Header h;
    h.load_address = 0;
    ASSERT_EQ(load(psid_file(h, {0x00, 0x10, 0xA9, 0x01, 0x60})), LOAD_OK);
    EXPECT_EQ(tune_info.load_address, 0x1000);
    const uint8_t code[] = {0xA9, 0x01, 0x60};  // LDA #$01 / RTS
    EXPECT_EQ(std::memcmp(image + 0x1000, code, 3), 0);
    EXPECT_EQ(nonzero_bytes(), 3u) << "the address bytes are not copied";

    // Low byte first: 0x34 0x12 is 0x1234.
    ASSERT_EQ(load(psid_file(h, {0x34, 0x12, 0x99})), LOAD_OK);
    EXPECT_EQ(tune_info.load_address, 0x1234);
    EXPECT_EQ(image[0x1234], 0x99);
}

TEST_P(LoaderForms, PayloadStopsAtTheTopOfTheImage) {
    Bytes payload(8192);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7 + 1) | 1;
    Header h;
    h.load_address = 0xF000;
    ASSERT_EQ(load(psid_file(h, payload)), LOAD_OK);
    EXPECT_EQ(std::memcmp(image + 0xF000, payload.data(), 4096), 0);
    EXPECT_EQ(nonzero_bytes(0xF000, 0xFFFF), 4096u);
    EXPECT_EQ(nonzero_bytes(0x0000, 0xEFFF), 0u) << "nothing wraps round to address 0";

    // From address 0 (given in the payload) the whole image fills; the
    // 65,537th byte is ignored.
    Header zero;
    zero.load_address = 0;
    Bytes whole = {0x00, 0x00};
    whole.resize(2 + 65536 + 1, 0x42);
    whole.back() = 0x99;
    ASSERT_EQ(load(psid_file(zero, whole)), LOAD_OK);
    EXPECT_EQ(tune_info.load_address, 0);
    EXPECT_EQ(nonzero_bytes(), 65536u);
    EXPECT_EQ(image[0xFFFF], 0x42);
    EXPECT_EQ(image[0x0000], 0x42);
}

TEST_P(LoaderForms, PlayAddressZeroSetsIrqModeAndTwoReturnBytes) {
    Header h;
    h.play_address = 0;
    ASSERT_EQ(load(psid_file(h, {0x60})), LOAD_OK);
    EXPECT_EQ(tune_info.irq_mode, 1);
    EXPECT_EQ(tune_info.play_address, 0);
    EXPECT_EQ(image[0xEA31], 0x60);  // RTS
    EXPECT_EQ(image[0xFF48], 0x60);
    EXPECT_EQ(nonzero_bytes(), 3u);

    // A payload over 0xEA31 keeps its own byte there; 0xFF48 is not covered.
    h.load_address = 0xEA00;
    ASSERT_EQ(load(psid_file(h, Bytes(0x40, 0xAA))), LOAD_OK);
    EXPECT_EQ(image[0xEA31], 0xAA);
    EXPECT_EQ(image[0xFF48], 0x60);

    // A payload over both, with zeros there, leaves zeros.
    h.load_address = 0xE000;
    ASSERT_EQ(load(psid_file(h, Bytes(0x2000, 0x00))), LOAD_OK);
    EXPECT_EQ(image[0xEA31], 0x00);
    EXPECT_EQ(image[0xFF48], 0x00);
}

TEST_P(LoaderForms, SpeedIsBigEndianWithBitZeroInTheFourthByte) {
    struct Case {
        uint8_t bytes[4];
        uint32_t speed;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00, 0x01}, 0x00000001u},
        {{0x80, 0x00, 0x00, 0x00}, 0x80000000u},
        {{0x12, 0x34, 0x56, 0x78}, 0x12345678u},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        Header h;
        std::memcpy(h.speed, c.bytes, 4);
        ASSERT_EQ(load(psid_file(h, {0x60})), LOAD_OK);
        EXPECT_EQ(tune_info.speed, c.speed);
    }
}

TEST_P(LoaderForms, TextsAreCopiedByteForByteAndMayFillAll32Bytes) {
    Header h;
    h.name = Bytes(32, 'N');
    h.author = Bytes(32, 0xE9);  // no change of character set
    h.released = Header::text("AB");
    h.released[3] = 'X';  // after the terminator: kept, not part of the text
    ASSERT_EQ(load(psid_file(h, {0x60})), LOAD_OK);
    EXPECT_EQ(tune_text(tune_info.name), std::string(32, 'N'));
    EXPECT_EQ(tune_text(tune_info.author), std::string(32, '\xE9'));
    EXPECT_EQ(tune_text(tune_info.released), "AB");
    EXPECT_EQ(tune_info.released[3], 'X');
}

TEST_P(LoaderForms, FilesThatEndInsideTheHeaderOrHoldNoTuneAreNotPsid) {
    // Cut at n bytes: a 118-byte header for version 1, 124 bytes for 2 to 4;
    // then at least one byte to load, after the two address bytes when the
    // header leaves the load address to the payload.
    struct Case {
        uint16_t version;
        uint16_t load_address;
        size_t cut;
        LoadRefusal refusal;  // none: loads
    };
    const Case cases[] = {
        {1, 0x1000, 4, LoadRefusal::ends_inside_header},  {1, 0x1000, 50, LoadRefusal::ends_inside_header},
        {1, 0x1000, 117, LoadRefusal::ends_inside_header}, {1, 0x1000, 118, LoadRefusal::no_tune_data},
        {1, 0x1000, 119, LoadRefusal::none},               {2, 0x1000, 118, LoadRefusal::ends_inside_header},
        {2, 0x1000, 123, LoadRefusal::ends_inside_header}, {2, 0x1000, 124, LoadRefusal::no_tune_data},
        {3, 0x1000, 123, LoadRefusal::ends_inside_header}, {4, 0x1000, 124, LoadRefusal::no_tune_data},
        {2, 0x1000, 125, LoadRefusal::none},               {2, 0, 125, LoadRefusal::no_tune_data},
        {2, 0, 126, LoadRefusal::no_tune_data},            {2, 0, 127, LoadRefusal::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " load " << c.load_address << " cut at "
                                        << c.cut);
        Header h;
        h.version = c.version;
        h.load_address = c.load_address;
        h.play_address = 0;  // its return bytes would show if the image kept anything
        Bytes whole = psid_file(h, {0x00, 0x20, 0xC1, 0xC2});
        load_previous_tune();
        int result = load(Bytes(whole.begin(), whole.begin() + static_cast<long>(c.cut)));
        EXPECT_EQ(last_load_refusal(), c.refusal);
        if (c.refusal == LoadRefusal::none) {
            EXPECT_EQ(result, LOAD_OK);
            EXPECT_EQ(tune_info.irq_mode, 1);
            if (c.load_address == 0) EXPECT_EQ(image[0x2000], 0xC1);
        } else {
            EXPECT_EQ(result, LOAD_NOT_PSID);
            EXPECT_EQ(nonzero_bytes(), 0u);
            EXPECT_EQ(tune_info.irq_mode, 0);
        }
    }

    // Cut inside the payload: the rest of the image stays zero.
    Header plain;
    ASSERT_EQ(load(psid_file(plain, {0x01, 0x02, 0x03})), LOAD_OK);
    EXPECT_EQ(nonzero_bytes(), 3u);
}

TEST_P(LoaderForms, HeaderZerosTakeTheFileFormatsMeaning) {
    // An init address of 0 is the load address; 0 songs are one; a start
    // song of 0 or above the songs is song 1.
    struct Case {
        uint16_t load_address, init_address, songs, start_song;
        uint16_t init, song_count, start;  // as tune_info holds them
    };
    const Case cases[] = {
        {0x1000, 0x0000, 1, 1, 0x1000, 1, 1}, {0x0000, 0x0000, 1, 1, 0x2000, 1, 1},  // address from the payload
        {0x1000, 0x1003, 0, 1, 0x1003, 1, 1}, {0x1000, 0x1003, 1, 0, 0x1003, 1, 1},
        {0x1000, 0x1003, 1, 9, 0x1003, 1, 1}, {0x1000, 0x1003, 0, 0, 0x1003, 1, 1},
        {0x1000, 0x1003, 4, 3, 0x1003, 4, 3}, {0x1000, 0x1003, 4, 4, 0x1003, 4, 4},
        {0x1000, 0x1003, 4, 5, 0x1003, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "init " << c.init_address << " songs " << c.songs << " start "
                                        << c.start_song);
        Header h;
        h.load_address = c.load_address;
        h.init_address = c.init_address;
        h.songs = c.songs;
        h.start_song = c.start_song;
        Bytes payload = c.load_address ? Bytes{0x60} : Bytes{0x00, 0x20, 0x60};
        ASSERT_EQ(load(psid_file(h, payload)), LOAD_OK);
        EXPECT_EQ(tune_info.init_address, c.init);
        EXPECT_EQ(tune_info.songs, c.song_count);
        EXPECT_EQ(tune_info.start_song, c.start);
    }
}

TEST_P(LoaderForms, VersionsThreeAndFourNameASecondAndThirdSid) {
    // Bytes 122 and 123: xx names a chip at 0xDxx0 when even and within
    // 0x42..0x7E or 0xE0..0xFE. Each chip takes its window from the CPU
    // core's capture: bit n for 0xD400 + 32 n, bit 32 + n for 0xDE00 + 32 n.
    struct Case {
        uint16_t version;
        uint8_t second, third;
        uint16_t second_address, third_address;
        uint64_t windows;
    };
    const Case cases[] = {
        {3, 0x42, 0x00, 0xD420, 0, 1u << 1},
        {4, 0x42, 0x7E, 0xD420, 0xD7E0, 1u << 1 | 1u << 31},
        {4, 0xE0, 0xFE, 0xDE00, 0xDFE0, uint64_t{1} << 32 | uint64_t{1} << 47},
        {4, 0x50, 0xE2, 0xD500, 0xDE20, 1u << 8 | uint64_t{1} << 33},
        {3, 0x00, 0x00, 0, 0, 0},
        {4, 0x40, 0x43, 0, 0, 0},  // the first chip itself; odd
        {4, 0x80, 0xDE, 0, 0, 0},  // past the mirrors; below the expansion area
        {4, 0xFF, 0x41, 0, 0, 0},
        {2, 0x42, 0x44, 0, 0, 0},  // version 2: reserved bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << std::hex << " bytes " << int(c.second)
                                        << " " << int(c.third));
        Header h;
        h.version = c.version;
        h.data_offset = 0x7C;
        h.reserved[2] = c.second;
        h.reserved[3] = c.third;
        ASSERT_EQ(load(psid_file(h, {0x60})), LOAD_OK);
        EXPECT_EQ(image[0x1000], 0x60) << "the payload follows the 124-byte header";
        EXPECT_EQ(tune_info.second_sid_address, c.second_address);
        EXPECT_EQ(tune_info.third_sid_address, c.third_address);
        EXPECT_EQ(other_sid_windows, c.windows);
    }
    // The windows belong to the tune loaded: none once a load fails.
    load(Bytes{'R', 'S', 'I', 'D'});
    EXPECT_EQ(other_sid_windows, 0u);
}

TEST_P(LoaderForms, EachRefusalSaysWhy) {
    Header rsid;
    rsid.magic = "RSID";
    Header mus;
    mus.version = 3;
    mus.flags = 1;
    // Flags bit 1 of an RSID: the tune is a BASIC program (the format's definition).
    Header basic = rsid;
    basic.version = 2;
    basic.flags = 2;
    Header psid_bit1;  // a PSID's bit 1 means PlaySID samples: loaded
    psid_bit1.version = 2;
    psid_bit1.flags = 2;
    struct Case {
        Bytes file;
        int result;
        LoadRefusal refusal;
    };
    const Case cases[] = {
        {psid_file(Header{}, {0x60}), LOAD_OK, LoadRefusal::none},
        {psid_file(rsid, {0x60}), LOAD_OK, LoadRefusal::none},
        {psid_file(basic, {0x60}), LOAD_BASIC, LoadRefusal::basic_program},
        {psid_file(psid_bit1, {0x60}), LOAD_OK, LoadRefusal::none},
        {Bytes{'P', 'S', 'X', 'D'}, LOAD_NOT_PSID, LoadRefusal::no_psid_magic},
        {Bytes{}, LOAD_NOT_PSID, LoadRefusal::no_psid_magic},
        {psid_file(mus, {0x60}), LOAD_MUS, LoadRefusal::mus_data},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.file), c.result);
        EXPECT_EQ(last_load_refusal(), c.refusal) << c.result;
    }
}

TEST_P(LoaderForms, IrqModeIsClearedByEveryLoadThatGetsPastOpening) {
    Header normal;
    Header rsid;
    rsid.magic = "RSID";
    Header mus;
    mus.version = 2;
    mus.flags = 1;
    for (const Header* next : {&normal, &rsid, &mus}) {
        load_previous_tune();  // irq_mode 1
        load(psid_file(*next));
        EXPECT_EQ(tune_info.irq_mode, 0) << next->magic << " flags " << next->flags;
    }
}

// ---- Files that cannot be used.

class LoaderFiles : public ::testing::Test {
protected:
    void expect_refused_unchanged(const std::string& path) {
        load_previous_tune();
        TuneInfo before = sentinel_info();
        tune_info = before;
        EXPECT_EQ(load_psid(path.c_str()), LOAD_CANNOT_OPEN);
        EXPECT_EQ(nonzero_bytes(), 0u);
        EXPECT_TRUE(same_info(tune_info, before)) << "tune_info must be unchanged";
    }
    ScratchDir dir_;
};

TEST_F(LoaderFiles, MissingFileCannotBeOpened) {
    expect_refused_unchanged((dir_.path() / "no such tune.sid").string());
    EXPECT_EQ(last_load_refusal(), LoadRefusal::cannot_open);
    EXPECT_EQ(load_error_number(), ENOENT);
    expect_refused_unchanged("");
}

TEST_F(LoaderFiles, NullPathCannotBeOpened) {
    load_previous_tune();
    EXPECT_EQ(load_psid(nullptr), LOAD_CANNOT_OPEN);
    EXPECT_EQ(nonzero_bytes(), 0u);
}

TEST_F(LoaderFiles, DirectoryCannotBeOpened) {
    // On Linux the open succeeds and the first read fails; the outcome must be
    // the one for a file that cannot be read, not "Not a PSID-file?".
    expect_refused_unchanged(dir_.path().string());
    EXPECT_EQ(last_load_refusal(), LoadRefusal::cannot_read);
    EXPECT_EQ(load_error_number(), EISDIR);
}

TEST_F(LoaderFiles, FileWhoseReadFailsCannotBeOpened) {
    // Opens for reading, but reading at offset 0 fails (nothing is mapped there).
    expect_refused_unchanged("/proc/self/mem");
}

TEST_F(LoaderFiles, FileWithoutReadPermissionCannotBeOpened) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    std::string path = dir_.write("locked.sid", psid_file(Header{}, {0x60}));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    expect_refused_unchanged(path);
}

TEST_F(LoaderFiles, EmptyFileIsNotPsid) {
    load_previous_tune();
    EXPECT_EQ(load_psid(dir_.write("empty.sid", {}).c_str()), LOAD_NOT_PSID);
    EXPECT_EQ(nonzero_bytes(), 0u);
    EXPECT_EQ(tune_info.irq_mode, 0);
}

TEST_F(LoaderFiles, GigabyteFileIsReadOnlyAsFarAsTheImageReaches) {
    Header h;
    h.load_address = 0x8000;
    Bytes start = psid_file(h, {0xC0, 0xDE});
    std::string path = dir_.write("huge.sid", start);
    ASSERT_EQ(truncate(path.c_str(), 1ll << 30), 0);  // sparse: the rest reads as zeros

    uint64_t before = bytes_read_by_process();
    EXPECT_EQ(load_psid(path.c_str()), LOAD_OK);
    uint64_t read = bytes_read_by_process() - before;
    EXPECT_EQ(image[0x8000], 0xC0);
    EXPECT_EQ(image[0x8001], 0xDE);
    EXPECT_EQ(nonzero_bytes(), 2u);
    EXPECT_LT(read, 40000u + 8192u) << "header and 32 KB of payload, plus stdio's buffering";
}

TEST_F(LoaderFiles, FileOfBlanksIsNotReadToItsEnd) {
    Bytes blanks(1 << 20, ' ');
    blanks.insert(blanks.end(), {'P', 'S', 'I', 'D'});
    std::string path = dir_.write("blanks.sid", blanks);
    uint64_t before = bytes_read_by_process();
    EXPECT_EQ(load_psid(path.c_str()), LOAD_NOT_PSID);
    EXPECT_LT(bytes_read_by_process() - before, 16384u);
}

TEST_F(LoaderFiles, FileAndBytesGiveTheSameOutcome) {
    // Random files that begin like a PSID header: whatever the loader makes of
    // them, both forms must make the same.
    std::mt19937 random(12345);
    static uint8_t image_from_file[65536];
    for (int round = 0; round < 150; ++round) {
        Bytes file(random() % 400, 0);
        for (auto& byte : file) byte = static_cast<uint8_t>(random());
        if (file.size() >= 6) {
            std::memcpy(file.data(), "PSID", 4);
            file[4] = 0;
            file[5] = static_cast<uint8_t>(random() % 4);  // versions 0..3
        }
        SCOPED_TRACE(round);
        tune_info = sentinel_info();
        int from_file = load_psid(dir_.write("random.sid", file).c_str());
        TuneInfo info_from_file = tune_info;
        std::memcpy(image_from_file, image, sizeof image_from_file);

        tune_info = sentinel_info();
        ASSERT_EQ(load_psid_bytes(file.data(), file.size()), from_file);
        EXPECT_TRUE(same_info(tune_info, info_from_file));
        ASSERT_EQ(std::memcmp(image, image_from_file, sizeof image_from_file), 0);
    }
}

// A player checks a file before it stops its tune. The check must leave the
// loaded tune whole and agree with load_psid (the definition of a load) on
// every file; the load of the checked bytes must equal load_psid's.
TEST_F(LoaderFiles, CheckLeavesTheLoadedTuneAndAgreesWithTheLoad) {
    std::mt19937 random(54321);
    std::vector<std::string> paths = {dir_.write("empty.sid", {}), dir_.write("text.sid", Bytes(40, 'x')),
                                      dir_.write("short.sid", {'P', 'S', 'I', 'D', 0, 2}),
                                      dir_.write("good.sid", psid_file(Header{}, {0x60})),
                                      (dir_.path() / "missing.sid").string(), dir_.path().string()};
    for (int round = 0; round < 60; ++round) {
        Bytes file(random() % 300, 0);
        for (auto& byte : file) byte = static_cast<uint8_t>(random());
        if (file.size() >= 6) std::memcpy(file.data(), "PSID\0\2", 6);
        paths.push_back(dir_.write("random" + std::to_string(round) + ".sid", file));
    }
    static uint8_t loaded_image[65536];
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        tune_info = sentinel_info();
        int loaded = load_psid(path.c_str());
        LoadRefusal refusal = last_load_refusal();
        TuneInfo loaded_info = tune_info;
        std::memcpy(loaded_image, image, sizeof loaded_image);

        load_previous_tune();
        TuneInfo before = tune_info;
        uint8_t before_sample = image[0x1000];
        size_t before_count = nonzero_bytes();
        ASSERT_EQ(check_psid_file(path.c_str()), loaded);
        EXPECT_EQ(last_load_refusal(), refusal);
        EXPECT_TRUE(same_info(tune_info, before)) << "the check changed tune_info";
        EXPECT_EQ(nonzero_bytes(), before_count) << "the check changed the image";
        EXPECT_EQ(image[0x1000], before_sample);
        if (loaded != LOAD_OK) continue;
        tune_info = sentinel_info();
        ASSERT_EQ(load_checked_psid(), LOAD_OK);
        EXPECT_TRUE(same_info(tune_info, loaded_info));
        EXPECT_EQ(std::memcmp(image, loaded_image, sizeof loaded_image), 0);
        EXPECT_EQ(load_checked_psid(), LOAD_NOT_PSID) << "the checked bytes load once";
    }
}

TEST(LoaderBytes, NoBytesAtAllAreNotPsid) {
    load_previous_tune();
    EXPECT_EQ(load_psid_bytes(nullptr, 0), LOAD_NOT_PSID);
    EXPECT_EQ(load_psid_bytes(nullptr, 100), LOAD_NOT_PSID);
    EXPECT_EQ(nonzero_bytes(), 0u);
}

TEST(SwapBytes32, ReversesTheFourBytes) {
    EXPECT_EQ(swap_bytes32(0x11223344u), 0x44332211u);
    EXPECT_EQ(swap_bytes32(0x000000FFu), 0xFF000000u);
    EXPECT_EQ(swap_bytes32(0x80000001u), 0x01000080u);
    EXPECT_EQ(swap_bytes32(swap_bytes32(0xDEADBEEFu)), 0xDEADBEEFu);
}

}  // namespace
