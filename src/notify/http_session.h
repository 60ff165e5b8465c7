// CHttpSession: one WinINet session with an optional status hook, and the
// choice of access type and proxy for a request.
#pragma once

#include "notify/http_request.h"
#include "notify/internet_handle.h"

class CHttpSession {
public:
    // Opens the session (agent null: the application's name). The status
    // callback is installed only when statusHook is given. Throws
    // CInternetException when the session cannot be opened or the callback
    // cannot be installed (nothing stays open then).
    CHttpSession(HttpStatusHook statusHook, void* hookData, const char* agent,
                 port::DWORD_PTR context, port::DWORD accessType, const char* proxy,
                 const char* proxyBypass, port::DWORD flags);
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;
    virtual ~CHttpSession();

    virtual void Close();
    // Passes a notification to the hook while the callback is enabled.
    virtual void OnStatusCallback(port::DWORD_PTR context, port::DWORD status, void* information,
                                  port::DWORD informationLength);

    port::HINTERNET GetHandle() const { return m_hSession.get(); }
    port::DWORD_PTR GetContext() const { return m_dwContext; }
    // An HTTP connection to server:port without user name or password.
    // Throws CInternetException.
    unique_hinternet GetHttpConnection(const char* server, port::INTERNET_PORT port);

    HttpStatusHook m_pfnStatusHook;
    void* m_pHookData;

private:
    void EnableStatusCallback();
    static void StatusCallback(port::HINTERNET handle, port::DWORD_PTR context, port::DWORD status,
                               void* information, port::DWORD informationLength);

    unique_hinternet m_hSession;
    port::DWORD_PTR m_dwContext;
    bool m_bCallbackEnabled = false;
    port::INTERNET_STATUS_CALLBACK m_pOldCallback = nullptr;
    CHttpSession* m_pOuterSession = nullptr; // the thread's session with a callback before this one
};

// TRUE when the current user's Internet settings name an automatic
// configuration script ("AutoConfigURL", read into 128 bytes: a longer one
// counts as none).
port::BOOL IsAutoConfigUrlSet();
