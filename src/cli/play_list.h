#pragma once
// The tunes that commands given files, folders and lists work through, in
// the order given: a folder stands for its .sid files at any depth, sorted by
// path; an .m3u list for its lines, each a tune, a folder or another list,
// relative to the list's own folder ('#' lines and blank lines skipped).
// An entry that is not there is reported on err and left out, so one moved
// file does not end a whole evening's list.
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

// Every input expanded as above. Missing or unreadable folders, lists and
// list entries go to err as "zarvel-cli: WHERE: why", WHERE the path given or
// "LIST line N"; a tune named directly is kept for its load to judge.
std::vector<std::string> build_play_list(const std::vector<std::string>& inputs, std::FILE* err);

// The .sid files (any letter case) below folder, sorted by path. Folders that
// cannot be read are reported on err and passed over.
std::vector<std::string> sid_files_below(const std::string& folder, std::FILE* err);

// True for a name ending in .m3u or .m3u8 (any letter case).
bool is_play_list_file(const std::string& path);

// Why a path that fs::status could not find is not there, in the program's words.
std::string why_missing(const std::error_code& error);
