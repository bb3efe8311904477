// Keys as the terminals type them: every escape sequence is one key, in the
// xterm, vt100/vt220, rxvt and Linux console forms, with their modifiers; a
// sequence that stops short is what was typed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/key_decoder.h"

namespace {

// Every key the bytes make, the last one completed by the timeout if it is
// still waiting for more.
std::vector<Key> decode(const std::string& bytes) {
    KeyDecoder decoder;
    std::vector<Key> keys;
    Key key;
    for (char byte : bytes)
        if (decoder.feed(static_cast<uint8_t>(byte), key)) keys.push_back(key);
    if (decoder.pending()) keys.push_back(decoder.expire());
    return keys;
}

Key named(KeyName name, uint8_t modifiers = 0) { return Key{name, 0, modifiers}; }
Key character(char c, uint8_t modifiers = 0) { return Key{KeyName::character, static_cast<uint8_t>(c), modifiers}; }

std::string shown(const std::string& bytes) {
    std::string out;
    for (char c : bytes) out += c == '\x1b' ? std::string("ESC ") : std::string(1, c) + " ";
    return out;
}

TEST(KeyDecoder, EverySequenceATerminalTypesIsOneKey) {
    constexpr uint8_t shift = key_shift, alt = key_alt, ctrl = key_ctrl;
    struct Case {
        const char* bytes;
        Key key;
    };
    const Case cases[] = {
        // Cursor keys: xterm's normal mode, then application mode and vt100 (SS3).
        {"\x1b[A", named(KeyName::up)},
        {"\x1b[B", named(KeyName::down)},
        {"\x1b[C", named(KeyName::right)},
        {"\x1b[D", named(KeyName::left)},
        {"\x1bOA", named(KeyName::up)},
        {"\x1bOB", named(KeyName::down)},
        {"\x1bOC", named(KeyName::right)},
        {"\x1bOD", named(KeyName::left)},
        // Home and End: xterm (CSI and SS3), vt220 and the Linux console, rxvt.
        {"\x1b[H", named(KeyName::home)},
        {"\x1b[F", named(KeyName::end)},
        {"\x1bOH", named(KeyName::home)},
        {"\x1bOF", named(KeyName::end)},
        {"\x1b[1~", named(KeyName::home)},
        {"\x1b[4~", named(KeyName::end)},
        {"\x1b[7~", named(KeyName::home)},
        {"\x1b[8~", named(KeyName::end)},
        // The editing keys.
        {"\x1b[2~", named(KeyName::insert)},
        {"\x1b[3~", named(KeyName::del)},
        {"\x1b[5~", named(KeyName::page_up)},
        {"\x1b[6~", named(KeyName::page_down)},
        // F1-F4: xterm and vt100 (SS3), rxvt, the Linux console (with its F5).
        {"\x1bOP", named(KeyName::f1)},
        {"\x1bOQ", named(KeyName::f2)},
        {"\x1bOR", named(KeyName::f3)},
        {"\x1bOS", named(KeyName::f4)},
        {"\x1b[11~", named(KeyName::f1)},
        {"\x1b[12~", named(KeyName::f2)},
        {"\x1b[13~", named(KeyName::f3)},
        {"\x1b[14~", named(KeyName::f4)},
        {"\x1b[[A", named(KeyName::f1)},
        {"\x1b[[B", named(KeyName::f2)},
        {"\x1b[[C", named(KeyName::f3)},
        {"\x1b[[D", named(KeyName::f4)},
        {"\x1b[[E", named(KeyName::f5)},
        // F5-F12, with the gaps at 16 and 22.
        {"\x1b[15~", named(KeyName::f5)},
        {"\x1b[17~", named(KeyName::f6)},
        {"\x1b[18~", named(KeyName::f7)},
        {"\x1b[19~", named(KeyName::f8)},
        {"\x1b[20~", named(KeyName::f9)},
        {"\x1b[21~", named(KeyName::f10)},
        {"\x1b[23~", named(KeyName::f11)},
        {"\x1b[24~", named(KeyName::f12)},
        // xterm's modifiers (1 + the bits), in each form.
        {"\x1b[1;5A", named(KeyName::up, ctrl)},
        {"\x1b[1;2H", named(KeyName::home, shift)},
        {"\x1b[1;3F", named(KeyName::end, alt)},
        {"\x1b[5;3~", named(KeyName::page_up, alt)},
        {"\x1b[1;2P", named(KeyName::f1, shift)},
        {"\x1b[15;6~", named(KeyName::f5, ctrl | shift)},
        {"\x1b[24;8~", named(KeyName::f12, ctrl | alt | shift)},
        {"\x1bO5S", named(KeyName::f4, ctrl)},  // older xterms
        // rxvt's: lower-case arrows and other final bytes.
        {"\x1b[a", named(KeyName::up, shift)},
        {"\x1b[d", named(KeyName::left, shift)},
        {"\x1bOb", named(KeyName::down, ctrl)},
        {"\x1bOc", named(KeyName::right, ctrl)},
        {"\x1b[3$", named(KeyName::del, shift)},
        {"\x1b[5^", named(KeyName::page_up, ctrl)},
        {"\x1b[2@", named(KeyName::insert, ctrl | shift)},
        // Alt as an ESC before the key (xterm's metaSendsEscape, rxvt).
        {"\x1b\x1b[A", named(KeyName::up, alt)},
        {"\x1bq", character('q', alt)},
        {"\x1b" "1", character('1', alt)},
        // The keypad in application mode: its own characters.
        {"\x1bOk", character('+')},
        {"\x1bOm", character('-')},
        {"\x1bOq", character('1')},
        {"\x1bOM", character('\r')},
        // Whole sequences that are no key here.
        {"\x1b[99~", named(KeyName::unknown)},
        {"\x1b[Z", named(KeyName::unknown)},           // Shift-Tab
        {"\x1b[E", named(KeyName::unknown)},           // the keypad's 5
        {"\x1b[<0;12;7M", named(KeyName::unknown)},    // a mouse report
        {"\x1b[27;5;9~", named(KeyName::unknown)},     // modifyOtherKeys
        {"\x1b[1;2;3;4;5;6A", named(KeyName::unknown)},
        // Cut short by the timeout: what the user typed.
        {"\x1b", named(KeyName::escape)},
        {"\x1b\x1b", named(KeyName::escape, alt)},
        {"\x1b[", character('[', alt)},
        {"\x1bO", character('O', alt)},
        {"\x1b[1;5", named(KeyName::unknown)},
        // Plain bytes.
        {"q", character('q')},
        {" ", character(' ')},
        {"\x7f", character('\x7f')},
    };
    for (const Case& c : cases) {
        std::vector<Key> keys = decode(c.bytes);
        ASSERT_EQ(keys.size(), 1u) << shown(c.bytes);
        EXPECT_TRUE(keys[0] == c.key) << shown(c.bytes) << "gives name " << int(keys[0].name) << " character "
                                      << int(keys[0].character) << " modifiers " << int(keys[0].modifiers);
    }
}

TEST(KeyDecoder, KeysThatArriveTogetherStayApartAndACutSequenceLosesNothingAfterIt) {
    // Keys read in one go; then a sequence broken off by a control byte or a
    // new ESC: the broken one is dropped, the byte that broke it is a key.
    std::vector<Key> keys = decode("\x1b[A" "1" "\x1bOP" "]" "\x1b[2\x03" "\x1b[5\x1b[B" "q");
    std::vector<Key> expected = {named(KeyName::up),   character('1'), named(KeyName::f1), character(']'),
                                 character('\x03'),    named(KeyName::down), character('q')};
    ASSERT_EQ(keys.size(), expected.size());
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_TRUE(keys[i] == expected[i]) << "key " << i;

    // Three ESCs: Alt-Escape, then a lone Escape.
    keys = decode("\x1b\x1b\x1b");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0] == named(KeyName::escape, key_alt));
    EXPECT_TRUE(keys[1] == named(KeyName::escape));

    // A parameter beyond any key's size stays bounded.
    keys = decode("\x1b[" + std::string(100, '9') + "~");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys[0] == named(KeyName::unknown));
}

}  // namespace
