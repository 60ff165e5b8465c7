#include "common/text.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        out.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

bool IsLeadByte(unsigned char c) {
    return port::Sys().IsDBCSLeadByte(c) != 0;
}

int MbsICmp(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[j]);
        bool la = IsLeadByte(ca) && i + 1 < a.size();
        bool lb = IsLeadByte(cb) && j + 1 < b.size();
        if (la || lb) {
            unsigned va = la ? (ca << 8) | static_cast<unsigned char>(a[i + 1]) : ca;
            unsigned vb = lb ? (cb << 8) | static_cast<unsigned char>(b[j + 1]) : cb;
            if (va != vb)
                return va < vb ? -1 : 1;
        } else {
            int fa = std::tolower(ca), fb = std::tolower(cb);
            if (fa != fb)
                return fa < fb ? -1 : 1;
        }
        i += la ? 2 : 1;
        j += lb ? 2 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

PathParts SplitPath(const std::string& path) {
    PathParts parts;
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':' && !IsLeadByte(static_cast<unsigned char>(path[0]))) {
        parts.drive = path.substr(0, 2);
        start = 2;
    }
    // Last separator and last dot, stepping over double-byte characters.
    std::size_t lastSep = std::string::npos, lastDot = std::string::npos;
    for (std::size_t i = start; i < path.size(); ++i) {
        auto c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') {
            lastSep = i;
            lastDot = std::string::npos;
        } else if (c == '.') {
            lastDot = i;
        }
    }
    std::size_t nameStart = start;
    if (lastSep != std::string::npos) {
        parts.dir = path.substr(start, lastSep + 1 - start);
        nameStart = lastSep + 1;
    }
    if (lastDot != std::string::npos) {
        parts.fname = path.substr(nameStart, lastDot - nameStart);
        parts.ext = path.substr(lastDot);
    } else {
        parts.fname = path.substr(nameStart);
    }
    return parts;
}

std::string LoadResString(port::UINT id) {
    // Resource strings are short; a second, larger try covers any that is not.
    for (int size : {1024, 65536}) {
        std::vector<char> buffer(static_cast<std::size_t>(size));
        int n = port::Sys().LoadStringA(id, buffer.data(), size);
        if (n < size - 1)
            return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return {};
}
