// Arbitrary bytes as a PSID file: loaded with load_psid_bytes, then, for each
// of its first three songs, the start's init call and 50 play steps with
// their register frames encoded, the way a start and the pacing steps run
// them. A tune file is foreign input: whatever it holds, the loader must
// place exactly its payload, and the driver and the encoder must produce
// only well-formed messages at a usable rate.
#include <cstring>

#include "cpu/cpu_call.h"
#include "frame_check.h"
#include "fuzz_input.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "player/machine_tune.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

constexpr int songs_tried = 3;
constexpr int steps_per_song = 50;
constexpr int32_t slowest_rate_hz = 15;    // 985,248 / 65,536 cycles, latch $FFFF on PAL
constexpr int32_t fastest_rate_hz = 1000;  // 1,022,727 / 1,023 cycles, the shortest period on NTSC
constexpr uint16_t system_irq_entry = 0xEA31;
constexpr uint16_t system_irq_exit = 0xFF48;

void fresh_process() {
    std::memset(&cpu_state, 0, sizeof cpu_state);
    other_sid_windows = 0;
    std::memset(&sid_write_log, 0, sizeof sid_write_log);
    std::memset(&tune_info, 0, sizeof tune_info);
    reset_sid_shadow();
    reset_player_state();
    reset_stream_ring();
}

uint16_t be16(const uint8_t* data, size_t size, size_t at) {
    uint8_t high = at < size ? data[at] : 0;
    uint8_t low = at + 1 < size ? data[at + 1] : 0;
    return static_cast<uint16_t>(high << 8 | low);
}

// The outcome a PSID file must have, worked out from the file format alone,
// for files that start with the magic itself.
void check_image_against_file(const uint8_t* data, size_t size, int result) {
    uint16_t version = be16(data, size, 4);
    uint16_t load_address = be16(data, size, 8);
    uint16_t play_address = be16(data, size, 12);
    bool long_header = version >= 2 && version <= 4;
    size_t header_size = long_header ? 124 : 118;
    bool whole_header = size >= header_size;
    bool mus = whole_header && long_header && (be16(data, size, 118) & 1);
    size_t payload_size = whole_header ? size - header_size : 0;
    bool has_tune = payload_size >= (load_address == 0 ? 3u : 1u);
    int expected_result = !whole_header ? LOAD_NOT_PSID : mus ? LOAD_MUS : has_tune ? LOAD_OK : LOAD_NOT_PSID;
    FUZZ_CHECK(result == expected_result);
    if (result == LOAD_NOT_PSID) return;  // the image is checked to be all zero below
    FUZZ_CHECK(tune_info.irq_mode == (play_address == 0 ? 1 : 0));

    static uint8_t expected[65536];
    std::memset(expected, 0, sizeof expected);
    if (play_address == 0) expected[system_irq_entry] = expected[system_irq_exit] = 0x60;
    if (result == LOAD_OK) {
        const uint8_t* payload = data + header_size;
        if (load_address == 0) {  // the first two payload bytes, low byte first
            load_address = static_cast<uint16_t>(payload[0] | payload[1] << 8);
            payload += 2;
            payload_size -= 2;
        }
        size_t room = 65536 - static_cast<size_t>(load_address);
        std::memcpy(expected + load_address, payload, payload_size < room ? payload_size : room);
    }
    FUZZ_CHECK(std::memcmp(expected, memory_image.bytes, sizeof expected) == 0);
    if (result != LOAD_OK) return;

    // The header's zeros mean the load address, one song, song 1.
    uint16_t init_address = be16(data, size, 10);
    uint16_t songs = be16(data, size, 14);
    uint16_t start_song = be16(data, size, 16);
    if (songs == 0) songs = 1;
    if (start_song == 0 || start_song > songs) start_song = 1;
    FUZZ_CHECK(tune_info.version == version);
    FUZZ_CHECK(tune_info.load_address == load_address);
    FUZZ_CHECK(tune_info.init_address == (init_address ? init_address : load_address));
    FUZZ_CHECK(tune_info.songs == songs);
    FUZZ_CHECK(tune_info.start_song == start_song);
    FUZZ_CHECK(tune_info.speed == (static_cast<uint32_t>(be16(data, size, 18)) << 16 | be16(data, size, 20)));
    FUZZ_CHECK(std::memcmp(tune_info.name, data + 22, 32) == 0);
    FUZZ_CHECK(std::memcmp(tune_info.released, data + 86, 32) == 0);

    // A second or third SID is a chip at 0xDxx0 for an even xx in 0x42..0x7E
    // or 0xE0..0xFE, with a window: bit n for 0xD400 + 32 n in the first
    // chip's mirrors, bit 32 + n for 0xDE00 + 32 n in the expansion port's
    // area. A third chip counts only beside a second, and never in its window.
    uint64_t window[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        uint8_t byte = version >= 3 && version <= 4 ? data[122 + i] : 0;
        bool valid = !(byte & 1) && ((byte >= 0x42 && byte <= 0x7E) || byte >= 0xE0);
        uint16_t address = valid ? static_cast<uint16_t>(0xD000 | byte << 4) : 0;
        FUZZ_CHECK((i == 0 ? tune_info.second_sid_address : tune_info.third_sid_address) == address);
        if (valid && byte <= 0x7E) window[i] = uint64_t{1} << ((address - 0xD400) >> 5);
        if (valid && byte >= 0xE0) window[i] = uint64_t{1} << (32 + ((address - 0xDE00) >> 5));
    }
    uint64_t third = window[0] ? window[1] & ~window[0] : 0;
    FUZZ_CHECK(other_sid_windows == (window[0] | third));
    FUZZ_CHECK(third_sid_windows == third);
}

void check_rate() {
    // A tune that drives itself sends its frames whenever its interrupts
    // come: any gap from one cycle to many seconds.
    if (tune_drives_itself(tune_info)) {
        FUZZ_CHECK(player_state.play_period_cycles >= 1);
        return;
    }
    FUZZ_CHECK(player_state.play_rate_hz >= slowest_rate_hz && player_state.play_rate_hz <= fastest_rate_hz);
}

// The bytes appended to the current slot since the ring was reset.
const uint8_t* appended() { return stream_ring[ring_index].message; }

// The user's settings differ per song, so the voice gating and the cutoff
// scaling run too: song 1 as started, song 2 with voice 2 off at 200 %,
// song 3 with voices 1 and 3 off at 20 %.
void apply_settings(int song) {
    static constexpr int32_t filter[songs_tried] = {100, 200, 20};
    static constexpr int32_t voices[songs_tried][3] = {{1, 1, 1}, {1, 0, 1}, {0, 1, 0}};
    player_state.filter_percent = filter[song - 1];
    for (int v = 0; v < 3; ++v) player_state.voice_enabled[v] = voices[song - 1][v];
}

// A switched-off voice sends frequency 0 and none of its other registers.
void check_voice_gating(const Message& frame) {
    for (int voice = 0; voice < 3; ++voice) {
        if (player_state.voice_enabled[voice]) continue;
        int first = voice * 6;
        FUZZ_CHECK(frame_has(frame, first) && frame_value(frame, first) == 0);
        FUZZ_CHECK(frame_has(frame, first + 1) && frame_value(frame, first + 1) == 0);
        for (int p = first + 2; p < first + 6; ++p) FUZZ_CHECK(!frame_has(frame, p));
        FUZZ_CHECK(!frame_has(frame, 22 + voice));
    }
}

void play_song(int song) {
    apply_settings(song);
    player_state.current_song = song;

    // The start: the name follows the reset frame in the first buffer.
    reset_stream_ring();
    int init_result = init_tune();
    FUZZ_CHECK(init_result == CPU_RETURNED || init_result == CPU_ABANDONED);
    check_rate();
    append_text_message(tune_info.name);
    int texts = 0;
    for_each_message(appended(), static_cast<size_t>(write_position), [&](const Message& m) {
        FUZZ_CHECK(m.kind == MessageKind::text);
        ++texts;
    });
    FUZZ_CHECK(texts == 1);

    for (int step = 0; step < steps_per_song; ++step) {
        // One slot per step, as each pacing step queues the previous one.
        reset_stream_ring();
        // The first SID's stores make its frame; a second or third SID's are
        // sent only when asked for, which this target never does.
        bool log_has_writes = false;
        for (int i = 0; sid_write_log.registers[i] != -1; ++i)
            if (sid_write_log.registers[i] < sid_log_chip_step) log_has_writes = true;
        int result = play_step();
        FUZZ_CHECK(result == CPU_RETURNED || result == CPU_ABANDONED);
        check_rate();

        int frames = 0;
        for_each_message(appended(), static_cast<size_t>(write_position), [&](const Message& m) {
            FUZZ_CHECK(m.kind == MessageKind::register_frame);
            check_voice_gating(m);
            ++frames;
        });
        FUZZ_CHECK(frames == (log_has_writes ? 1 : 0));
        if (result == CPU_ABANDONED) break;  // the controller stops playback here
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fresh_process();
    int result = load_psid_bytes(data, size);
    FUZZ_CHECK(result == LOAD_OK || result == LOAD_NOT_PSID || result == LOAD_MUS || result == LOAD_BASIC);
    if (size >= 4 && std::memcmp(data, "PSID", 4) == 0) check_image_against_file(data, size, result);
    if (result == LOAD_NOT_PSID) {
        FUZZ_CHECK(tune_info.irq_mode == 0);
        for (uint8_t byte : memory_image.bytes) FUZZ_CHECK(byte == 0);
    }
    if (result != LOAD_OK) return 0;

    int songs = tune_info.songs < 1 ? 1 : tune_info.songs > songs_tried ? songs_tried : tune_info.songs;
    for (int song = 1; song <= songs; ++song) play_song(song);
    return 0;
}
