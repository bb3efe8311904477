#pragma once
// The bytes a terminal sends for one key press, as that one key. Cursor and
// editing keys and F1-F12 arrive as escape sequences: CSI (ESC [) or SS3
// (ESC O), in the forms of xterm, vt100/vt220, rxvt and the Linux console,
// with xterm's or rxvt's modifiers. Taken a byte at a time, Up (ESC [ A)
// would be Escape, [ and A: three keys the player would act on.
//
// A terminal writes a sequence at once, so a sequence that stops short (no
// byte for escape_wait_ms) is what the user typed: ESC alone is the Escape
// key, ESC and a character is that character with Alt.
#include <cstdint>

// How long a begun sequence waits for its next byte.
constexpr int escape_wait_ms = 50;

enum class KeyName : uint8_t {
    character,  // one byte of its own: a letter, a digit, space, a control character
    escape,
    up,
    down,
    right,
    left,
    home,
    end,
    page_up,
    page_down,
    insert,
    del,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    unknown,  // a whole sequence that is none of the keys above
};

// xterm's modifier bits (its modifier parameter is 1 + these).
enum KeyModifier : uint8_t {
    key_shift = 1,
    key_alt = 2,
    key_ctrl = 4,
    key_meta = 8,
};

struct Key {
    KeyName name = KeyName::unknown;
    uint8_t character = 0;  // the byte, for KeyName::character
    uint8_t modifiers = 0;  // KeyModifier bits

    bool operator==(const Key& other) const {
        return name == other.name && character == other.character && modifiers == other.modifiers;
    }
};

class KeyDecoder {
public:
    // Takes the next byte; true when it ends a key, which is then in key.
    bool feed(uint8_t byte, Key& key);

    // True while a sequence has begun and not ended: its next byte is
    // waited for at most escape_wait_ms before expire is called.
    bool pending() const { return state_ != State::ground; }

    // The sequence's next byte did not come: what has begun, as a key.
    Key expire();

private:
    enum class State : uint8_t { ground, escape, csi, ss3, linux_function };

    bool finish_csi(uint8_t final_byte, Key& key);
    bool finish_ss3(uint8_t final_byte, Key& key);
    bool done(Key& key, Key value);
    void add_digit(uint8_t digit);

    static constexpr int max_parameters = 4;

    State state_ = State::ground;
    bool alt_ = false;            // an ESC before the sequence (rxvt's and xterm's Meta)
    bool private_ = false;        // a parameter byte or intermediate no key sends
    int parameters_[max_parameters] = {};
    int parameter_count_ = 0;     // parameters begun
};
