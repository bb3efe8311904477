#include "cli/key_decoder.h"

namespace {

constexpr uint8_t esc = 0x1B;
constexpr int parameter_max = 9999;

bool is_final(uint8_t byte) { return byte >= 0x40 && byte <= 0x7E; }

Key named(KeyName name, uint8_t modifiers = 0) { return Key{name, 0, modifiers}; }
Key character(uint8_t byte, uint8_t modifiers = 0) { return Key{KeyName::character, byte, modifiers}; }

// A modifier parameter as xterm sends it: 1 + the modifier bits; 0 or 1 is none.
uint8_t modifiers_from(int parameter) { return parameter >= 2 ? static_cast<uint8_t>((parameter - 1) & 0x0F) : 0; }

// The final letters that xterm and vt100 send after CSI or SS3 alike.
bool letter_key(uint8_t final_byte, KeyName& name) {
    switch (final_byte) {
        case 'A': name = KeyName::up; return true;
        case 'B': name = KeyName::down; return true;
        case 'C': name = KeyName::right; return true;
        case 'D': name = KeyName::left; return true;
        case 'H': name = KeyName::home; return true;
        case 'F': name = KeyName::end; return true;
        case 'P': name = KeyName::f1; return true;
        case 'Q': name = KeyName::f2; return true;
        case 'R': name = KeyName::f3; return true;
        case 'S': name = KeyName::f4; return true;
        default: return false;
    }
}

// rxvt's modified arrows: a lower-case letter, after CSI with Shift and
// after SS3 with Ctrl.
bool rxvt_arrow(uint8_t final_byte, KeyName& name) {
    if (final_byte < 'a' || final_byte > 'd') return false;
    static constexpr KeyName arrows[] = {KeyName::up, KeyName::down, KeyName::right, KeyName::left};
    name = arrows[final_byte - 'a'];
    return true;
}

// The vt220 numbers before ~ (rxvt ends them with $, ^ or @ instead to
// carry a modifier). 1 and 4 are Home and End on vt220 and the Linux
// console, 7 and 8 on rxvt; 11 to 15 are rxvt's F1 to F5.
KeyName numbered_key(int number) {
    switch (number) {
        case 1:
        case 7: return KeyName::home;
        case 2: return KeyName::insert;
        case 3: return KeyName::del;
        case 4:
        case 8: return KeyName::end;
        case 5: return KeyName::page_up;
        case 6: return KeyName::page_down;
        case 11: return KeyName::f1;
        case 12: return KeyName::f2;
        case 13: return KeyName::f3;
        case 14: return KeyName::f4;
        case 15: return KeyName::f5;
        case 17: return KeyName::f6;
        case 18: return KeyName::f7;
        case 19: return KeyName::f8;
        case 20: return KeyName::f9;
        case 21: return KeyName::f10;
        case 23: return KeyName::f11;
        case 24: return KeyName::f12;
        default: return KeyName::unknown;
    }
}

// SS3 keys of the numeric keypad in application mode: the keys' own characters.
uint8_t keypad_character(uint8_t final_byte) {
    if (final_byte >= 'p' && final_byte <= 'y') return static_cast<uint8_t>('0' + (final_byte - 'p'));
    switch (final_byte) {
        case 'j': return '*';
        case 'k': return '+';
        case 'l': return ',';
        case 'm': return '-';
        case 'n': return '.';
        case 'o': return '/';
        case 'M': return '\r';
        case 'X': return '=';
        default: return 0;
    }
}

}  // namespace

bool KeyDecoder::done(Key& key, Key value) {
    if (alt_) value.modifiers |= key_alt;
    if (value.name == KeyName::unknown) value.modifiers = 0;
    key = value;
    state_ = State::ground;
    alt_ = false;
    return true;
}

void KeyDecoder::add_digit(uint8_t digit) {
    if (parameter_count_ == 0) parameter_count_ = 1;
    if (parameter_count_ > max_parameters) return;
    int& parameter = parameters_[parameter_count_ - 1];
    parameter = parameter * 10 + (digit - '0');
    if (parameter > parameter_max) parameter = parameter_max;
}

bool KeyDecoder::feed(uint8_t byte, Key& key) {
    switch (state_) {
        case State::ground:
            if (byte != esc) return done(key, character(byte));
            state_ = State::escape;
            return false;

        case State::escape:
            if (byte == '[' || byte == 'O') {
                state_ = byte == '[' ? State::csi : State::ss3;
                private_ = false;
                parameter_count_ = 0;
                for (int& parameter : parameters_) parameter = 0;
                return false;
            }
            if (byte == esc) {
                // ESC ESC begins a sequence with Alt (rxvt, xterm's
                // metaSendsEscape); a third ESC ends it as Alt-Escape.
                if (!alt_) {
                    alt_ = true;
                    return false;
                }
                done(key, named(KeyName::escape));
                state_ = State::escape;
                return true;
            }
            return done(key, character(byte, key_alt));

        case State::csi:
        case State::ss3:
            if (state_ == State::csi && byte == '[' && parameter_count_ == 0 && !private_) {
                state_ = State::linux_function;
                return false;
            }
            if (byte >= '0' && byte <= '9') {
                add_digit(byte);
                return false;
            }
            if (byte == ';') {
                if (parameter_count_ <= max_parameters) parameter_count_ = parameter_count_ == 0 ? 2 : parameter_count_ + 1;
                return false;
            }
            if (byte == '$' && state_ == State::csi && !private_) return finish_csi(byte, key);
            if (byte >= 0x20 && byte <= 0x3F) {  // the rest of the parameter and intermediate bytes
                private_ = true;
                return false;
            }
            if (is_final(byte)) return state_ == State::csi ? finish_csi(byte, key) : finish_ss3(byte, key);
            break;

        case State::linux_function:
            if (byte >= 'A' && byte <= 'E')
                return done(key, named(static_cast<KeyName>(static_cast<int>(KeyName::f1) + (byte - 'A'))));
            if (is_final(byte)) return done(key, named(KeyName::unknown));
            break;
    }
    // A byte no sequence holds (a control character, another ESC) cuts the
    // sequence short: what came so far was no key, and the byte starts anew.
    state_ = State::ground;
    alt_ = false;
    return feed(byte, key);
}

bool KeyDecoder::finish_csi(uint8_t final_byte, Key& key) {
    // A key is at most its number and its modifier; more is something else
    // (xterm's modifyOtherKeys, a report the terminal was asked for).
    if (private_ || parameter_count_ > 2) return done(key, named(KeyName::unknown));
    int first = parameters_[0];
    uint8_t modifiers = modifiers_from(parameter_count_ >= 2 ? parameters_[1] : 0);
    KeyName name;
    if (letter_key(final_byte, name)) return done(key, named(name, modifiers));
    if (parameter_count_ == 0 && rxvt_arrow(final_byte, name)) return done(key, named(name, key_shift));
    switch (final_byte) {
        case '~': return done(key, named(numbered_key(first), modifiers));
        case '$': return done(key, named(numbered_key(first), key_shift));
        case '^': return done(key, named(numbered_key(first), key_ctrl));
        case '@': return done(key, named(numbered_key(first), key_ctrl | key_shift));
        default: return done(key, named(KeyName::unknown));
    }
}

bool KeyDecoder::finish_ss3(uint8_t final_byte, Key& key) {
    if (private_ || parameter_count_ > max_parameters) return done(key, named(KeyName::unknown));
    // Older xterms put the modifier alone between SS3 and the letter.
    uint8_t modifiers = modifiers_from(parameter_count_ > 0 ? parameters_[parameter_count_ - 1] : 0);
    KeyName name;
    if (letter_key(final_byte, name)) return done(key, named(name, modifiers));
    if (rxvt_arrow(final_byte, name)) return done(key, named(name, key_ctrl));
    if (uint8_t c = keypad_character(final_byte)) return done(key, character(c, modifiers));
    return done(key, named(KeyName::unknown));
}

Key KeyDecoder::expire() {
    Key key;
    bool nothing_after_introducer = parameter_count_ == 0 && !private_;
    switch (state_) {
        case State::ground: break;
        case State::escape: done(key, named(KeyName::escape)); break;
        // ESC [ or ESC O and nothing more: Alt with [ or O.
        case State::csi: done(key, nothing_after_introducer ? character('[', key_alt) : named(KeyName::unknown)); break;
        case State::ss3: done(key, nothing_after_introducer ? character('O', key_alt) : named(KeyName::unknown)); break;
        case State::linux_function: done(key, named(KeyName::unknown)); break;
    }
    return key;
}
