#include "app/prepare.h"

#include "app/host_identity.h"
#include "app/message_box.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

bool RegisterSelfForStartup(const std::string& iniPath, int platform) {
    std::string command =
        Format("\"%s\" \"/%s\"", GetModulePath().c_str(), GetHostIdentity().c_str());
    if (!SetRunValue(command, kOwnRunValue)) {
        ShowLastError();
        return false;
    }
    // A value that cannot be deleted only means that the client also starts
    // at the next logon; the utility stops it there anyway.
    if (platform == VER_PLATFORM_WIN32_WINDOWS)
        (void)DeleteRunValue(ReadIniString(kClientIniSection, kIniRunKey9x, "", iniPath));
    (void)DeleteRunValue(ReadIniString(kClientIniSection, kIniRunKeyNT, "", iniPath));
    return true;
}

namespace {
// Puts services whose start type the preparation changed back to automatic
// start (where every copy's restore puts the listener too).
void RestoreAutomaticStart(const std::vector<std::string>& serviceNames) noexcept {
    try {
        ScopedServiceHandle manager = OpenServiceManager();
        for (const auto& name : serviceNames)
            SetServiceStartType(OpenClientService(manager, name), SERVICE_AUTO_START);
    } catch (...) {
        // The error of the registration has been shown; this one adds nothing.
    }
}
} // namespace

void PrepareMasterImage(const CNorvaneCommandLineInfo& cmdInfo, const std::string& clientFolder) {
    const std::string iniPath = JoinPath(clientFolder, kClientIniFile);
    std::vector<std::string> changed;
    int platform = GetPlatformId();

    if (platform == VER_PLATFORM_WIN32_WINDOWS) {
        // Nothing to configure: the client's Run values go with the registration.
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
                std::string const name = ServiceNameFromFile(file);
                ScopedServiceHandle service = OpenClientService(manager, name);
                SetServiceStartType(service, SERVICE_DEMAND_START);
                changed.push_back(name);
            }
        } catch (const CSystemError& error) {
            ShowSystemError(error);
        }
        if (changed.empty())
            return;
    } else {
        return;
    }

    // Without the registration nothing would undo the start type on the
    // copies, so a failed one leaves the master as it was.
    scope_exit undoStartTypes([&changed]() noexcept { RestoreAutomaticStart(changed); });
    if (!RegisterSelfForStartup(iniPath, platform))
        return;
    undoStartTypes.release();
    if (!cmdInfo.m_bSilent)
        AfxMessageBox(IDS_CONFIGURED_FOR_RESTART, MB_OK, static_cast<UINT>(-1));
}
