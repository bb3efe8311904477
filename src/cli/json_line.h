#pragma once
// One JSON value written as text, for output read by other programs (JSON
// Lines: one object a line). Values go in the order they are added; the
// caller opens and closes objects and arrays in pairs, and inside an object
// names each value with key() first.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonLine {
public:
    JsonLine& begin_object();
    JsonLine& end_object();
    JsonLine& begin_array();
    JsonLine& end_array();
    JsonLine& key(std::string_view name);
    // UTF-8 text. A byte that is no part of a well-formed UTF-8 character
    // (a file name of another encoding) becomes U+FFFD, so the output is
    // always valid JSON, whose text is Unicode.
    JsonLine& string(std::string_view utf8);
    JsonLine& number(int64_t value);
    // value rounded to places decimals, without trailing zeros: 50.125, 60.
    JsonLine& decimal(double value, int places);
    JsonLine& null();

    const std::string& text() const { return text_; }

private:
    void before_value();
    std::string text_;
    std::vector<bool> first_;  // per open object or array: nothing in it yet
    bool after_key_ = false;
};

// value rounded to places decimals, without trailing zeros or a trailing
// point; a value that is no finite number gives 0.
std::string decimal_text(double value, int places);

// utf8 as a JSON string literal, quotes included.
std::string json_string(std::string_view utf8);
