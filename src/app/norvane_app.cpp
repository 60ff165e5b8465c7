#include "app/norvane_app.h"

#include "app/host_identity.h"
#include "app/message_box.h"
#include "app/prepare.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "common/text.h"
#include "string_ids.h"

#include <algorithm>
#include <cstring>

using namespace port;

CNorvaneApp::CNorvaneApp() {
    m_defaultAppName = "Norvane";
    m_pszAppName = m_defaultAppName.c_str();
    AfxSetAppName(m_pszAppName);
}

CNorvaneApp::~CNorvaneApp() {
    if (AfxGetAppName() == m_pszAppName)
        AfxSetAppName(nullptr);
}

port::BOOL IsOldNT() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!Sys().GetVersionExA(&info))
        return FALSE;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 4;
}

port::BOOL ReadApplicationPath(char* buffer) {
    unique_hkey key;
    if (Sys().RegOpenKeyA(HKEY_LOCAL_MACHINE, kClientKeyNT, key.put()) != ERROR_SUCCESS)
        return FALSE;
    // Read beside the caller's buffer so that a failed read leaves it as it
    // was, and so that a value filling all 260 bytes still ends in a zero.
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (Sys().RegQueryValueExA(key.get(), kValueApplicationPath, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return FALSE;
    std::size_t length = std::min<std::size_t>(std::strlen(value), MAX_PATH - 1);
    std::memcpy(buffer, value, length);
    buffer[length] = '\0';
    return TRUE;
}

port::BOOL CNorvaneApp::InitInstance() {
    // The default name of the program is the caption until the title loads.
    std::string modulePath = GetModulePath();
    if (!modulePath.empty())
        m_defaultAppName = SplitPath(modulePath).fname;
    m_pszAppName = m_defaultAppName.c_str();
    AfxSetAppName(m_pszAppName);

    if (Sys().WSAStartup(0x0101) != 0) {
        AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }

    CNorvaneCommandLineInfo cmdInfo;
    ParseCommandLine(SplitCommandLine(m_commandLine), cmdInfo);

    m_strTitle = LoadResString(IDS_APP_TITLE);
    m_pszAppName = m_strTitle.c_str();
    AfxSetAppName(m_pszAppName);

    if (IsOldNT()) {
        AfxMessageBox(IDS_OLD_NT, MB_ICONERROR, 0);
        return FALSE;
    }

    // A missing value leaves the folder empty; the INI defaults then apply.
    char clientFolder[MAX_PATH] = {};
    (void)ReadApplicationPath(clientFolder);

    if (!RunValueExists(kOwnRunValue)) {
        PrepareMasterImage(cmdInfo, clientFolder);
        return FALSE;
    }

    std::string identity = GetHostIdentity();
    port::BOOL sameHost = MbsICmp(identity, cmdInfo.m_strHostArg) == 0;
    if (m_runProgressDialog)
        m_runProgressDialog(sameHost);
    return FALSE;
}
