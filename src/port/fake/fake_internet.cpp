// FakeInternet: sessions, connections and requests as numbered handles; a
// send takes the next scripted answer; the credential dialog takes the next
// scripted outcome.
#include "port/fake/fake_internet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace port {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}

bool IsTextOption(DWORD option) {
    return option == INTERNET_OPTION_USERNAME || option == INTERNET_OPTION_PASSWORD ||
           option == INTERNET_OPTION_PROXY_USERNAME || option == INTERNET_OPTION_PROXY_PASSWORD;
}

std::string Quote(const char* text) {
    if (!text)
        return "null";
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '\r')
            out += "\\r";
        else if (*p == '\n')
            out += "\\n";
        else
            out += *p;
    }
    return out + "\"";
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

// Copies text (with its NUL) the way WinINet hands out strings: a buffer too
// small gets nothing and learns the size needed, NUL included; success
// reports the length without the NUL.
BOOL CopyText(const std::string& text, void* buffer, DWORD* length, FakeOs& os) {
    if (!buffer || *length < text.size() + 1) {
        *length = static_cast<DWORD>(text.size() + 1);
        os.SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = static_cast<DWORD>(text.size());
    return TRUE;
}

// The answer header that an HttpQueryInfoA level names (null: none here).
const char* HeaderOfLevel(DWORD level) {
    switch (level) {
    case HTTP_QUERY_CONTENT_LENGTH:
        return "Content-Length";
    case HTTP_QUERY_LOCATION:
        return "Location";
    default:
        return nullptr;
    }
}

const std::string* HeaderValue(const FakeHttpAnswer& answer, const char* name) {
    for (const auto& [key, value] : answer.headers)
        if (SameName(key, name))
            return &value;
    return nullptr;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A name the resolver can look up: letters, digits, dots, dashes,
// underscores. A blank or a scheme ("http://") in it is never resolved.
bool Resolvable(const std::string& server) {
    return !server.empty() && std::all_of(server.begin(), server.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

// "http://host[:port]/path" (or "/path" on the same server) into a request.
bool Follow(const std::string& location, FakeSentRequest* request) {
    if (location.rfind("/", 0) == 0) {
        request->object = location;
        return true;
    }
    const std::string scheme = "http://";
    if (location.rfind(scheme, 0) != 0)
        return false;
    std::string rest = location.substr(scheme.size());
    auto slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    request->object = slash == std::string::npos ? "/" : rest.substr(slash);
    auto colon = authority.find(':');
    request->server = authority.substr(0, colon);
    request->port = colon == std::string::npos
                        ? INTERNET_DEFAULT_HTTP_PORT
                        : static_cast<INTERNET_PORT>(std::atoi(authority.c_str() + colon + 1));
    return true;
}

BOOL CopyNumber(DWORD value, void* buffer, DWORD* length, FakeOs& os) {
    if (!buffer || *length < sizeof value) {
        *length = sizeof value;
        os.SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof value;
    return TRUE;
}

} // namespace

bool FakeSentRequest::Has(const std::string& headerName) const {
    return std::any_of(headers.begin(), headers.end(), [&](const std::string& line) {
        auto colon = line.find(':');
        return colon != std::string::npos && SameName(line.substr(0, colon), headerName);
    });
}

std::string FakeSentRequest::Header(const std::string& headerName) const {
    for (const auto& line : headers) {
        auto colon = line.find(':');
        if (colon != std::string::npos && SameName(line.substr(0, colon), headerName)) {
            auto value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

FakeInternet::FakeInternet(FakeOs& os) : m_os(os) {
    auto& table = os.moduleMessages["wininet.dll"];
    table[ERROR_INTERNET_TIMEOUT] = "The operation timed out\r\n";
    table[ERROR_INTERNET_NAME_NOT_RESOLVED] =
        "The server name or address could not be resolved\r\n";
    table[ERROR_INTERNET_INCORRECT_PASSWORD] = "The password was not allowed\r\n";
    table[ERROR_INTERNET_INVALID_OPERATION] = "The requested operation is invalid\r\n";
    table[ERROR_INTERNET_INCORRECT_HANDLE_TYPE] =
        "The type of handle supplied is incorrect for this operation\r\n";
    table[ERROR_INTERNET_CANNOT_CONNECT] =
        "A connection with the server could not be established\r\n";
    table[ERROR_INTERNET_CONNECTION_ABORTED] =
        "The connection with the server was terminated abnormally\r\n";
    table[ERROR_HTTP_HEADER_NOT_FOUND] = "The requested header could not be located\r\n";
}

FakeInternet::~FakeInternet() {
    m_os.moduleMessages.erase("wininet.dll");
}

std::vector<std::string> FakeInternet::CallsOf(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& call : calls)
        if (call.compare(0, name.size() + 1, name + "(") == 0)
            out.push_back(call);
    return out;
}

int FakeInternet::OpenHandleCount() const {
    return static_cast<int>(m_handles.size());
}

std::string FakeInternet::Describe() const {
    std::ostringstream out;
    out << "internet handles:";
    for (const auto& [value, h] : m_handles)
        out << ' ' << Name(reinterpret_cast<HINTERNET>(value));
    return out.str();
}

// ---------------------------------------------------------------- helpers

BOOL FakeInternet::Fail(DWORD error) {
    m_os.SetLastError(error);
    return FALSE;
}

FakeInternet::Handle* FakeInternet::Find(HINTERNET handle) {
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_handles.end()) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

FakeInternet::Handle* FakeInternet::FindKind(HINTERNET handle, Kind kind) {
    Handle* h = Find(handle);
    if (h && h->kind != kind) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return h;
}

HINTERNET FakeInternet::Add(Handle handle) {
    handle.number = ++m_counts[static_cast<int>(handle.kind)];
    m_next += 4;
    m_handles[m_next] = std::move(handle);
    return reinterpret_cast<HINTERNET>(m_next);
}

std::string FakeInternet::Name(HINTERNET handle) const {
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_handles.end())
        return handle ? "closed" : "null";
    static const char* const kinds[] = {"session", "connection", "request"};
    return kinds[static_cast<int>(it->second.kind)] + std::to_string(it->second.number);
}

// Options are looked up on the handle, then on its parents.
const std::string* FakeInternet::OptionOf(const Handle& h, DWORD option) const {
    for (const Handle* p = &h; p;) {
        auto o = p->options.find(option);
        if (o != p->options.end())
            return &o->second;
        auto parent = m_handles.find(p->parent);
        p = parent == m_handles.end() ? nullptr : &parent->second;
    }
    return nullptr;
}

void FakeInternet::Notify(HINTERNET handle, const Handle& h, DWORD status) {
    if (INTERNET_STATUS_CALLBACK callback = h.callback) {
        DWORD bytes = 0;
        bool sent = status == INTERNET_STATUS_REQUEST_SENT;
        callback(handle, h.context, status, sent ? &bytes : nullptr, sent ? sizeof bytes : 0);
    }
}

FakeHttpAnswer FakeInternet::NextAnswer(const FakeSentRequest& request) {
    FakeHttpAnswer answer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    } else if (responder) {
        answer = responder(request);
    } else {
        answer.sendError = ERROR_INTERNET_CANNOT_CONNECT;
    }
    return answer;
}

std::uint64_t FakeInternet::BodyLength(const FakeHttpAnswer& answer) {
    return answer.body.size() + answer.generatedBytes;
}

DWORD FakeInternet::ReceiveTimeout(const Handle& h) const {
    const std::string* value = OptionOf(h, INTERNET_OPTION_RECEIVE_TIMEOUT);
    if (!value || value->size() < sizeof(DWORD))
        return kFakeNever;
    DWORD timeout = 0;
    std::memcpy(&timeout, value->data(), sizeof timeout);
    return timeout;
}

bool FakeInternet::WaitForMore(Handle& h, bool* timedOut) {
    std::uint64_t const total = BodyLength(h.answer);
    if (h.arrived >= total)
        return false;
    DWORD const timeout = ReceiveTimeout(h);
    if (h.answer.arrivalDelayMs > timeout) {
        m_os.AdvanceTime(timeout);
        if (timedOut)
            *timedOut = true;
        return false;
    }
    m_os.AdvanceTime(h.answer.arrivalDelayMs);
    h.arrived = std::min<std::uint64_t>(total, h.arrived + h.answer.arrivalBytes);
    return true;
}

// ---------------------------------------------------------------- Internet

HINTERNET FakeInternet::InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                                      const char* proxyBypass, DWORD flags) {
    calls.push_back("InternetOpenA(" + Quote(agent) + ", " + std::to_string(accessType) + ", " +
                    Quote(proxy) + ", " + Quote(proxyBypass) + ", " + Hex(flags) + ")");
    if (openError) {
        Fail(openError);
        return nullptr;
    }
    Handle h{};
    h.kind = Kind::session;
    h.agent = agent ? agent : "";
    h.accessType = accessType;
    h.proxy = proxy ? proxy : "";
    return Add(std::move(h));
}

HINTERNET FakeInternet::InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port,
                                         const char* user, const char* password, DWORD service,
                                         DWORD flags, DWORD_PTR context) {
    calls.push_back("InternetConnectA(" + Name(session) + ", " + Quote(server) + ", " +
                    std::to_string(port) + ", " + Quote(user) + ", " + Quote(password) + ", " +
                    std::to_string(service) + ", " + Hex(flags) + ", " + std::to_string(context) +
                    ")");
    if (!FindKind(session, Kind::session))
        return nullptr;
    // An empty server name is refused here (measured under Wine).
    if (!server || !*server || service != INTERNET_SERVICE_HTTP) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (connectError) {
        Fail(connectError);
        return nullptr;
    }
    Handle h{};
    h.kind = Kind::connection;
    h.parent = reinterpret_cast<std::uintptr_t>(session);
    h.context = context;
    h.server = server;
    h.port = port;
    // A new handle takes the callback its parent has at this moment.
    h.callback = m_handles.at(reinterpret_cast<std::uintptr_t>(session)).callback;
    if (user && *user)
        h.options[INTERNET_OPTION_USERNAME] = user;
    if (password && *password)
        h.options[INTERNET_OPTION_PASSWORD] = password;
    return Add(std::move(h));
}

HINTERNET FakeInternet::HttpOpenRequestA(HINTERNET connection, const char* verb, const char* object,
                                         const char* version, const char* referrer,
                                         const char** acceptTypes, DWORD flags, DWORD_PTR context) {
    calls.push_back("HttpOpenRequestA(" + Name(connection) + ", " + Quote(verb) + ", " +
                    Quote(object) + ", " + Quote(version) + ", " + Quote(referrer) + ", " +
                    (acceptTypes ? "types" : "null") + ", " + Hex(flags) + ", " +
                    std::to_string(context) + ")");
    Handle* c = FindKind(connection, Kind::connection);
    if (!c)
        return nullptr;
    if (openRequestError) {
        Fail(openRequestError);
        return nullptr;
    }
    const Handle& s = m_handles.at(c->parent);
    Handle h{};
    h.kind = Kind::request;
    h.parent = reinterpret_cast<std::uintptr_t>(connection);
    h.context = context;
    h.callback = c->callback;
    FakeSentRequest& r = h.request;
    r.agent = s.agent;
    r.accessType = s.accessType;
    r.proxy = s.proxy;
    r.server = c->server;
    r.port = c->port;
    r.verb = verb && *verb ? verb : "GET";
    r.object = object && *object ? object : "/";
    r.version = version && *version ? version : "HTTP/1.1";
    r.flags = flags;
    if (referrer && *referrer)
        r.headers.push_back(std::string("Referer: ") + referrer);
    return Add(std::move(h));
}

BOOL FakeInternet::HttpAddRequestHeadersA(HINTERNET request, const char* headers, DWORD length,
                                          DWORD modifiers) {
    calls.push_back("HttpAddRequestHeadersA(" + Name(request) + ", " + Quote(headers) + ", " +
                    std::to_string(static_cast<long>(static_cast<std::int32_t>(length))) + ", " +
                    Hex(modifiers) + ")");
    Handle* h = FindKind(request, Kind::request);
    if (!h)
        return FALSE;
    if (!headers)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string text =
        length == static_cast<DWORD>(-1) ? std::string(headers) : std::string(headers, length);
    BOOL ok = TRUE;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 2;
        if (line.empty())
            continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) {
            ok = Fail(ERROR_INVALID_PARAMETER);
            continue;
        }
        if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) && h->request.Has(line.substr(0, colon))) {
            ok = Fail(ERROR_HTTP_HEADER_ALREADY_EXISTS);
            continue;
        }
        h->request.headers.push_back(line);
    }
    return ok;
}

BOOL FakeInternet::HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                                    void* optional, DWORD optionalLength) {
    calls.push_back("HttpSendRequestA(" + Name(request) + ", " + Quote(headers) + ", " +
                    std::to_string(headersLength) + ", " + (optional ? "data" : "null") + ", " +
                    std::to_string(optionalLength) + ")");
    Handle* h = FindKind(request, Kind::request);
    if (!h)
        return FALSE;
    h->answered = false;
    h->readPosition = 0;
    // Without a proxy the server's name must resolve first (measured under
    // Wine: a blank or a scheme in it never does).
    if (h->request.proxy.empty() && !Resolvable(h->request.server))
        return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    // What the server receives outlives the sender.
    if (!m_os.BeginStateChange("HttpSendRequestA")) {
        m_os.SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
        return FALSE;
    }
    Notify(request, *h, INTERNET_STATUS_SENDING_REQUEST);
    sent.push_back(h->request);
    FakeHttpAnswer answer = NextAnswer(h->request);
    // Redirections are followed with the same request (its added headers
    // too), to wherever they point.
    for (int hop = 0; hop < 10 && !answer.sendError && IsRedirect(answer.status) &&
                      !(h->request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT);
         ++hop) {
        const std::string* location = HeaderValue(answer, "Location");
        FakeSentRequest next = h->request;
        if (!location || !Follow(*location, &next))
            break;
        sent.push_back(next);
        answer = NextAnswer(next);
    }
    if (answer.sendError)
        return Fail(answer.sendError);
    if (answer.headerDelayMs > ReceiveTimeout(*h)) {
        m_os.AdvanceTime(ReceiveTimeout(*h));
        return Fail(ERROR_INTERNET_TIMEOUT);
    }
    m_os.AdvanceTime(answer.headerDelayMs);
    Notify(request, *h, INTERNET_STATUS_REQUEST_SENT);
    h->answer = std::move(answer);
    h->arrived = h->answer.arrivalBytes
                     ? std::min<std::uint64_t>(BodyLength(h->answer), h->answer.arrivalBytes)
                     : BodyLength(h->answer);
    h->answered = true;
    return TRUE;
}

BOOL FakeInternet::HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer,
                                  DWORD* bufferLength, DWORD*) {
    calls.push_back("HttpQueryInfoA(" + Name(request) + ", " + Hex(infoLevel) + ", " +
                    (bufferLength ? std::to_string(*bufferLength) : "null") + ")");
    Handle* h = FindKind(request, Kind::request);
    if (!h)
        return FALSE;
    if (!bufferLength)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!h->answered)
        return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    const bool number = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
    std::string value;
    switch (infoLevel & 0xFFFF) {
    case HTTP_QUERY_STATUS_CODE:
        if (h->answer.status == 0)
            return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        value = std::to_string(h->answer.status);
        break;
    default: {
        const char* name = HeaderOfLevel(infoLevel & 0xFFFF);
        const std::string* header = name ? HeaderValue(h->answer, name) : nullptr;
        if (!header)
            return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        value = *header;
        break;
    }
    }
    if (number)
        return CopyNumber(static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10)), buffer,
                          bufferLength, m_os);
    return CopyText(value, buffer, bufferLength, m_os);
}

BOOL FakeInternet::InternetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead,
                                    DWORD* bytesRead) {
    if (recordBodyCalls)
        calls.push_back("InternetReadFile(" + Name(file) + ", " + std::to_string(bytesToRead) +
                        ")");
    Handle* h = FindKind(file, Kind::request);
    if (!h)
        return FALSE;
    if (!bytesRead || (!buffer && bytesToRead))
        return Fail(ERROR_INVALID_PARAMETER);
    *bytesRead = 0;
    if (!h->answered)
        return Fail(ERROR_INTERNET_INVALID_OPERATION);
    if (h->answer.readError)
        return Fail(h->answer.readError);
    bool timedOut = false;
    while (h->arrived - h->readPosition < bytesToRead && WaitForMore(*h, &timedOut)) {
    }
    if (timedOut && h->arrived == h->readPosition)
        return Fail(ERROR_INTERNET_TIMEOUT);
    auto n = static_cast<DWORD>(std::min<std::uint64_t>(bytesToRead, h->arrived - h->readPosition));
    // The scripted text first, then the made-up bytes ('g').
    const std::string& body = h->answer.body;
    std::size_t const fromBody =
        h->readPosition < body.size()
            ? static_cast<std::size_t>(std::min<std::uint64_t>(n, body.size() - h->readPosition))
            : 0;
    if (fromBody)
        std::memcpy(buffer, body.data() + h->readPosition, fromBody);
    std::memset(static_cast<BYTE*>(buffer) + fromBody, 'g', n - fromBody);
    h->readPosition += n;
    *bytesRead = n;
    if (onBodyRead)
        onBodyRead(h->readPosition);
    return TRUE;
}

BOOL FakeInternet::InternetQueryDataAvailable(HINTERNET file, DWORD* bytesAvailable, DWORD flags,
                                              DWORD_PTR context) {
    if (recordBodyCalls)
        calls.push_back("InternetQueryDataAvailable(" + Name(file) + ", " + Hex(flags) + ", " +
                        std::to_string(context) + ")");
    Handle* h = FindKind(file, Kind::request);
    if (!h)
        return FALSE;
    if (!bytesAvailable)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!h->answered)
        return Fail(ERROR_INTERNET_INVALID_OPERATION);
    if (h->answer.readError)
        return Fail(h->answer.readError);
    bool timedOut = false;
    if (h->arrived == h->readPosition)
        WaitForMore(*h, &timedOut);
    if (timedOut)
        return Fail(ERROR_INTERNET_TIMEOUT);
    *bytesAvailable =
        static_cast<DWORD>(std::min<std::uint64_t>(h->arrived - h->readPosition, 0x10000));
    return TRUE;
}

BOOL FakeInternet::InternetSetOptionA(HINTERNET handle, DWORD option, void* buffer, DWORD length) {
    std::string value;
    if (buffer && IsTextOption(option))
        value = std::string(static_cast<const char*>(buffer), length);
    std::string shown;
    if (IsTextOption(option))
        shown = Quote(value.c_str()) + ", " + std::to_string(length);
    else if (buffer && length == sizeof(DWORD))
        shown = std::to_string(*static_cast<const DWORD*>(buffer));
    else
        shown = "?" + std::to_string(length);
    calls.push_back("InternetSetOptionA(" + Name(handle) + ", " + std::to_string(option) + ", " +
                    shown + ")");
    Handle* h = Find(handle);
    if (!h)
        return FALSE;
    if (!buffer)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!IsTextOption(option)) {
        if (length != sizeof(DWORD))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        value.assign(static_cast<const char*>(buffer), length);
    }
    h->options[option] = value;
    return TRUE;
}

BOOL FakeInternet::InternetQueryOptionA(HINTERNET handle, DWORD option, void* buffer,
                                        DWORD* length) {
    calls.push_back("InternetQueryOptionA(" + Name(handle) + ", " + std::to_string(option) + ", " +
                    (length ? std::to_string(*length) : "null") + ")");
    Handle* h = Find(handle);
    if (!h)
        return FALSE;
    if (!length)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string* value = OptionOf(*h, option);
    if (IsTextOption(option))
        return CopyText(value ? *value : std::string(), buffer, length, m_os);
    if (!value)
        return Fail(ERROR_INTERNET_INVALID_OPERATION);
    DWORD number = 0;
    std::memcpy(&number, value->data(), std::min(value->size(), sizeof number));
    return CopyNumber(number, buffer, length, m_os);
}

DWORD FakeInternet::InternetErrorDlg(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                                     void** data) {
    std::string ownerName = owner == m_os.desktopWindow ? "desktop"
                            : owner
                                ? Hex(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(owner)))
                                : "null";
    calls.push_back("InternetErrorDlg(" + ownerName + ", " + Name(request) + ", " +
                    std::to_string(error) + ", " + std::to_string(flags) + ", " +
                    (data ? "data" : "null") + ")");
    Handle* h = FindKind(request, Kind::request);
    if (!h)
        return ERROR_INVALID_HANDLE;
    FakeCredentialDialog dialog;
    if (!dialogs.empty()) {
        dialog = dialogs.front();
        dialogs.pop_front();
    }
    m_os.AdvanceTime(dialog.openMs);
    if (dialog.result == ERROR_INTERNET_FORCE_RETRY &&
        (flags & FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS)) {
        bool proxy = h->answered && h->answer.status == HTTP_STATUS_PROXY_AUTH_REQ;
        h->options[proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME] = dialog.user;
        h->options[proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD] =
            dialog.password;
    }
    return dialog.result;
}

INTERNET_STATUS_CALLBACK
FakeInternet::InternetSetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback) {
    calls.push_back("InternetSetStatusCallback(" + Name(handle) + ", " +
                    (callback ? "callback" : "null") + ")");
    Handle* h = Find(handle);
    if (!h)
        return INTERNET_INVALID_STATUS_CALLBACK;
    if (statusCallbackRefused) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    return std::exchange(h->callback, callback);
}

BOOL FakeInternet::InternetCloseHandle(HINTERNET handle) {
    calls.push_back("InternetCloseHandle(" + Name(handle) + ")");
    if (!Find(handle))
        return FALSE;
    m_handles.erase(reinterpret_cast<std::uintptr_t>(handle));
    return TRUE;
}

} // namespace port
