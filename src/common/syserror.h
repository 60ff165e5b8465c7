// CSystemError: a failed operating-system call, thrown by value.
#pragma once

#include "port/port.h"

#include <string>

class CSystemError {
public:
    CSystemError(port::DWORD code, std::string file = {}, int line = 0)
        : m_code(code), m_file(std::move(file)), m_line(line) {}

    port::DWORD Code() const { return m_code; }

    // The system's text for the code, allocated by the system (release it
    // with LocalFree), or NULL when there is none.
    char* FormatSystemText() const;

    // "(code) text", or "(code) text, file|line" when a file is known; empty
    // when the system has no text for the code.
    std::string GetErrorText() const;

private:
    port::DWORD m_code;
    std::string m_file;
    int m_line;
};

// The system's line for an error, without the line break that ends it;
// "error N" where the system has no text for it (never an empty text).
std::string ErrorLine(port::DWORD code);

// Throws CSystemError with the thread's last error (no file, line 0).
[[noreturn]] void ThrowLastError();

// Words for the exception being handled (call inside a catch block): the
// system's line for a CSystemError, the text of a standard exception, and
// never an empty text.
std::string DescribeCurrentException();
