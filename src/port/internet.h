// The WinINet part of the operating-system port: the HTTP client calls of the
// server notification. Methods mirror the WinINet (ANSI) functions of the same
// names with portable types and Win32 values; failures set the thread's last
// error, which the logic reads through port::Sys().GetLastError().
// Implementations: `Win32Internet` (src/port/win32) and `FakeInternet`
// (src/port/fake, scripted HTTP exchanges for tests).
#pragma once

#include "port/port.h"

namespace port {

struct HINTERNET__;
using HINTERNET = HINTERNET__*;
using INTERNET_PORT = WORD;
using DWORD_PTR = std::uintptr_t;

// The status callback (called on the thread that made the WinINet call).
using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, DWORD_PTR context, DWORD status,
                                          void* information, DWORD informationLength);
// What InternetSetStatusCallback returns when it cannot install a callback.
inline INTERNET_STATUS_CALLBACK const INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(std::intptr_t{-1});

class Internet {
public:
    virtual ~Internet() = default;

    virtual HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                                    const char* proxyBypass, DWORD flags) = 0;
    virtual HINTERNET InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port,
                                       const char* user, const char* password, DWORD service,
                                       DWORD flags, DWORD_PTR context) = 0;
    virtual HINTERNET HttpOpenRequestA(HINTERNET connection, const char* verb, const char* object,
                                       const char* version, const char* referrer,
                                       const char** acceptTypes, DWORD flags,
                                       DWORD_PTR context) = 0;
    virtual BOOL HttpAddRequestHeadersA(HINTERNET request, const char* headers, DWORD length,
                                        DWORD modifiers) = 0;
    virtual BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                                  void* optional, DWORD optionalLength) = 0;
    virtual BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer,
                                DWORD* bufferLength, DWORD* index) = 0;
    virtual BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead,
                                  DWORD* bytesRead) = 0;
    // Waits until some of the answer's body has arrived (or its end) and
    // says how many bytes a read can take at once; 0 at the end.
    virtual BOOL InternetQueryDataAvailable(HINTERNET file, DWORD* bytesAvailable, DWORD flags,
                                            DWORD_PTR context) = 0;
    virtual BOOL InternetSetOptionA(HINTERNET handle, DWORD option, void* buffer, DWORD length) = 0;
    virtual BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, void* buffer,
                                      DWORD* length) = 0;
    virtual DWORD InternetErrorDlg(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                   void** data) = 0;
    virtual INTERNET_STATUS_CALLBACK
    InternetSetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback) = 0;
    virtual BOOL InternetCloseHandle(HINTERNET handle) = 0;
};

// The implementation the logic talks to; installed next to port::SetSys.
Internet& Net();
void SetNet(Internet* internet);

} // namespace port
