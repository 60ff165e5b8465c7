#include "notify/notification.h"

#include "common/handles.h"
#include "common/platform.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/text.h"
#include "notify/failure_report.h"
#include "notify/http_fetch.h"
#include "string_ids.h"

#include <cctype>
#include <vector>

using namespace port;

DWORD ReadClientDword(const char* key, const char* value) {
    unique_hkey k;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
        return 0;
    return ReadRegDword(k.get(), value);
}

std::string ReadClientString(const char* key, const char* value) {
    unique_hkey k;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
        return {};
    // Read whole and cut at the first NUL, never past the value's own bytes
    // (a text stored without its NUL ends where its bytes end).
    return ReadRegString(k.get(), value);
}

std::string EncodeDomainField(const std::string& name) {
    if (name.empty())
        return {};

    // Lower-case single-byte letters; the two bytes of a double-byte
    // character are left as they are (a trail byte may look like a letter).
    std::string text = name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(c) && i + 1 < text.size())
            ++i;
        else
            text[i] = static_cast<char>(std::tolower(c));
    }
    auto first = static_cast<unsigned char>(text[0]);
    if (!IsLeadByte(first))
        text[0] = static_cast<char>(std::toupper(first));

    auto& os = Sys();
    int units = os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.c_str(),
                                       static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0)
        return {};
    std::vector<WCHAR> wide(static_cast<std::size_t>(units));
    units = os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.c_str(),
                                   static_cast<int>(text.size()), wide.data(), units);
    if (units <= 0)
        return {};

    // UTF-8 one unit at a time (surrogates are not paired), then the bytes
    // that may not stand in a query as they are become %xx.
    std::string out;
    auto put = [&out](unsigned byte) {
        bool punctuation = (byte >= 0x21 && byte <= 0x2F && byte != 0x25) ||
                           (byte >= 0x3A && byte <= 0x40) || (byte >= 0x5B && byte <= 0x60) ||
                           (byte >= 0x7B && byte <= 0x7E);
        // Control characters too: a line break in a name would otherwise end
        // the request line and start a header of the name's choosing.
        bool const control = byte < 0x20 || byte == 0x7F;
        if (byte >= 0x80 || byte == 0x20 || punctuation || control)
            out += Format("%%%02x", byte);
        else
            out += static_cast<char>(byte);
    };
    for (int k = 0; k < units; ++k) {
        unsigned u = wide[static_cast<std::size_t>(k)];
        if (u < 0x80) {
            put(u);
        } else if (u < 0x800) {
            put(0xC0 | (u >> 6));
            put(0x80 | (u & 0x3F));
        } else {
            put(0xE0 | (u >> 12));
            put(0x80 | ((u >> 6) & 0x3F));
            put(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string BuildNotificationUrl(const std::string& path, const std::string& uid, BOOL custom) {
    std::string domain = EncodeDomainField(GetDomainName());
    // One reading of the clock: the six numbers belong to the same instant.
    SYSTEMTIME now{};
    Sys().GetLocalTime(&now);
    return Format("%s?UID=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&DOMAIN=%s&DEFAULT_CFG=%d",
                  path.c_str(), uid.c_str(), now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, domain.c_str(), custom ? 0 : 1);
}

namespace {
// The answer is never looked at: a little of it is kept, the rest is read
// and dropped, so that a console that answers with a gigabyte costs no
// memory.
constexpr DWORD kKeptAnswerBytes = 64 * 1024;
// The whole answer within the five minutes that one read may wait.
constexpr DWORD kAnswerTimeLimitMs = 300000;
// The whole notification, waits for the server included, while the client
// is stopped: under five minutes, with room for the name lookup (which no
// time-out of the library covers) and the answer's last read.
constexpr DWORD kNotificationTimeLimitMs = 290000;
} // namespace

BOOL NotifyServer(ProgressView& view, const std::string& guid) {
    const std::string caption = LoadResString(IDS_ERROR_CAPTION);
    CByteBuffer answer;
    answer.KeepAtMost(kKeptAnswerBytes);
    try {
        // The platform alone chooses the keys; there is no fallback from one
        // to the other.
        const bool nt = GetPlatformId() == static_cast<int>(VER_PLATFORM_WIN32_NT);
        const char* clientKey = nt ? kClientKeyNT : kClientKey9x;
        const char* proxyKey = nt ? kProxySettingsKeyNT : kClientKey9x;
        DWORD useProxy = ReadClientDword(proxyKey, "UseProxy");
        DWORD serverPort = ReadClientDword(clientKey, "ServerPort");
        DWORD proxyPort = ReadClientDword(proxyKey, "ProxyPort");
        std::string server = ReadClientString(clientKey, "Server");
        std::string proxyHost = ReadClientString(proxyKey, nt ? "ProxyIP" : "ProxyServer");
        std::string proxyLogin = ReadClientString(proxyKey, "ProxyLogin");
        std::string proxyPassword = ReadClientString(proxyKey, nt ? "ProxyPwd" : "ProxyPassword");
        // A set "UseProxy" sends the request without the configured proxy
        // and without any credentials.
        if (useProxy != 0) {
            proxyHost.clear();
            proxyLogin.clear();
            proxyPassword.clear();
        }

        view.SetStatusText(LoadResString(IDS_NOTIFYING_SERVER).c_str());
        std::string object = BuildNotificationUrl(kNotificationPath, guid, FALSE);

        HttpRequestSpec params;
        params.server = server.c_str();
        params.object = object.c_str();
        params.proxyHost = proxyHost.c_str();
        params.proxyBypass = nullptr;
        // The same pair is offered to the proxy and to the server.
        params.proxyUser = params.serverUser = proxyLogin.c_str();
        params.proxyPassword = params.serverPassword = proxyPassword.c_str();
        // Only the low 16 bits of the stored ports are used; 0 leaves the
        // choice to the library (80 for HTTP).
        params.serverPort = static_cast<WORD>(serverPort);
        params.proxyPort = static_cast<WORD>(proxyPort);
        params.explicitAccess = FALSE;
        // One request to the configured server: a redirection is its answer,
        // never followed (the library would carry the credentials' headers
        // to wherever it points). Nor does the library put questions of its
        // own to whoever is there (a cookie to accept): the only dialog of
        // the exchange is the credential dialog, which this program asks for
        // itself (InternetErrorDlg) and never in a quiet run.
        params.openFlags =
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
        params.connectRetries = 1;
        params.connectTimeout = params.sendTimeout = params.receiveTimeout = 300000;
        params.dataSendTimeout = params.dataReceiveTimeout = 300000;
        params.authRetries = 0;
        params.bodyTimeLimit = kAnswerTimeLimitMs;
        params.totalTimeLimit = kNotificationTimeLimitMs;
        HttpFetch(params, answer);
        Report().Event("The server has the notification: it answered 200 and its answer was "
                       "read whole");
        return TRUE;
    } catch (...) {
        ReportNotificationFailure(view, caption.c_str());
        return FALSE;
    }
}
