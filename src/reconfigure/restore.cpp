// Undoing the preparation on the computer the utility runs on, removing the
// utility, and starting the client again.
#include "common/message_box.h"
#include "common/delayed_delete.h"
#include "common/event_source.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/runkey.h"
#include "common/secure_folder.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/boot_service.h"
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
                    const std::string& runValueName, bool nt) {
    if (!IsRunValueName(runValueName)) {
        Report().Event("The client's settings name no start-up value to write back");
    } else if (file.empty()) {
        // Without a program file the value would name the client's folder,
        // which Windows cannot start at any logon.
        Report().Fail(kExitCopyIncomplete);
        Report().Event("The client's start-up value \"" + runValueName +
                       "\" is not written back: its settings name no program file");
    } else {
        std::string const command = "\"" + ClientProgramPath(folder, file) + "\"";
        if (!SetRunValue(command, runValueName)) {
            Report().Fail(kExitCopyNotFinished);
            ShowLastError();
            return;
        }
        Report().Event("The client's start-up value \"" + runValueName +
                       "\" is back: " + RunCommandText(command));
    }
    // The boot-time service goes first: stopped after it, the run is
    // finished at the next logon by the Run value.
    if (nt && !RemoveBootService())
        Report().Fail(kExitCopyIncomplete);
    // A value that cannot be removed names a file that is gone after the
    // restart; Windows then skips it. Nothing is recorded between the two
    // steps: the file is queued at once after its value has gone.
    bool const unregistered = DeleteRunValue(kOwnRunValue);
    DWORD const error = Sys().GetLastError();
    std::string const self = GetModulePath();
    // The copy a preparation made goes with its folder (after the file, so
    // that the folder is empty when its turn comes).
    bool const installed = SamePath(self, InstalledProgramPath());
    std::vector<std::string> queued{self};
    if (installed)
        queued.push_back(InstalledProgramFolder());
    DeleteFilesAtRestart(queued);
    // Its event log source names the file that goes: the copy's events
    // describe themselves without it.
    if (nt) {
        LONG const source = UnregisterEventLogSource();
        Report().Event(source == ERROR_SUCCESS
                           ? std::string("The event log's source \"Norvane\" is unregistered")
                           : "The event log's source \"Norvane\" could not be unregistered: " +
                                 CSystemError(static_cast<DWORD>(source)).GetErrorText());
    }
    if (unregistered) {
        Report().Event("This program's start-up value is removed");
    } else {
        Report().Fail(kExitCopyIncomplete);
        ShowSystemError(CSystemError(error));
    }
    Report().Event("\"" + self + "\" is queued for deletion at the next restart" +
                   (installed ? ", its folder with it" : ""));
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
                       ReadIniString(kClientIniSection, kIniRunKey9x, "", iniPath), false);
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
        Report().Fail(kExitCopyNotFinished);
        AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
        return;
    }
    // Only once the listener starts by itself again may the utility give up
    // its own start-up entry; until then every logon retries.
    bool reconfigured = false;
    try {
        ScopedServiceHandle manager = OpenServiceManager();
        std::string const listener = ServiceNameFromFile(ReadIniString(
            kClientIniSection, kIniListenerServiceFile, kDefaultListenerServiceFile, iniPath));
        SetServiceStartType(OpenClientService(manager, listener), SERVICE_AUTO_START);
        reconfigured = true;
        Report().Event("The client's service \"" + listener + "\" starts automatically again");
    } catch (const CSystemError& error) {
        Report().Fail(kExitCopyNotFinished);
        ShowSystemError(error);
    }
    if (!reconfigured)
        return;
    RestoreStartup(folder, ReadIniString(kClientIniSection, kIniMonitorItemFile, "", iniPath),
                   ReadIniString(kClientIniSection, kIniRunKeyNT, "", iniPath), true);
    StartClient();
}

void CReconfiguration::StartClient() {
    Os& os = Sys();
    m_data.m_bClientStarted = true;
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT) {
        try {
            ScopedServiceHandle manager = OpenServiceManager();
            for (const auto& file :
                 ReadClientServiceFiles(JoinPath(ClientFolderNT(), kClientIniFile))) {
                ShowStatus(IDS_OPENING_SERVICES);
                ScopedServiceHandle service = OpenClientService(manager, ServiceNameFromFile(file));
                ShowStatus(IDS_STARTING_SERVICES);
                WaitServiceQueryable(service);
                std::string const name = ServiceNameFromFile(file);
                ServiceStartOutcome const start = StartServiceAndWait(service, name, [&]() {
                    ShowStatus(IDS_WAITING_SERVICE_START);
                    os.Sleep(kAfterStartMs);
                });
                if (start.running) {
                    Report().Event(Format("The client's service \"%s\" is running (%s)",
                                          name.c_str(),
                                          start.starts == 1 ? "one start" : "started again"));
                } else {
                    Report().Fail(kExitCopyIncomplete);
                    Report().Event("The client's service \"" + name +
                                   "\" did not start: " + start.why);
                }
            }
        } catch (const CSystemError& error) {
            Report().Fail(kExitCopyIncomplete);
            ShowSystemError(error);
        }
    }

    // No program named in the client's INI file: nothing to start (its
    // folder would be started instead, and refused).
    if (m_data.m_strMainProgramFile.empty())
        return;
    // Before anyone has logged on there is no desktop for it: the restored
    // Run value starts it at the next logon.
    if (m_data.m_bNoLogon) {
        Report().Event("Nobody is logged on: the client's program starts at the next logon");
        return;
    }
    ShowStatusNow(IDS_LOADING_PROGRAM);
    os.Sleep(kBeforeLaunchMs);
    STARTUPINFOA startup{};
    os.GetStartupInfoA(&startup);
    PROCESS_INFORMATION launched{};
    if (!os.CreateProcessA(m_data.m_strMainProgramPath.c_str(), nullptr, FALSE,
                           CREATE_DEFAULT_ERROR_MODE, nullptr, &startup, &launched)) {
        Report().Fail(kExitCopyIncomplete);
        ShowLastError(); // the dialog stays up until the sequence ends
        return;
    }
    Report().Event("The client's program is started: " + m_data.m_strMainProgramPath);
    // The program runs on its own; nothing waits for it.
    unique_handle process(launched.hProcess);
    unique_handle thread(launched.hThread);
    m_view.Hide();
}
