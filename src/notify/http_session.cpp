#include "notify/http_session.h"

#include "common/message_box.h"
#include "common/handles.h"
#include "notify/internet_error.h"

using namespace port;

namespace {
// WinINet calls the status callback synchronously, on the thread that made
// the call, and only one request runs on a thread at a time: the innermost
// live session with a callback on this thread is the one being notified.
thread_local CHttpSession* t_sessionWithCallback = nullptr;
} // namespace

CHttpSession::CHttpSession(HttpStatusHook statusHook, void* hookData, const char* agent,
                           DWORD_PTR context, DWORD accessType, const char* proxy,
                           const char* proxyBypass, DWORD flags)
    : m_pfnStatusHook(statusHook), m_pHookData(hookData), m_dwContext(context) {
    if (!agent) {
        agent = AfxGetAppName() ? AfxGetAppName() : "Norvane";
    }
    m_hSession.reset(Net().InternetOpenA(agent, accessType, proxy, proxyBypass, flags));
    if (!m_hSession)
        ThrowInternetException(context);
    if (m_pfnStatusHook)
        EnableStatusCallback();
}

CHttpSession::~CHttpSession() {
    Close();
}

void CHttpSession::Close() {
    if (!m_hSession)
        return;
    if (m_bCallbackEnabled) {
        Net().InternetSetStatusCallback(m_hSession.get(), m_pOldCallback);
        m_bCallbackEnabled = false;
        for (CHttpSession** link = &t_sessionWithCallback; *link;
             link = &(*link)->m_pOuterSession) {
            if (*link == this) {
                *link = m_pOuterSession;
                break;
            }
        }
    }
    m_hSession.reset();
}

void CHttpSession::EnableStatusCallback() {
    if (!m_hSession || m_bCallbackEnabled)
        return;
    INTERNET_STATUS_CALLBACK old =
        Net().InternetSetStatusCallback(m_hSession.get(), &CHttpSession::StatusCallback);
    if (old == INTERNET_INVALID_STATUS_CALLBACK)
        ThrowInternetException(m_dwContext);
    m_pOldCallback = old;
    m_bCallbackEnabled = true;
    m_pOuterSession = t_sessionWithCallback;
    t_sessionWithCallback = this;
}

void CHttpSession::OnStatusCallback(DWORD_PTR context, DWORD status, void* information,
                                    DWORD informationLength) {
    if (m_bCallbackEnabled && m_pfnStatusHook)
        m_pfnStatusHook(m_hSession.get(), context, status, information, informationLength,
                        m_pHookData);
}

void CHttpSession::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* information,
                                  DWORD informationLength) {
    // Called by the library: nothing may escape into it.
    try {
        if (CHttpSession* session = t_sessionWithCallback)
            session->OnStatusCallback(context, status, information, informationLength);
    } catch (...) {
    }
}

unique_hinternet CHttpSession::GetHttpConnection(const char* server, INTERNET_PORT port) {
    unique_hinternet connection(Net().InternetConnectA(m_hSession.get(), server ? server : "", port,
                                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                                       m_dwContext));
    if (!connection)
        ThrowInternetException(m_dwContext);
    return connection;
}

BOOL IsAutoConfigUrlSet() {
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                            KEY_READ, key.put()) != ERROR_SUCCESS)
        return FALSE;
    char url[128] = {};
    DWORD size = sizeof url;
    LONG result = Sys().RegQueryValueExA(key.get(), "AutoConfigURL", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(url), &size);
    return result == ERROR_SUCCESS && url[0] != '\0';
}
