// Win32Internet: the WinINet port over the real library. Every method is a
// direct call of the function it is named after; only types are converted.
#include "port/win32/win32_internet.h"
#include "port/win32/win32_as.h"

namespace {
// Taken before <wininet.h> makes the same name a macro.
const port::INTERNET_STATUS_CALLBACK kPortInvalidCallback = port::INTERNET_INVALID_STATUS_CALLBACK;
} // namespace

#include <windows.h>
#include <wininet.h>

#include <atomic>

namespace port {

namespace {

// The portable callback behind the thunk that WinINet calls.
std::atomic<INTERNET_STATUS_CALLBACK> g_callback{nullptr};

void CALLBACK StatusThunk(::HINTERNET handle, ::DWORD_PTR context, ::DWORD status,
                          LPVOID information, ::DWORD informationLength) {
    if (INTERNET_STATUS_CALLBACK callback = g_callback.load())
        callback(As<HINTERNET>(handle), context, status, information, informationLength);
}

} // namespace

HINTERNET Win32Internet::InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                                       const char* proxyBypass, DWORD flags) {
    return As<HINTERNET>(::InternetOpenA(agent, accessType, proxy, proxyBypass, flags));
}

HINTERNET Win32Internet::InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port,
                                          const char* user, const char* password, DWORD service,
                                          DWORD flags, DWORD_PTR context) {
    return As<HINTERNET>(::InternetConnectA(As<::HINTERNET>(session), server, port, user, password,
                                            service, flags, context));
}

HINTERNET Win32Internet::HttpOpenRequestA(HINTERNET connection, const char* verb,
                                          const char* object, const char* version,
                                          const char* referrer, const char** acceptTypes,
                                          DWORD flags, DWORD_PTR context) {
    return As<HINTERNET>(::HttpOpenRequestA(As<::HINTERNET>(connection), verb, object, version,
                                            referrer, acceptTypes, flags, context));
}

BOOL Win32Internet::HttpAddRequestHeadersA(HINTERNET request, const char* headers, DWORD length,
                                           DWORD modifiers) {
    return ::HttpAddRequestHeadersA(As<::HINTERNET>(request), headers, length, modifiers);
}

BOOL Win32Internet::HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                                     void* optional, DWORD optionalLength) {
    return ::HttpSendRequestA(As<::HINTERNET>(request), headers, headersLength, optional,
                              optionalLength);
}

BOOL Win32Internet::HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer,
                                   DWORD* bufferLength, DWORD* index) {
    return ::HttpQueryInfoA(As<::HINTERNET>(request), infoLevel, buffer, As<LPDWORD>(bufferLength),
                            As<LPDWORD>(index));
}

BOOL Win32Internet::InternetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead,
                                     DWORD* bytesRead) {
    return ::InternetReadFile(As<::HINTERNET>(file), buffer, bytesToRead, As<LPDWORD>(bytesRead));
}

BOOL Win32Internet::InternetQueryDataAvailable(HINTERNET file, DWORD* bytesAvailable, DWORD flags,
                                               DWORD_PTR context) {
    return ::InternetQueryDataAvailable(As<::HINTERNET>(file), As<LPDWORD>(bytesAvailable), flags,
                                        context);
}

BOOL Win32Internet::InternetSetOptionA(HINTERNET handle, DWORD option, void* buffer, DWORD length) {
    return ::InternetSetOptionA(As<::HINTERNET>(handle), option, buffer, length);
}

BOOL Win32Internet::InternetQueryOptionA(HINTERNET handle, DWORD option, void* buffer,
                                         DWORD* length) {
    return ::InternetQueryOptionA(As<::HINTERNET>(handle), option, buffer, As<LPDWORD>(length));
}

DWORD Win32Internet::InternetErrorDlg(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                      void** data) {
    return ::InternetErrorDlg(As<::HWND>(owner), As<::HINTERNET>(request), error, flags, data);
}

INTERNET_STATUS_CALLBACK
Win32Internet::InternetSetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback) {
    INTERNET_STATUS_CALLBACK previous = g_callback.load();
    if (callback)
        g_callback.store(callback);
    ::INTERNET_STATUS_CALLBACK installed =
        ::InternetSetStatusCallback(As<::HINTERNET>(handle), callback ? StatusThunk : nullptr);
    // (<wininet.h>'s INTERNET_INVALID_STATUS_CALLBACK, spelt out: inside this
    // namespace its type name would be the port's.)
    if (installed == reinterpret_cast<::INTERNET_STATUS_CALLBACK>(static_cast<INT_PTR>(-1)))
        return kPortInvalidCallback;
    // A callback installed by anyone else cannot be told in portable terms.
    return installed == StatusThunk ? previous : nullptr;
}

BOOL Win32Internet::InternetCloseHandle(HINTERNET handle) {
    return ::InternetCloseHandle(As<::HINTERNET>(handle));
}

} // namespace port
