// HttpRequestSpec: the plain record that describes one HTTP request for
// HttpFetch. Its strings are borrowed: the caller keeps them alive for the
// whole call. For the proxy host and the four credentials, null and "" both
// mean "not given".
#pragma once

#include "port/internet.h"

// Receives the library's status notifications: the session's own handle,
// then the notification's context, status, information and its length.
using HttpStatusHook = void (*)(port::HINTERNET session, port::DWORD_PTR context,
                                port::DWORD status, void* information,
                                port::DWORD informationLength, void* hookData);
// Called once with the answer's content length (0 when it has none).
using HttpLengthHook = void (*)(port::DWORD length, void* hookData);
// Polled while the answer is read; non-zero cancels the request.
using HttpCancelHook = int (*)(void* hookData);

struct HttpRequestSpec {
    int verb = 1; // 0 POST, 1 GET, 2 HEAD, 3 PUT, 4 LINK, 5 DELETE, 6 UNLINK
    const char* server = nullptr;
    const char* object = nullptr;
    const char* referrer = nullptr;
    const char* version = nullptr; // null: "HTTP/1.0"
    const char* headers = "Accept: */*\r\n";
    const char* proxyHost = nullptr;
    const char* proxyBypass = nullptr;
    const char* proxyUser = nullptr;
    const char* proxyPassword = nullptr;
    const char* serverUser = nullptr;
    const char* serverPassword = nullptr;
    port::WORD serverPort = 80; // 0: the library's default port
    port::WORD proxyPort = 80;
    port::BOOL explicitAccess = port::FALSE; // TRUE: accessType as is, no proxy text
    port::DWORD accessType = 0;
    port::DWORD openFlags = port::INTERNET_FLAG_EXISTING_CONNECT;
    port::DWORD context = 1;
    port::DWORD connectRetries = 0;
    port::DWORD connectTimeout = 10000;
    port::DWORD sendTimeout = 10000;
    port::DWORD receiveTimeout = 10000;
    port::DWORD dataSendTimeout = 10000;
    port::DWORD dataReceiveTimeout = 10000;
    port::DWORD connectBackoff = 0;
    int authRetries = 3; // further credential dialogs after the first challenge
    // Each body (the answer's, or a challenge's read and dropped) must be
    // read within this many milliseconds from its first piece; past them
    // the request ends with ERROR_INTERNET_TIMEOUT. 0: no limit. A server
    // that trickles its answer could otherwise hold the request for ever,
    // since each byte in time keeps the library's own time-outs away.
    port::DWORD bodyTimeLimit = 0;
    // The whole request, from its first send to its body's last byte, ends
    // within this many milliseconds (ERROR_INTERNET_TIMEOUT), not counting
    // time spent in the credential dialog. 0: no limit but the time-outs.
    port::DWORD totalTimeLimit = 0;
    // TRUE: proxyUser and proxyPassword were typed at this request's proxy
    // challenge (407), and go back to whoever sent it. Otherwise they go as
    // Proxy-Authorization to the proxy named in proxyHost only.
    port::BOOL proxyLoginTyped = port::FALSE;
    HttpStatusHook statusHook = nullptr;
    HttpLengthHook lengthHook = nullptr;
    HttpCancelHook cancelHook = nullptr;
    void* hookData = nullptr;
};
