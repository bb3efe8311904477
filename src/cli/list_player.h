#pragma once
// play's way through a play list: which file and song come next, each
// file's lengths and STIL entry, and the controller's commands that move
// there. Songs end in the controller (at their length, as tune time); the
// front end takes the end and calls advance(). A file that cannot be loaded
// is reported and passed over in the direction of travel.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/tune_collection.h"

struct ListSettings {
    bool all_songs = false;  // every song of each file, else its start song
    bool loop = false;       // past the last song, the first again
    int32_t default_length_ms = default_song_length_ms;  // for unknown lengths in a list of more than one song
    int first_song = 0;      // of the first file; 0: its start song (song 1 with all_songs)
    CollectionOptions collection;
};

class ListPlayer {
public:
    // Installs the controller's song length lookup for as long as it lives:
    // one at a time.
    ListPlayer(std::vector<std::string> files, ListSettings settings, std::FILE* err);
    ~ListPlayer();
    ListPlayer(const ListPlayer&) = delete;
    ListPlayer& operator=(const ListPlayer&) = delete;

    // Loads the first file that loads and selects its first song, without
    // playing. False when no file loads (each failure reported).
    bool open();

    // Where load failures are reported from now on.
    void report_to(std::FILE* err) { err_ = err; }

    // After the controller's song end: the next song plays, or false past
    // the end of the list (without --loop), with playback left stopped.
    bool advance() { return move_by_song(+1, false); }
    // The next or previous song of the list (arrow keys), into the next or
    // previous file past the ends; the next or previous file (N, P). The
    // new song plays. False when there is none (playback stays as it is, or,
    // when only files that fail to load lay that way, the song that played
    // starts again).
    bool step_song(int direction) { return move_by_song(direction, true); }
    bool step_file(int direction);

    // The current file could not be played (its init or play routine did
    // not return); files that do not load are noted by the list itself.
    void note_unplayable() { unplayable_[file_] = true; }
    // The files noted so far, each once however often it was tried.
    int unplayable_count() const;

    int file_index() const { return file_; }  // 0-based
    int file_count() const { return static_cast<int>(files_.size()); }
    const std::string& file() const { return files_[file_]; }
    const TuneRecord& record() const { return record_; }
    // More than one song to go through: unknown lengths take the default.
    bool many_songs() const;
    // A song of the current file as it plays: its length, else the default
    // in a list of many songs, else unknown_length_ms.
    int32_t length_ms(int song) const;

private:
    enum : int { first_song = 0, last_song = -1 };
    // Loads file (skipping those that fail, in direction) and plays or
    // selects song (first_song, last_song or a number). restore: when none
    // loads, the file and song that played start again.
    bool go_to(int file, int song, int direction, bool play, bool restore);
    bool move_by_song(int direction, bool restore);
    int wrapped(int file) const;

    std::vector<std::string> files_;
    ListSettings settings_;
    std::FILE* err_;
    int file_ = 0;
    TuneRecord record_;
    std::vector<bool> unplayable_;
};
