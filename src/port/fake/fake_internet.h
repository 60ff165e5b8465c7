// An in-memory WinINet for tests: a scripted server answers each sent
// request, a scripted credential dialog answers challenges, every call is
// recorded (name and arguments, in order) and open handles are counted. The
// thread's last error is the FakeOs's. It follows the WinINet behaviour the
// logic relies on; the contract tests run the same checks against it and
// against the real library under Wine.
#pragma once

#include "port/fake/fake_os.h"
#include "port/internet.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace port {

// The server's (or proxy's) answer to one send of a request. A 301, 302,
// 303, 307 or 308 with a "Location" is followed to the place it names, as
// WinINet does, unless the request was opened with
// INTERNET_FLAG_NO_AUTO_REDIRECT. A body shorter than its "Content-Length"
// ends where it ends, without an error (a connection closed early).
struct FakeHttpAnswer {
    DWORD status = HTTP_STATUS_OK; // 0: the answer has no readable status
    std::vector<std::pair<std::string, std::string>> headers; // e.g. {"Content-Length", "5"}
    std::string body;
    // More body after `body`: this many bytes ('g') made up as they are
    // read, never held (an answer of any size).
    std::uint64_t generatedBytes = 0;
    // How the body arrives: arrivalBytes at a time (0: all with the
    // headers), each part arrivalDelayMs of virtual time after the one
    // before. A read waits until it can be filled or the body has ended, as
    // WinINet's does; InternetQueryDataAvailable waits only for the next part.
    DWORD arrivalBytes = 0;
    DWORD arrivalDelayMs = 0;
    // Virtual time from the send until the answer's headers arrive (a
    // server that takes its time; kFakeNever: it never answers). A send
    // whose receive time-out is shorter ends with ERROR_INTERNET_TIMEOUT
    // once that time-out has passed; so does a wait for the body's next
    // part that would take longer than it.
    DWORD headerDelayMs = 0;
    DWORD sendError = 0; // non-zero: HttpSendRequestA fails with it
    DWORD readError = 0; // non-zero: InternetReadFile fails with it
};

// One HttpSendRequestA as the server (or the proxy) sees it; a redirection
// that was followed is one more.
struct FakeSentRequest {
    std::string agent;
    DWORD accessType = 0;
    std::string proxy;
    std::string server;
    INTERNET_PORT port = 0;
    std::string verb;
    std::string object;
    std::string version;
    DWORD flags = 0;
    std::vector<std::string> headers; // added header lines, without their CRLF
    bool Has(const std::string& headerName) const;
    std::string Header(const std::string& headerName) const; // value; "" when absent
};

// What the credential dialog does when it is shown. With
// ERROR_INTERNET_FORCE_RETRY and FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS it leaves
// the user and password in the request's options: the proxy ones when the
// last answer was 407, the server ones otherwise.
struct FakeCredentialDialog {
    DWORD result = ERROR_CANCELLED;
    std::string user;
    std::string password;
    DWORD openMs = 0; // virtual time the person takes to answer it
};

class FakeInternet final : public Internet {
public:
    // Registers WinINet's message table ("wininet.dll") with os.
    explicit FakeInternet(FakeOs& os);
    ~FakeInternet() override;

    // ---- scripting ----
    std::deque<FakeHttpAnswer> answers; // one per send, in order
    // Answers a send when `answers` is empty; without it such a send fails
    // with ERROR_INTERNET_CANNOT_CONNECT (nothing listens).
    std::function<FakeHttpAnswer(const FakeSentRequest&)> responder;
    std::deque<FakeCredentialDialog> dialogs; // default: cancelled
    DWORD openError = 0;                      // InternetOpenA fails with it
    DWORD connectError = 0;                   // InternetConnectA fails with it
    DWORD openRequestError = 0;               // HttpOpenRequestA fails with it
    bool statusCallbackRefused = false;

    // ---- observations ----
    // Every call as text, e.g. `InternetSetOptionA(connection1, 3, 1)` or
    // `HttpAddRequestHeadersA(request1, "Accept: */*\r\n", 13, 0x10000000)`.
    std::vector<std::string> calls;
    std::vector<FakeSentRequest> sent;
    // False: reads of the body and questions about its arrival are not
    // listed in `calls` (for answers too long to keep a line per piece).
    bool recordBodyCalls = true;
    // Called after each read of a body with how much of it has been read.
    std::function<void(std::uint64_t bodyRead)> onBodyRead;
    // The calls of one function, in order.
    std::vector<std::string> CallsOf(const std::string& name) const;
    int OpenHandleCount() const;
    std::string Describe() const;

    // ---- Internet ----
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
    INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                       INTERNET_STATUS_CALLBACK callback) override;
    BOOL InternetCloseHandle(HINTERNET handle) override;

private:
    enum class Kind { session, connection, request };
    struct Handle {
        Kind kind;
        int number;
        std::uintptr_t parent = 0;
        DWORD_PTR context = 0;
        std::map<DWORD, std::string> options; // raw bytes as set
        INTERNET_STATUS_CALLBACK callback = nullptr;
        // session
        std::string agent, proxy;
        DWORD accessType = 0;
        // connection
        std::string server;
        INTERNET_PORT port = 0;
        // request
        FakeSentRequest request;
        bool answered = false;
        FakeHttpAnswer answer;
        std::uint64_t readPosition = 0;
        std::uint64_t arrived = 0; // bytes of the body that have arrived
    };

    Handle* Find(HINTERNET handle);
    Handle* FindKind(HINTERNET handle, Kind kind);
    HINTERNET Add(Handle handle);
    std::string Name(HINTERNET handle) const;
    const std::string* OptionOf(const Handle& h, DWORD option) const;
    void Notify(HINTERNET handle, const Handle& h, DWORD status);
    FakeHttpAnswer NextAnswer(const FakeSentRequest& request);
    static std::uint64_t BodyLength(const FakeHttpAnswer& answer);
    // The next part of the body arrives (virtual time passes); false when
    // the whole body has arrived already, or when the receive time-out
    // passed first (*timedOut).
    bool WaitForMore(Handle& h, bool* timedOut = nullptr);
    // The receive time-out in force for a request; kFakeNever when none.
    DWORD ReceiveTimeout(const Handle& h) const;
    BOOL Fail(DWORD error);

    FakeOs& m_os;
    std::map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_next = 0xC0DE000;
    int m_counts[3] = {0, 0, 0};
};

} // namespace port
