// FakeOs: what the server notification needs besides WinINet — the desktop
// window, ANSI to UTF-16 conversion and module message tables.
#include "port/fake/fake_os.h"

#include <cstring>
#include <vector>

namespace port {

namespace {

// Code page 1252 differs from Latin-1 only in 0x80-0x9F; its five unassigned
// bytes there map to the control characters of the same value.
constexpr WCHAR kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The double-byte characters of code page 932 that tests use. 0x8341 and
// 0x8361 differ only in an ASCII-letter trail byte ('A' and 'a').
struct DoubleByte {
    unsigned short bytes;
    WCHAR unit;
};
constexpr DoubleByte kCp932[] = {
    {0x82A0, 0x3042}, {0x82A2, 0x3044}, {0x8341, 0x30A2}, {0x8361, 0x30C2}, {0x8260, 0xFF21},
    {0x8281, 0xFF41}, {0x93FA, 0x65E5}, {0x967B, 0x672C}, {0x8CEA, 0x8A9E}, {0x955C, 0x8868}};
constexpr WCHAR kCp932Default = 0x30FB;

bool IsLead932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::vector<WCHAR> Convert(UINT codePage, const unsigned char* p, std::size_t n) {
    std::vector<WCHAR> out;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c);
        } else if (codePage == 932) {
            if (c >= 0xA1 && c <= 0xDF) {
                out.push_back(static_cast<WCHAR>(0xFF61 + (c - 0xA1))); // half-width katakana
            } else if (IsLead932(c) && i + 1 < n) {
                auto pair = static_cast<unsigned short>((c << 8) | p[++i]);
                WCHAR unit = kCp932Default;
                for (const auto& d : kCp932)
                    if (d.bytes == pair)
                        unit = d.unit;
                out.push_back(unit);
            } else {
                out.push_back(kCp932Default);
            }
        } else if (c < 0xA0) {
            out.push_back(kCp1252High[c - 0x80]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

constexpr std::uintptr_t kFirstModule = 0x7200000;

} // namespace

HWND FakeOs::GetDesktopWindow() {
    return desktopWindow;
}

int FakeOs::MultiByteToWideChar(UINT codePage, DWORD, const char* text, int byteCount, WCHAR* wide,
                                int wideSize) {
    if (!text || byteCount == 0 || byteCount < -1 || wideSize < 0) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    UINT cp = codePage == CP_ACP ? this->codePage : codePage;
    std::size_t n = byteCount == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(byteCount);
    auto units = Convert(cp, reinterpret_cast<const unsigned char*>(text), n);
    if (wideSize == 0)
        return static_cast<int>(units.size());
    if (static_cast<std::size_t>(wideSize) < units.size()) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(wide, units.data(), units.size() * sizeof(WCHAR));
    return static_cast<int>(units.size());
}

HMODULE FakeOs::GetModuleHandleA(const char* name) {
    std::uintptr_t handle = kFirstModule;
    for (const auto& entry : moduleMessages) {
        if (name && !CaseLess{}(entry.first, name) && !CaseLess{}(name, entry.first))
            return reinterpret_cast<HMODULE>(handle);
        handle += 0x10000;
    }
    m_lastError = 126; // ERROR_MOD_NOT_FOUND
    return nullptr;
}

const std::map<DWORD, std::string>* FakeOs::ModuleMessages(const void* module) const {
    std::uintptr_t handle = kFirstModule;
    for (const auto& entry : moduleMessages) {
        if (reinterpret_cast<std::uintptr_t>(module) == handle)
            return &entry.second;
        handle += 0x10000;
    }
    return nullptr;
}

} // namespace port
