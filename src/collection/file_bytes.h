#pragma once
#include <cstddef>
#include <string>

// The collection's text files are parsed from memory; this is the one place
// that reads them, so that a build without a file system (a web page hands
// over the bytes itself) needs nothing else.

// Files larger than this are refused (EFBIG): the collection's largest text
// file is a few megabytes, and a wrongly chosen file must not fill memory.
constexpr size_t largest_collection_file = 64u << 20;

// Reads the whole file into bytes (replacing what it held). False when it
// cannot be opened or read, is a folder (EISDIR) or is larger than
// largest_collection_file;
// error_number then holds the system's error number (errno).
bool read_file_bytes(const char* path, std::string& bytes, int& error_number);

// True when the path names something that can be opened for reading.
bool file_is_readable(const char* path);
