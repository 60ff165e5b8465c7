// What every fuzz target shares: a fresh in-memory Windows installed as the
// port for one input, a check that stops the run with the failed condition,
// and a reader that takes a fuzz input apart.
#pragma once

#include "port/fake/fake_os.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// libFuzzer reports an abort as a crash and keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The fake installed for one input and removed at its end: no state passes
// from one input to the next, and what an input leaks shows up in
// LeakSanitizer's report.
template <class Os = port::FakeOs> class FreshFake {
public:
    FreshFake() { port::SetSys(&os); }
    ~FreshFake() {
        FUZZ_CHECK(os.OpenHandleCount() == 0);
        port::SetSys(nullptr);
    }
    FreshFake(const FreshFake&) = delete;
    FreshFake& operator=(const FreshFake&) = delete;

    Os os;
};

// The parts of text between separators (one part for a text without any).
inline std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (;;) {
        std::size_t end = text.find(separator);
        parts.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
}

// Lines of a text input ("\n" ends a line; a "\r" before it goes too).
inline std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines = Split(text, '\n');
    if (lines.back().empty())
        lines.pop_back();
    for (auto& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

// A decimal number at the start of text, at most `limit`; 0 when none.
inline std::uint32_t LeadingNumber(std::string_view text, std::uint32_t limit) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit)
            return limit;
    }
    return static_cast<std::uint32_t>(value);
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
