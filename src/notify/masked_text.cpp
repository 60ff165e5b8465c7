#include "notify/masked_text.h"

#include "common/text.h"

#include <string>

namespace {

constexpr const char* kMask = "****";
// A header as it is written ("Proxy-Authorization:" ends the same way),
// where a header may begin: never a word of a sentence.
constexpr const char* kHeaderName = "Authorization:";

// The bytes from at that make one character: two for a double-byte one.
std::size_t CharacterSize(const std::string& text, std::size_t at) {
    return IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// Where a URL's host part ends: at its path, query or fragment, a blank or
// a control character, a quote, or a byte outside ASCII.
bool EndsHostPart(unsigned char c) {
    return c == '/' || c == '?' || c == '#' || c == '"' || c == '\'' || c == '<' || c == '>' ||
           c <= ' ' || c >= 0x7F;
}

bool HeaderNameAt(const std::string& text, std::size_t at) {
    char const before = at == 0 ? '\n' : text[at - 1];
    return (before == '\n' || before == '\r' || before == ' ' || before == '-') &&
           text.compare(at, std::char_traits<char>::length(kHeaderName), kHeaderName) == 0;
}

} // namespace

std::string HostWithoutLogin(const std::string& host) {
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i < host.size(); i += CharacterSize(host, i))
        if (host[i] == '@')
            at = i;
    return at == std::string::npos ? host : kMask + host.substr(at);
}

std::string WithoutCredentials(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 3, "://") == 0) {
            out += "://";
            i += 3;
            std::size_t end = i, at = std::string::npos;
            for (; end < text.size() && !EndsHostPart(static_cast<unsigned char>(text[end])); ++end)
                if (text[end] == '@')
                    at = end;
            if (at != std::string::npos) {
                out += kMask;
                i = at;
            }
            out.append(text, i, end - i);
            i = end;
        } else if (HeaderNameAt(text, i)) {
            std::size_t const length = std::char_traits<char>::length(kHeaderName);
            out.append(text, i, length);
            i += length;
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                out += text[i++];
            std::size_t const end = text.find_first_of("\r\n", i);
            i = end == std::string::npos ? text.size() : end;
            out += kMask;
        } else {
            std::size_t const n = CharacterSize(text, i);
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}
