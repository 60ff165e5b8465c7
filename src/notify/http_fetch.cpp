#include "notify/http_fetch.h"

#include "common/report.h"
#include "common/text.h"
#include "notify/base64.h"
#include "notify/http_session.h"
#include "notify/masked_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

using namespace port;

std::string s_lastProxyUser;
std::string s_lastProxyPassword;
std::string s_lastServerUser;
std::string s_lastServerPassword;

namespace {

constexpr const char* kVerbs[] = {"POST", "GET", "HEAD", "PUT", "LINK", "DELETE", "UNLINK"};
constexpr int kVerbHead = 2;
constexpr std::size_t kProxyTextSize = 256;
constexpr DWORD kPieceSize = 1024;
constexpr DWORD kCredentialSize = 128;

bool Given(const char* text) {
    return text && *text;
}

void SetNumberOption(HINTERNET handle, DWORD option, DWORD value) {
    // Options the library does not take on this handle change nothing.
    Net().InternetSetOptionA(handle, option, &value, sizeof value);
}

void SetTextOption(HINTERNET handle, DWORD option, const char* text) {
    Net().InternetSetOptionA(handle, option, const_cast<char*>(text),
                             static_cast<DWORD>(std::strlen(text)));
}

void AddHeaders(HINTERNET request, const std::string& headers) {
    // A header that is already there stays as it is; nothing else can fail.
    Net().HttpAddRequestHeadersA(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                 HTTP_ADDREQ_FLAG_ADD_IF_NEW);
}

// The answer's status; a status that cannot be read leaves *status as it was.
void QueryStatusCode(HINTERNET request, DWORD* status) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (Net().HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value,
                             &size, nullptr))
        *status = value;
}

// Sends the request; the record gets its line (never a header: the
// credentials travel there) and the answer's status.
void Send(HINTERNET request, DWORD_PTR context, DWORD* status, const std::string& requestLine) {
    Report().Event("Request sent: " + requestLine);
    Report().RequestSent();
    if (!Net().HttpSendRequestA(request, nullptr, 0, nullptr, 0))
        ThrowInternetException(context);
    QueryStatusCode(request, status);
    Report().ServerStatus(*status);
    Report().Event(Format("Answer: status %lu", static_cast<unsigned long>(*status)));
}

// The whole request's time limit (totalTimeLimit). The library has no such
// limit of its own, only time-outs per call, so every call that waits is
// given no more than what is left: the send's three waits (connection,
// sending, the answer's headers) a third each, every read of the body all
// of it. Time spent in the credential dialog does not count.
class Deadline {
public:
    Deadline(DWORD limit, DWORD_PTR context)
        : m_limit(limit), m_context(context), m_start(Sys().GetTickCount()) {}

    bool Limited() const { return m_limit != 0; }
    void Exclude(DWORD ms) { m_excluded += ms; }
    // What is left; the request ends (ERROR_INTERNET_TIMEOUT) when nothing is.
    DWORD Left() const {
        DWORD const spent = Sys().GetTickCount() - m_start - m_excluded;
        if (spent >= m_limit)
            throw CInternetException(ERROR_INTERNET_TIMEOUT, m_context);
        return m_limit - spent;
    }
    // Sets the time-outs of the request's next send.
    void BeforeSend(HINTERNET request, const HttpRequestSpec& params) const {
        if (!Limited())
            return;
        DWORD const third = std::max<DWORD>(Left() / 3, 1);
        SetNumberOption(request, INTERNET_OPTION_CONNECT_TIMEOUT,
                        std::min(params.connectTimeout, third));
        SetNumberOption(request, INTERNET_OPTION_SEND_TIMEOUT, std::min(params.sendTimeout, third));
        SetNumberOption(request, INTERNET_OPTION_RECEIVE_TIMEOUT,
                        std::min(params.receiveTimeout, third));
    }

private:
    DWORD m_limit;
    DWORD_PTR m_context;
    DWORD m_start;
    DWORD m_excluded = 0;
};

// A body, piece by piece. A read of WinINet waits until its buffer is full
// or the body has ended, so each piece asks only for what has arrived: no
// read then waits longer than for the next bytes, and a body that trickles
// in is ended by the time limit on the whole body (bodyTimeLimit) and the
// request's own (the deadline).
class BodyReader {
public:
    BodyReader(HINTERNET request, const HttpRequestSpec& params, const Deadline& deadline)
        : m_request(request), m_params(params), m_deadline(deadline),
          m_start(Sys().GetTickCount()) {}

    // The next piece into `piece` (up to kPieceSize bytes); 0 at the end.
    DWORD Next(BYTE* piece) {
        if (m_params.bodyTimeLimit != 0 && Sys().GetTickCount() - m_start >= m_params.bodyTimeLimit)
            throw CInternetException(ERROR_INTERNET_TIMEOUT, m_params.context);
        LimitWait();
        DWORD available = 0;
        if (!Net().InternetQueryDataAvailable(m_request, &available, 0, 0))
            ThrowInternetException(m_params.context);
        // Nothing available is the end; the read then says so at once.
        DWORD const wanted = available == 0 || available > kPieceSize ? kPieceSize : available;
        DWORD read = 0;
        if (!Net().InternetReadFile(m_request, piece, wanted, &read))
            ThrowInternetException(m_params.context);
        m_total += read;
        return read;
    }

    std::uint64_t Total() const { return m_total; }

private:
    // A read waits no longer than the request has left. The time-out is set
    // again only once a second has gone since: a body that arrives at once
    // costs no calls.
    void LimitWait() {
        if (!m_deadline.Limited())
            return;
        DWORD const left = std::min(m_deadline.Left(), m_params.receiveTimeout);
        if (m_waitSet != 0 && m_waitSet - left < 1000)
            return;
        SetNumberOption(m_request, INTERNET_OPTION_RECEIVE_TIMEOUT, left);
        m_waitSet = left;
    }

    HINTERNET m_request;
    const HttpRequestSpec& m_params;
    const Deadline& m_deadline;
    DWORD m_start;
    DWORD m_waitSet = 0;
    std::uint64_t m_total = 0;
};

// A credential the dialog left in the request's options; "" when there is
// none or it does not fit the buffer.
void QueryCredential(HINTERNET request, DWORD option, char (&buffer)[kCredentialSize]) {
    std::memset(buffer, 0, sizeof buffer);
    DWORD size = kCredentialSize;
    if (!Net().InternetQueryOptionA(request, option, buffer, &size))
        buffer[0] = '\0';
    buffer[kCredentialSize - 1] = '\0';
}

// The library's credential dialog for a challenge (401 or 407), and what the
// person there decided. A quiet run asks nobody: the challenge stands, as
// when the dialog is cancelled.
DWORD AskForCredentials(HINTERNET request, DWORD status) {
    const char* const who = status == HTTP_STATUS_PROXY_AUTH_REQ ? "proxy" : "server";
    if (Report().IsQuiet()) {
        Report().Event(Format("The %s asks for credentials (status %lu) that the stored ones do "
                              "not satisfy; a quiet run asks nobody",
                              who, static_cast<unsigned long>(status)));
        return ERROR_CANCELLED;
    }
    DWORD const answer = Net().InternetErrorDlg(
        Sys().GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
        nullptr);
    Report().Event(answer == ERROR_INTERNET_FORCE_RETRY
                       ? Format("The %s asked for credentials (status %lu); new ones were typed",
                                who, static_cast<unsigned long>(status))
                       : Format("The %s asked for credentials (status %lu); the credential "
                                "dialog ended with %lu",
                                who, static_cast<unsigned long>(status),
                                static_cast<unsigned long>(answer)));
    return answer;
}

// "http=http://host:port" for the proxy access type. A host too long for the
// text's 256 bytes is refused: a cut name would send the request elsewhere.
std::string ProxyText(const char* host, WORD port) {
    std::string text = Format("http=http://%s:%ld", host, static_cast<long>(port));
    if (text.size() >= kProxyTextSize)
        throw CRequestException(
            Format("The proxy server name is too long (%u characters). The proxy settings allow at "
                   "most %u characters for it.",
                   static_cast<unsigned>(std::strlen(host)),
                   static_cast<unsigned>(kProxyTextSize - 1 - (text.size() - std::strlen(host)))));
    return text;
}

} // namespace

std::string BuildBasicAuthHeader(BOOL proxy, const char* user, const char* password) {
    std::string credentials = Format("%s:%s", user ? user : "", password ? password : "");
    CBase64Codec codec;
    codec.EncodeString(credentials.c_str());
    // The header goes to the library only: no text of the record holds it.
    return Format(proxy ? "Proxy-Authorization: Basic %s\r\n" : "Authorization: Basic %s\r\n",
                  codec.GetEncoded());
}

void HttpFetch(const HttpRequestSpec& params, CByteBuffer& sink) {
    if (params.verb < 0 || params.verb >= static_cast<int>(std::size(kVerbs)))
        throw CRequestException(Format("The request method %d is unknown.", params.verb));

    // Which credentials were given is decided once, here.
    const bool proxyHost = Given(params.proxyHost);
    const bool proxyUser = Given(params.proxyUser);
    const bool proxyPassword = Given(params.proxyPassword);
    const bool serverUser = Given(params.serverUser);
    const bool serverPassword = Given(params.serverPassword);

    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
    std::string proxyText;
    bool setOptions = true;
    if (params.explicitAccess) {
        accessType = params.accessType;
    } else if (IsAutoConfigUrlSet()) {
        // The user's automatic configuration decides the proxy and keeps its
        // own time-outs, retries and credentials.
        accessType = INTERNET_OPEN_TYPE_PRECONFIG;
        setOptions = false;
    } else if (proxyHost) {
        accessType = INTERNET_OPEN_TYPE_PROXY;
        proxyText = ProxyText(params.proxyHost, params.proxyPort);
    }

    // Declared in this order so that they are released request first, then
    // connection, then session, on every way out.
    CHttpSession session(params.statusHook, params.hookData, nullptr, params.context, accessType,
                         proxyText.empty() ? nullptr : proxyText.c_str(), params.proxyBypass, 0);
    unique_hinternet connection = session.GetHttpConnection(params.server, params.serverPort);
    if (setOptions) {
        HINTERNET c = connection.get();
        SetNumberOption(c, INTERNET_OPTION_CONNECT_RETRIES, params.connectRetries);
        SetNumberOption(c, INTERNET_OPTION_CONNECT_TIMEOUT, params.connectTimeout);
        SetNumberOption(c, INTERNET_OPTION_SEND_TIMEOUT, params.sendTimeout);
        SetNumberOption(c, INTERNET_OPTION_RECEIVE_TIMEOUT, params.receiveTimeout);
        SetNumberOption(c, INTERNET_OPTION_DATA_SEND_TIMEOUT, params.dataSendTimeout);
        SetNumberOption(c, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, params.dataReceiveTimeout);
        SetNumberOption(c, INTERNET_OPTION_CONNECT_BACKOFF, params.connectBackoff);
        if (proxyHost) {
            if (proxyUser)
                SetTextOption(c, INTERNET_OPTION_PROXY_USERNAME, params.proxyUser);
            if (proxyPassword)
                SetTextOption(c, INTERNET_OPTION_PROXY_PASSWORD, params.proxyPassword);
        }
        if (serverUser)
            SetTextOption(c, INTERNET_OPTION_USERNAME, params.serverUser);
        if (serverPassword)
            SetTextOption(c, INTERNET_OPTION_PASSWORD, params.serverPassword);
    }

    const char* const version = params.version ? params.version : "HTTP/1.0";
    unique_hinternet request(Net().HttpOpenRequestA(connection.get(), kVerbs[params.verb],
                                                    params.object, version, params.referrer,
                                                    nullptr, params.openFlags, params.context));
    if (!request)
        ThrowInternetException(params.context);
    HINTERNET r = request.get();

    if (params.headers)
        AddHeaders(r, params.headers);
    // A proxy login goes where a proxy is there to take it, never on a direct
    // request (the server would get it): the stored one only to the proxy
    // named in proxyHost, not to one the system's settings or script choose;
    // one typed at this request's proxy challenge to whoever sent it; one
    // typed before to a later request through a proxy.
    bool const namedProxy = accessType == INTERNET_OPEN_TYPE_PROXY && !proxyText.empty();
    bool const systemProxy = accessType == INTERNET_OPEN_TYPE_PRECONFIG;
    if (proxyUser) {
        if (namedProxy || params.proxyLoginTyped)
            AddHeaders(r, BuildBasicAuthHeader(TRUE, params.proxyUser, params.proxyPassword));
    } else if (!s_lastProxyUser.empty() && (namedProxy || systemProxy)) {
        AddHeaders(
            r, BuildBasicAuthHeader(TRUE, s_lastProxyUser.c_str(), s_lastProxyPassword.c_str()));
    }
    if (serverUser)
        AddHeaders(r, BuildBasicAuthHeader(FALSE, params.serverUser, params.serverPassword));
    else if (!s_lastServerUser.empty())
        AddHeaders(
            r, BuildBasicAuthHeader(FALSE, s_lastServerUser.c_str(), s_lastServerPassword.c_str()));

    // As the record shows it: a login in the server's or the proxy's name masked.
    std::string const requestLine =
        Format("%s %s %s to %s:%u", kVerbs[params.verb], params.object ? params.object : "",
               version, HostWithoutLogin(params.server ? params.server : "").c_str(),
               unsigned{params.serverPort}) +
        (accessType == INTERNET_OPEN_TYPE_PROXY
             ? " through the proxy " + WithoutCredentials(proxyText)
         : accessType == INTERNET_OPEN_TYPE_PRECONFIG ? " with the system's proxy settings"
                                                      : std::string());
    Deadline deadline(params.totalTimeLimit, params.context);
    DWORD status = 0;
    int retries = params.authRetries;
    BYTE piece[kPieceSize];
    deadline.BeforeSend(r, params);
    Send(r, params.context, &status, requestLine);
    // The first challenge goes to the dialog without using up a retry.
    bool challenge = status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ;
    for (;;) {
        if (!challenge) {
            if (status == HTTP_STATUS_OK)
                break;
            if ((status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) &&
                retries > 0)
                --retries;
            else
                throw CInternetStatusException(status);
        }
        challenge = false;

        BodyReader challengeBody(r, params, deadline);
        while (challengeBody.Next(piece) > 0) {
        }
        DWORD const asked = Sys().GetTickCount();
        DWORD const answer = AskForCredentials(r, status);
        deadline.Exclude(Sys().GetTickCount() - asked);
        if (answer == ERROR_INTERNET_FORCE_RETRY) {
            const bool proxy = status == HTTP_STATUS_PROXY_AUTH_REQ;
            char user[kCredentialSize];
            char password[kCredentialSize];
            QueryCredential(r, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                            user);
            QueryCredential(r, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
                            password);
            if (user[0]) {
                // A fresh request with what was typed, and a fresh retry count.
                HttpRequestSpec again = params;
                if (proxy) {
                    again.proxyUser = user;
                    again.proxyPassword = password;
                    again.proxyLoginTyped = TRUE;
                    s_lastProxyUser = user;
                    s_lastProxyPassword = password;
                } else {
                    again.serverUser = user;
                    again.serverPassword = password;
                    s_lastServerUser = user;
                    s_lastServerPassword = password;
                }
                // What is left of the time goes on with the new request.
                if (deadline.Limited())
                    again.totalTimeLimit = deadline.Left();
                HttpFetch(again, sink);
                return;
            }
            deadline.BeforeSend(r, params);
            Send(r, params.context, &status, requestLine);
        } else if (answer == ERROR_SUCCESS) {
            deadline.BeforeSend(r, params);
            Send(r, params.context, &status, requestLine);
        }
        // Any other answer: the user cancelled; the status stands.
    }

    DWORD length = 0;
    DWORD size = sizeof length;
    bool const lengthGiven = Net().HttpQueryInfoA(
        r, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr);
    if (!lengthGiven)
        length = 0;
    if (params.lengthHook)
        params.lengthHook(length, params.hookData);
    auto cancelled = [&params] {
        return params.cancelHook && params.cancelHook(params.hookData) != 0;
    };
    if (cancelled())
        throw CInternetStatusException(0);
    BodyReader body(r, params, deadline);
    for (DWORD n = body.Next(piece); n > 0; n = body.Next(piece)) {
        if (cancelled())
            throw CInternetStatusException(0);
        sink.Append(piece, n);
    }
    // The library ends a body quietly where the connection closed; fewer
    // bytes than announced is an answer that did not arrive whole. (A HEAD
    // answer announces the length of a body it never has.)
    if (lengthGiven && params.verb != kVerbHead && body.Total() < length)
        throw CInternetException(ERROR_INTERNET_CONNECTION_ABORTED, params.context);
}
