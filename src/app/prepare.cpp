#include "app/prepare.h"

#include "app/host_identity.h"
#include "app/norvane_app.h"
#include "common/platform.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

void RegisterSelfForStartup(const std::string& iniPath) {
    DeleteRunValue(ReadIniString(kClientIniSection, kIniRunKeyNT, "", iniPath));
    std::string command =
        Format("\"%s\" \"/%s\"", GetModulePath().c_str(), GetHostIdentity().c_str());
    SetRunValue(command, kOwnRunValue);
}

void PrepareMasterImage(const CNorvaneCommandLineInfo& cmdInfo, const std::string& clientFolder) {
    const std::string iniPath = JoinPath(clientFolder, kClientIniFile);
    bool changed = false;
    int platform = GetPlatformId();

    if (platform == VER_PLATFORM_WIN32_WINDOWS) {
        DeleteRunValue(ReadIniString(kClientIniSection, kIniRunKey9x, "", iniPath));
    } else if (platform == VER_PLATFORM_WIN32_NT) {
        if (!IsAdministrator()) {
            AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
            return;
        }
        try {
            ScopedServiceHandle manager = OpenServiceManager();
            std::vector<std::string> serviceFiles{ReadIniString(
                kClientIniSection, kIniListenerServiceFile, kDefaultListenerServiceFile, iniPath)};
            for (const auto& file : serviceFiles) {
                ScopedServiceHandle service = OpenClientService(manager, ServiceNameFromFile(file));
                SetServiceStartType(service, SERVICE_DEMAND_START);
                changed = true;
            }
        } catch (const CSystemError& error) {
            CSystemError copy = error;
            AfxMessageBox(copy.GetErrorText(), MB_ICONERROR);
        }
        if (!changed)
            return;
    } else {
        return;
    }

    RegisterSelfForStartup(iniPath);
    if (!cmdInfo.m_bSilent)
        AfxMessageBox(IDS_CONFIGURED_FOR_RESTART, MB_OK, static_cast<UINT>(-1));
}
