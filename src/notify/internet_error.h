// The exceptions that end an HTTP request: library failures (CException and
// its kinds, with a text of their own) and HTTP answers other than 200
// (CInternetStatusException). All are thrown by value and caught by
// reference.
#pragma once

#include "port/internet.h"

#include <string>

// A failure that carries its own error text.
class CException {
public:
    virtual ~CException() = default;
    // Writes the text into buffer, cut to maxChars - 1 characters and
    // NUL-terminated; FALSE when there is no text.
    virtual port::BOOL GetErrorMessage(char* buffer, port::UINT maxChars,
                                       port::UINT* helpContext = nullptr) const;
    virtual std::string GetErrorText() const = 0;
};

// A failed WinINet call: the library's error code and the context of the
// handle it was made on.
class CInternetException : public CException {
public:
    explicit CInternetException(port::DWORD error, port::DWORD_PTR context = 0)
        : m_dwError(error), m_dwContext(context) {}

    // WinINet's own message for the code (wininet.dll's message table, then
    // the system's for codes outside it); a text naming the code when neither
    // has one. Never empty.
    std::string GetErrorText() const override;

    port::DWORD m_dwError;
    port::DWORD_PTR m_dwContext;
};

// Throws CInternetException with the thread's last error.
[[noreturn]] void ThrowInternetException(port::DWORD_PTR context);

// A request this program refuses to start (for instance a proxy name too long
// for the proxy text), with the text that says why.
class CRequestException : public CException {
public:
    explicit CRequestException(std::string text) : m_text(std::move(text)) {}
    std::string GetErrorText() const override { return m_text; }

private:
    std::string m_text;
};

// An HTTP answer other than 200: its status, or 0 when the request was
// cancelled through the cancel hook (or no status could be read).
class CInternetStatusException {
public:
    explicit CInternetStatusException(port::DWORD status) : m_dwStatusCode(status) {}
    port::DWORD m_dwStatusCode;
};
