// The real WinINet port: each method calls the WinINet function of the same
// name. Windows only.
#pragma once

#include "port/internet.h"

namespace port {

class Win32Internet final : public Internet {
public:
    HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                            const char* proxyBypass, DWORD flags) override;
    HINTERNET InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port,
                               const char* user, const char* password, DWORD service, DWORD flags,
                               DWORD_PTR context) override;
    HINTERNET HttpOpenRequestA(HINTERNET connection, const char* verb, const char* object,
                               const char* version, const char* referrer, const char** acceptTypes,
                               DWORD flags, DWORD_PTR context) override;
    BOOL HttpAddRequestHeadersA(HINTERNET request, const char* headers, DWORD length,
                                DWORD modifiers) override;
    BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                          void* optional, DWORD optionalLength) override;
    BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                        DWORD* index) override;
    BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead,
                          DWORD* bytesRead) override;
    BOOL InternetQueryDataAvailable(HINTERNET file, DWORD* bytesAvailable, DWORD flags,
                                    DWORD_PTR context) override;
    BOOL InternetSetOptionA(HINTERNET handle, DWORD option, void* buffer, DWORD length) override;
    BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, void* buffer, DWORD* length) override;
    DWORD InternetErrorDlg(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                           void** data) override;
    // The portable callback is reached through one stdcall thunk: the process
    // installs one callback function at a time (the logic has only one).
    INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                       INTERNET_STATUS_CALLBACK callback) override;
    BOOL InternetCloseHandle(HINTERNET handle) override;
};

} // namespace port
