// Tiny JSON writer shared by the test-bed programs. Strings are written
// byte-exact: bytes outside printable ASCII become \u00XX, so a reader that
// maps code points 0-255 back to bytes (Python: .encode("latin-1")) gets the
// original ANSI bytes, CR/LF and trailing blanks included.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace testbed {

inline std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

// Builds one JSON object field by field: Obj().Str("a", x).Num("b", 1).Done().
class Obj {
public:
    Obj& Str(std::string_view key, std::string_view value) { return Raw(key, JsonString(value)); }
    Obj& Num(std::string_view key, long long value) { return Raw(key, std::to_string(value)); }
    Obj& Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
    Obj& Raw(std::string_view key, std::string_view json) {
        text_ += first_ ? "" : ",";
        first_ = false;
        text_ += JsonString(key);
        text_ += ':';
        text_ += json;
        return *this;
    }
    std::string Done() const { return text_ + "}"; }

private:
    std::string text_ = "{";
    bool first_ = true;
};

} // namespace testbed
