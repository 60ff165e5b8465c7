// Narrow-text helpers on the ANSI code page: printf-style formatting,
// double-byte aware comparison and path splitting, string resources.
#pragma once

#include "port/port.h"

#include <string>

// printf-style formatting into a string of any length.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Whether c is the first byte of a double-byte character on the current
// ANSI code page.
bool IsLeadByte(unsigned char c);

// Case-insensitive comparison that keeps double-byte characters whole
// (single-byte letters compare without case, double-byte ones exactly).
int MbsICmp(const std::string& a, const std::string& b);

// The parts of a path: drive ("C:"), folder (with its final backslash), file
// name and extension (with its dot), split as the runtime's _splitpath does.
struct PathParts {
    std::string drive;
    std::string dir;
    std::string fname;
    std::string ext;
};
PathParts SplitPath(const std::string& path);

// String resource `id` of the program; empty when there is none.
std::string LoadResString(port::UINT id);
