// The DOMAIN field of the notification, on code pages 1252 and 932.
//
// Input: the first byte chooses the code page (even: 1252, odd: 932); the
// rest is the workgroup or domain name.
//
// Checked: the field holds only letters, digits and '%', and every '%' that
// does not stand for itself starts a lower-case %xx escape; read back, escape
// by escape, it gives the UTF-8 of the processed name: single-byte letters
// lower-cased, the first character upper-cased unless it is double-byte,
// double-byte characters untouched, converted from the ANSI code page as the
// system converts it. An empty name gives an empty field.
#include "fuzz_support.h"
#include "notify/notification.h"

namespace {

bool IsLead932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Processed(const std::string& name, bool dbcs) {
    std::string text = name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (dbcs && IsLead932(c) && i + 1 < text.size())
            ++i; // the trail byte stays as it is, even when it looks like a letter
        else if (c >= 'A' && c <= 'Z')
            text[i] = static_cast<char>(c + 32);
    }
    auto first = static_cast<unsigned char>(text[0]);
    if (!(dbcs && IsLead932(first)) && first >= 'a' && first <= 'z')
        text[0] = static_cast<char>(first - 32);
    return text;
}

std::string Utf8(const std::vector<port::WCHAR>& units) {
    std::string out;
    for (unsigned u : units) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | u >> 6);
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | u >> 12);
            out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool IsAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper-case digits are not what the field uses
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    FreshFake<> fake;
    const bool dbcs = data[0] % 2 == 1;
    fake.os.codePage = dbcs ? 932 : 1252;
    const std::string name(AsText(data + 1, size - 1));

    const std::string field = EncodeDomainField(name);
    if (name.empty()) {
        FUZZ_CHECK(field.empty());
        return 0;
    }
    for (char c : field)
        FUZZ_CHECK(IsAlnum(static_cast<unsigned char>(c)) || c == '%');

    const std::string processed = Processed(name, dbcs);
    std::vector<port::WCHAR> units(processed.size());
    int n = fake.os.MultiByteToWideChar(port::CP_ACP, 0, processed.data(),
                                        static_cast<int>(processed.size()), units.data(),
                                        static_cast<int>(units.size()));
    FUZZ_CHECK(n > 0);
    units.resize(static_cast<std::size_t>(n));
    const std::string expected = Utf8(units);

    // Escape by escape: a '%' of the name stands for itself, every other byte
    // that is no letter or digit comes as %xx.
    std::size_t at = 0;
    for (char want : expected) {
        auto byte = static_cast<unsigned char>(want);
        FUZZ_CHECK(at < field.size());
        if (IsAlnum(byte) || byte == '%') {
            FUZZ_CHECK(field[at] == want);
            ++at;
            continue;
        }
        FUZZ_CHECK(at + 2 < field.size() && field[at] == '%');
        int high = HexDigit(field[at + 1]), low = HexDigit(field[at + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        FUZZ_CHECK(high * 16 + low == byte);
        at += 3;
    }
    FUZZ_CHECK(at == field.size());
    return 0;
}
