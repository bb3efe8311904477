#pragma once
// A tune's texts are Latin-1 (ISO 8859-1), as the C64 scene's tools wrote
// them on PCs: one byte a character, 0xA0..0xFF the accented letters. A
// terminal, JSON and the file system speak UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

// Every byte as the code point of the same number, in UTF-8.
std::string latin1_to_utf8(std::string_view latin1);

// The same for a terminal: the C0 and C1 control characters (0x00..0x1F,
// 0x7F..0x9F) become \xNN, and so do backslash and, when quoted, the double
// quote, so that a text can neither move the cursor nor end its quotes.
std::string latin1_to_terminal_text(std::string_view latin1, bool quoted = false);

// The first columns characters of UTF-8 text, each a column wide (Latin-1's
// all are), never cutting one in two.
std::string_view utf8_prefix(std::string_view utf8, size_t columns);

// How many characters UTF-8 text holds (bytes that begin one).
size_t utf8_length(std::string_view utf8);
