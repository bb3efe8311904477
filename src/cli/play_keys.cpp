#include "cli/play_keys.h"

#include "player/commands.h"
#include "player/panel.h"
#include "player/player_state.h"

namespace {

WindowHandle const no_window = nullptr;

KeyResult play_or_pause() {
    // From Stopped, Play starts the song from its init; from Paused it resumes.
    bool starts = !player_state.playing && !player_state.paused;
    const char* text = press_play();
    if (!text) return KeyResult::handled;  // no tune: nothing happens
    panel_set_play_button_text(no_window, text);
    return starts ? KeyResult::song_started : KeyResult::handled;
}

KeyResult step_song(int32_t step, int32_t songs) {
    int32_t song = player_state.current_song + step;
    if (songs <= 0 || song < 1 || song > songs) return KeyResult::handled;
    // Like the window's selector: while playing the worker mutes and starts
    // the new song; otherwise it waits for Play.
    return choose_song(song) ? KeyResult::song_started : KeyResult::handled;
}

void step_speed(int32_t step) {
    player_state.speed_percent = scroll_scale(player_state.speed_percent, SCROLL_THUMB_TRACK,
                                              player_state.speed_percent + step);
    write_rate_label(no_window);
}

void step_filter(int32_t step) {
    player_state.filter_percent = scroll_scale(player_state.filter_percent, SCROLL_THUMB_TRACK,
                                               player_state.filter_percent + step);
}

}  // namespace

KeyResult press_key(const Key& key, int32_t songs) {
    if (key.name != KeyName::character || key.modifiers != 0) return KeyResult::ignored;
    switch (key.character) {
        case ' ': return play_or_pause();
        case 's':
            if (const char* text = press_stop()) panel_set_play_button_text(no_window, text);
            return KeyResult::handled;
        case 'n': return step_song(+1, songs);
        case 'p': return step_song(-1, songs);
        case '1':
        case '2':
        case '3':
            toggle_voice(key.character - '1');
            return KeyResult::handled;
        case '+':
        case '=':  // + without Shift on most layouts
            step_speed(+key_scale_step);
            return KeyResult::handled;
        case '-':
            step_speed(-key_scale_step);
            return KeyResult::handled;
        case ']':
            step_filter(+key_scale_step);
            return KeyResult::handled;
        case '[':
            step_filter(-key_scale_step);
            return KeyResult::handled;
        case '<':
        case ',':  // < without Shift
            seek_by(-seek_step_ms);
            return KeyResult::handled;
        case '>':
        case '.':
            seek_by(+seek_step_ms);
            return KeyResult::handled;
        case '?': return KeyResult::show_keys;
        case 'q':
        case 'Q': return KeyResult::quit;
        default: return KeyResult::ignored;
    }
}

const std::vector<KeyHelp> key_help_table = {
    {"space", "play/pause", 9}, {"s", "stop", 6},      {"n/p", "song", 7},       {"<-/->", "list's song", 4},
    {"N/P", "file", 3},         {"1 2 3", "voices", 5}, {"+/-", "speed", 2},     {"[/]", "filter", 1},
    {"</>", "seek", 5},         {"?", "all keys", 8},       {"q", "quit", 10},
};

namespace {

std::vector<std::string> wrapped(const std::vector<const KeyHelp*>& keys, size_t columns) {
    std::vector<std::string> lines;
    std::string line;
    for (const KeyHelp* key : keys) {
        std::string entry = std::string(key->keys) + " " + key->action;
        if (!line.empty() && line.size() + 2 + entry.size() > columns) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : "  ") + entry;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

std::vector<std::string> key_help_lines(size_t columns, size_t max_lines) {
    std::vector<const KeyHelp*> keys;
    for (const KeyHelp& key : key_help_table) keys.push_back(&key);
    for (;;) {
        std::vector<std::string> lines = wrapped(keys, columns);
        if (lines.size() <= max_lines || keys.size() <= 1) return lines;
        auto lowest = keys.begin();
        for (auto key = keys.begin(); key != keys.end(); ++key)
            if ((*key)->rank < (*lowest)->rank) lowest = key;
        keys.erase(lowest);
    }
}
