#include "cli/list_player.h"

#include <array>
#include <atomic>

#include "cli/exit_codes.h"
#include "cli/tune_options.h"
#include "player/commands.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/control_frames.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {

// What the controller's lookup answers, from the worker thread at each
// start: set for a file before it is loaded.
constexpr int songs_known_at_most = 256;
std::array<std::atomic<int32_t>, songs_known_at_most + 1> file_lengths_ms;
std::atomic<int32_t> default_length_ms{-1};  // -1 while a single song plays

int32_t list_song_length(int32_t song) {
    if (song < 1 || song > songs_known_at_most) return default_length_ms;
    int32_t length = file_lengths_ms[song];
    return length != unknown_length_ms ? length : default_length_ms.load();
}

}  // namespace

ListPlayer::ListPlayer(std::vector<std::string> files, ListSettings settings, std::FILE* err)
    : files_(std::move(files)), settings_(std::move(settings)), err_(err), unplayable_(files_.size(), false) {
    install_song_length_lookup(list_song_length);
}

ListPlayer::~ListPlayer() { install_song_length_lookup(nullptr); }

int ListPlayer::unplayable_count() const {
    int count = 0;
    for (bool unplayable : unplayable_) count += unplayable;
    return count;
}

bool ListPlayer::many_songs() const { return files_.size() > 1 || (settings_.all_songs && tune_info.songs > 1); }

int32_t ListPlayer::length_ms(int song) const {
    int32_t length = song >= 1 && song <= static_cast<int>(record_.lengths_ms.size()) ? record_.lengths_ms[song - 1]
                                                                                      : unknown_length_ms;
    if (length != unknown_length_ms) return length;
    return many_songs() ? settings_.default_length_ms : unknown_length_ms;
}

int ListPlayer::wrapped(int file) const {
    int n = file_count();
    return ((file % n) + n) % n;
}

bool ListPlayer::open() {
    if (files_.empty()) return false;
    return go_to(0, settings_.first_song != 0 ? settings_.first_song : first_song, +1, false, false);
}

bool ListPlayer::go_to(int file, int song, int direction, bool play, bool restore) {
    bool unloaded = false;  // a failed load leaves no tune loaded
    int32_t song_before = player_state.current_song;
    for (int tried = 0; tried < file_count(); ++tried, file += direction) {
        if (file < 0 || file >= file_count()) {
            if (!settings_.loop) break;
            file = wrapped(file);
        }
        const std::string& path = files_[file];
        // The lookup answers for this file before its load, whose start may
        // follow at once.
        TuneRecord record = look_up_tune(path, songs_known_at_most, settings_.collection, err_);
        for (int i = 1; i <= songs_known_at_most; ++i) file_lengths_ms[i] = record.lengths_ms[i - 1];
        if (playback_on()) press_stop();
        int result = load_tune_file(path.c_str());
        if (result != LOAD_OK) {
            report_load_failure(err_, path, result);
            unplayable_[file] = true;
            unloaded = true;
            continue;
        }
        if (player_state.extra_sids == EXTRA_SIDS_OFF && tune_sid_count() > 1)
            std::fprintf(err_, "zarvel-cli: %s: %s\n", path.c_str(), extra_sids_not_played_text());
        if (song > tune_info.songs) song = first_song;  // a first song the first file does not have
        file_ = file;
        record_ = std::move(record);
        default_length_ms = many_songs() ? settings_.default_length_ms : -1;
        int chosen = song > 0 ? song
                     : settings_.all_songs ? (song == last_song ? tune_info.songs : 1)
                                           : tune_info.start_song;
        if (play) play_song(chosen);
        else choose_song(chosen);
        return true;
    }
    if (unloaded && restore && !record_.lengths_ms.empty()) {
        // Nothing further loads: back to the song that played, rather than
        // silence for a key that found only broken files.
        for (int i = 1; i <= songs_known_at_most; ++i) file_lengths_ms[i] = record_.lengths_ms[i - 1];
        if (load_tune_file(files_[file_].c_str()) == LOAD_OK) play_song(song_before);
    }
    return false;
}

bool ListPlayer::move_by_song(int direction, bool restore) {
    int32_t song = player_state.current_song;
    if (settings_.all_songs && song + direction >= 1 && song + direction <= tune_info.songs) {
        play_song(song + direction);
        return true;
    }
    return go_to(file_ + direction, direction > 0 ? first_song : last_song, direction, true, restore);
}

bool ListPlayer::step_file(int direction) { return go_to(file_ + direction, first_song, direction, true, true); }
