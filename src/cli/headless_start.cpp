#include "cli/headless_start.h"

#include "cli/exit_codes.h"
#include "headless/headless_player.h"
#include "midi/stream_transport.h"
#include "platform/stream_engine.h"
#include "player/machine_tune.h"
#include "player/player_state.h"

int start_headless(HeadlessPlayer& player, const TuneOptions& options, std::FILE* err) {
    int code = load_command_tune(options, [&player](const char* path) { return player.load(path); }, err);
    if (code != EXIT_OK) return code;
    // Before the start: the reset frame's cutoff already passes the filter scale.
    apply_sound_options(options);
    player.choose_song(chosen_song(options));
    player.play(options.start_ms);
    if (!player.warnings().empty()) {
        std::fprintf(err, "zarvel-cli: %s\n", player.warnings().front().c_str());
        return EXIT_DEVICE_FAILED;
    }
    return EXIT_OK;
}

bool advance_stream() { return stream_engine::advance_to_next_event(); }

bool song_stopped_and_muted() {
    return player_state.play_stopped_at_ms >= 0 && player_state.silenced && !stream_holds_messages();
}

void tell_player_notices(std::FILE* err) {
    if (player_state.samples_notice.exchange(0)) std::fprintf(err, "zarvel-cli: %s\n", samples_notice);
}
