// The order of the copy's steps and the checks between them.
#include "common/handles.h"
#include "common/message_box.h"
#include "common/platform.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/text.h"
#include "notify/notification.h"
#include "common/syserror.h"
#include "reconfigure/reconfiguration.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

namespace {

constexpr DWORD kWaitingPauseMs = 3000;
constexpr const char* kClient9xProgram = "STVWIN97.EXE";

const char* ClientKey() {
    return IsNT() ? kClientKeyNT : kClientKey9x;
}

bool OpenForReading(const char* path, unique_hkey& key) {
    return Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

} // namespace

void CReconfiguration::ShowStatus(UINT stringId) {
    m_view.SetStatusText(LoadResString(stringId).c_str());
}

void CReconfiguration::ShowStatusNow(UINT stringId) {
    ShowStatus(stringId);
    m_view.RepaintStatus();
}

void CReconfiguration::Run() {
    // What an earlier run left of a copy's values ("Guid", "ServerStatus")
    // would be taken for this one's.
    if (!m_data.m_bSameHost)
        Report().CopyBegins();
    if (!CheckClientInstalled())
        return;
    // Every step from here changes services or the machine's keys: a run
    // without the rights for them would stop the client and could not
    // start it again.
    if (IsNT() && !IsAdministrator()) {
        Report().Refuse();
        AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
        return;
    }
    LocateMainProgram();
    try {
        RunReconfiguration();
    } catch (...) {
        ProtectClient();
        throw;
    }
    ProtectClient();
}

void CReconfiguration::ProtectClient() {
    ProtectClientAfter(m_data);
}

void ProtectClientAfter(const ReconfigurationData& run) {
    if (run.m_bClientStarted || run.m_stoppedServices.empty())
        return;
    // The run ended before its restore: the services it stopped would stay
    // stopped for the whole session. They start again, but for a listener
    // that would still speak with the master's GUID: the server must never
    // see two machines as one. The utility stays registered.
    Report().Event("The copy is not finished: the client's services this run stopped are "
                   "started again; the next logon tries again");
    try {
        ScopedServiceHandle manager = OpenServiceManager();
        for (const auto& name : run.m_stoppedServices) {
            if (name == run.m_listenerService && !run.m_bGuidStored) {
                Report().Event("The client's service \"" + name +
                               "\" stays stopped: the client still has the master's GUID");
                continue;
            }
            ScopedServiceHandle service = OpenClientService(manager, name);
            bool const started = Sys().StartServiceA(service.get(), 0, nullptr) != FALSE;
            DWORD const error = Sys().GetLastError();
            Report().Event(started || error == ERROR_SERVICE_ALREADY_RUNNING
                               ? "The client's service \"" + name + "\" is started again"
                               : "The client's service \"" + name +
                                     "\" could not be started again: " + ErrorLine(error));
        }
    } catch (const CSystemError& error) {
        Report().Event("The client's services could not be started again: " + error.GetErrorText());
    }
}

void CReconfiguration::StepBegun(const char* step) {
    Report().Event(std::string("Step begun: ") + step);
}

void CReconfiguration::StepEnded(const char* step) {
    Report().Event(std::string("Step ended: ") + step);
}

bool CReconfiguration::CheckClientInstalled() {
    ShowStatus(IDS_CHECKING_CLIENT);
    Report().Event("Checking for the installed client");
    if (IsClientInstalled())
        return true;
    Report().Fail(kExitClientNotInstalled);
    (void)ViewMessageBox(m_view, LoadResString(IDS_CLIENT_NOT_INSTALLED), nullptr, MB_ICONERROR);
    return false;
}

bool CReconfiguration::IsClientInstalled() {
    unique_hkey key;
    if (IsNT())
        return OpenForReading(kClientKeyNT, key);

    // The 9x client: its main program in the folder its key names.
    if (!OpenForReading(kClientKey9x, key))
        return false;
    std::string const folder = ReadRegString(key.get(), kValueApplicationPath);
    key.reset();
    if (folder.empty())
        return false;
    try {
        return CountFiles(folder, kClient9xProgram, 0, nullptr, false, "") > 0;
    } catch (const CFileException&) {
        return false; // a search the runtime refuses finds nothing
    }
}

void CReconfiguration::LocateMainProgram() {
    std::string const windowsFolder = GetWindowsFolder();
    std::string folder, file;
    unique_hkey key;
    if (IsNT()) {
        std::string const iniPath = JoinPath(ClientFolderNT(), kClientIniFile);
        if (OpenForReading(kClientKeyNT, key)) {
            folder = ReadRegString(key.get(), kValueApplicationPath);
            if (folder.empty())
                folder = ReadRegString(key.get(), kValueInstallPath);
            key.reset();
        } else {
            folder = JoinPath(SplitPath(windowsFolder).drive, "Sentova NT");
        }
        file = ReadIniString(kClientIniSection, kIniMonitorItemFile, "", iniPath);
    } else {
        std::string const iniPath = JoinPath(windowsFolder, kClientIniFile);
        if (OpenForReading(kClientKey9x, key)) {
            folder = ReadRegString(key.get(), kValueApplicationPath);
            key.reset();
        } else {
            folder = JoinPath(GetProgramFilesFolder(), "Sentova 97");
        }
        file = ReadIniString(kClientIniSection, kIniRunKeyFile9x, "", iniPath);
    }
    m_data.m_strMainProgramFile = file;
    m_data.m_strClientFolder = folder;
    m_data.m_strMainProgramPath = ClientProgramPath(folder, file);
    Report().Event("The client is installed in \"" + folder + "\"; its program is \"" +
                   m_data.m_strMainProgramPath + "\"");
}

void CReconfiguration::RunReconfiguration() {
    if (m_data.m_bSameHost) {
        StepBegun("restoring the client");
        RestoreClient(true);
        StepEnded("restoring the client");
        return;
    }
    ShowStatusNow(IDS_WAITING);
    Sys().Sleep(kWaitingPauseMs);
    StepBegun("stopping the client");
    StopClient();
    StepEnded("stopping the client");
    m_view.SetStatusText("");
    std::string guid;
    StepBegun("creating a new GUID");
    bool const ok = CreateGuidKey(guid);
    m_data.m_bGuidStored = ok;
    StepEnded("creating a new GUID");
    if (!ok)
        Report().Fail(kExitCopyNotFinished);
    if (ok && IsClientValueAbsent() && IsClientModeSet()) {
        StepBegun("notifying the server");
        if (!NotifyServer(guid))
            Report().Fail(kExitServerNotTold);
        StepEnded("notifying the server");
    } else if (ok) {
        Report().Event("The client's settings ask for no notification of the server");
    }
    StepBegun("restoring the client");
    RestoreClient(ok);
    StepEnded("restoring the client");
}

bool CReconfiguration::IsClientValueAbsent() {
    unique_hkey key;
    if (!OpenForReading(ClientKey(), key))
        return false;
    const char* const value = IsNT() ? kValueApplicationPath : kValueProgramVersion;
    DWORD type = 0, size = 0;
    return Sys().RegQueryValueExA(key.get(), value, nullptr, &type, nullptr, &size) !=
           ERROR_SUCCESS;
}

bool CReconfiguration::IsClientModeSet() {
    unique_hkey key;
    if (!OpenForReading(ClientKey(), key))
        return false;
    return ReadRegDword(key.get(), kValueMode) != 0;
}

BOOL CReconfiguration::NotifyServer(const std::string& guid) {
    return ::NotifyServer(m_view, guid);
}
