// Base64 of the credential headers, held against a decoder of its own.
//
// Input: any bytes. One codec encodes them whole, then a prefix whose length
// the first byte chooses, then the whole again, then the bytes up to the
// first NUL as a text, so that each encoding reuses blocks the one before
// left behind.
//
// Checked for every encoding: 4 characters per started group of 3 bytes,
// NUL-terminated right behind them, only alphabet characters with "=" as
// padding at the end (two for one remaining byte, one for two, none for a
// whole group), the unused bits of the last character zero, and decoding
// gives the input back.
#include "fuzz_support.h"
#include "notify/base64.h"

#include <cstring>
#include <optional>

namespace {

int SixBits(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Strict decoding: whole groups of four, padding only in the last one, no
// bits set that the padding leaves over. Nothing when any rule is broken.
std::optional<std::vector<std::uint8_t>> Decode(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g < text.size(); g += 4) {
        std::string_view group = text.substr(g, 4);
        bool last = g + 4 == text.size();
        std::size_t padding = group[3] != '=' ? 0 : group[2] != '=' ? 1 : 2;
        if (padding > 0 && !last)
            return std::nullopt;
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            int v = k < 4 - padding ? SixBits(group[k]) : 0;
            if (v < 0)
                return std::nullopt;
            bits = bits << 6 | static_cast<std::uint32_t>(v);
        }
        if ((padding == 1 && (bits & 0xFF)) || (padding == 2 && (bits & 0xFFFF)))
            return std::nullopt;
        for (std::size_t k = 0; k < 3 - padding; ++k)
            out.push_back(static_cast<std::uint8_t>(bits >> (16 - 8 * k)));
    }
    return out;
}

void EncodeAndCheck(CBase64Codec& codec, const std::uint8_t* bytes, std::size_t n, bool asText) {
    if (asText)
        codec.EncodeString(reinterpret_cast<const char*>(bytes));
    else
        codec.Encode(bytes, static_cast<port::DWORD>(n));
    std::string_view text = codec.GetEncoded();
    FUZZ_CHECK(text.size() == (n + 2) / 3 * 4);
    std::size_t padding = (3 - n % 3) % 3;
    FUZZ_CHECK(text.find('=') == (padding ? text.size() - padding : std::string_view::npos));
    auto decoded = Decode(text);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(decoded->size() == n);
    FUZZ_CHECK(n == 0 || std::memcmp(decoded->data(), bytes, n) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBase64Codec codec;
    EncodeAndCheck(codec, data, size, false);
    std::size_t prefix = size > 0 ? data[0] % (size + 1) : 0;
    EncodeAndCheck(codec, data, prefix, false);
    EncodeAndCheck(codec, data, size, false);

    std::string text(AsText(data, size));
    text.resize(std::strlen(text.c_str()));
    EncodeAndCheck(codec, reinterpret_cast<const std::uint8_t*>(text.c_str()), text.size(), true);
    return 0;
}
