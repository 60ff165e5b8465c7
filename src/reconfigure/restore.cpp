// Undoing the preparation on the computer the utility runs on, removing the
// utility, and starting the client again.
#include "app/message_box.h"
#include "common/delayed_delete.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/registry.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "reconfigure/reconfiguration.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

namespace {

constexpr DWORD kAfterStartMs = 4000;
constexpr DWORD kBeforeLaunchMs = 1000;

std::string ClientFolder9x() {
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey9x, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return {};
    return ReadRegString(key.get(), kValueApplicationPath);
}

// The client's start-up entry back in the Run key, then this program out of
// it and off the disk at the next restart. When the client's entry cannot be
// written, the utility stays registered: the next logon tries again, and the
// client is never left without a way to start. A name that is empty or no
// Run value name at all (too long) names nothing to restore: the master's
// preparation could not have removed a value of that name either.
void RestoreStartup(const std::string& folder, const std::string& file,
                    const std::string& runValueName) {
    if (IsRunValueName(runValueName) &&
        !SetRunValue("\"" + ClientProgramPath(folder, file) + "\"", runValueName)) {
        ShowLastError();
        return;
    }
    // A value that cannot be removed names a file that is gone after the
    // restart; Windows then skips it.
    if (!DeleteRunValue(kOwnRunValue))
        ShowLastError();
    DeleteFilesAtRestart({GetModulePath()});
}

} // namespace

void CReconfiguration::RestoreClient(bool proceed) {
    int const platform = GetPlatformId();
    if (platform == VER_PLATFORM_WIN32_WINDOWS) {
        std::string const iniPath = JoinPath(GetWindowsFolder(), kClientIniFile);
        if (!proceed)
            return;
        RestoreStartup(ClientFolder9x(),
                       ReadIniString(kClientIniSection, kIniMainItemFile9x, "", iniPath),
                       ReadIniString(kClientIniSection, kIniRunKey9x, "", iniPath));
        StartClient();
        return;
    }
    if (platform != VER_PLATFORM_WIN32_NT)
        return;

    std::string const folder = ClientFolderNT();
    std::string const iniPath = JoinPath(folder, kClientIniFile);
    if (!proceed)
        return;
    if (!IsAdministrator()) {
        AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
        return;
    }
    // Only once the listener starts by itself again may the utility give up
    // its own start-up entry; until then every logon retries.
    bool reconfigured = false;
    try {
        ScopedServiceHandle manager = OpenServiceManager();
        std::string const listener = ReadIniString(kClientIniSection, kIniListenerServiceFile,
                                                   kDefaultListenerServiceFile, iniPath);
        SetServiceStartType(OpenClientService(manager, ServiceNameFromFile(listener)),
                            SERVICE_AUTO_START);
        reconfigured = true;
    } catch (const CSystemError& error) {
        ShowSystemError(error);
    }
    if (!reconfigured)
        return;
    RestoreStartup(folder, ReadIniString(kClientIniSection, kIniMonitorItemFile, "", iniPath),
                   ReadIniString(kClientIniSection, kIniRunKeyNT, "", iniPath));
    StartClient();
}

void CReconfiguration::StartClient() {
    Os& os = Sys();
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT) {
        try {
            ScopedServiceHandle manager = OpenServiceManager();
            for (const auto& file :
                 ReadClientServiceFiles(JoinPath(ClientFolderNT(), kClientIniFile))) {
                ShowStatus(IDS_OPENING_SERVICES);
                ScopedServiceHandle service = OpenClientService(manager, ServiceNameFromFile(file));
                ShowStatus(IDS_STARTING_SERVICES);
                WaitServiceQueryable(service);
                os.StartServiceA(service.get(), 0, nullptr); // already running is fine
                ShowStatus(IDS_WAITING_SERVICE_START);
                os.Sleep(kAfterStartMs);
                WaitServiceRunning(service);
            }
        } catch (const CSystemError& error) {
            ShowSystemError(error);
        }
    }

    // No program named in the client's INI file: nothing to start (its
    // folder would be started instead, and refused).
    if (m_data.m_strMainProgramFile.empty())
        return;
    ShowStatusNow(IDS_LOADING_PROGRAM);
    os.Sleep(kBeforeLaunchMs);
    STARTUPINFOA startup{};
    os.GetStartupInfoA(&startup);
    PROCESS_INFORMATION launched{};
    if (!os.CreateProcessA(m_data.m_strMainProgramPath.c_str(), nullptr, FALSE,
                           CREATE_DEFAULT_ERROR_MODE, nullptr, &startup, &launched)) {
        ShowLastError(); // the dialog stays up until the sequence ends
        return;
    }
    // The program runs on its own; nothing waits for it.
    unique_handle process(launched.hProcess);
    unique_handle thread(launched.hThread);
    m_view.Hide();
}
