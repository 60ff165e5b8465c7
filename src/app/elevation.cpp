#include "app/elevation.h"

#include "app/host_identity.h"
#include "common/handles.h"
#include "common/message_box.h"
#include "common/platform.h"
#include "common/report.h"
#include "common/runkey.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/boot_service.h"
#include "string_ids.h"

using namespace port;

bool HasFilteredToken() {
    return GetTokenElevationType() == TokenElevationTypeLimited;
}

namespace {
void RefuseWithoutRights(const std::string& why) {
    Report().Refuse();
    Report().Event(why);
    AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
}
} // namespace

bool LeftToAnotherInstance(const CNorvaneCommandLineInfo& cmdInfo) {
    // A filtered token reads the Run key but may not open it for writing,
    // as RunValueExists does.
    unique_hkey run;
    DWORD type = 0, size = 0;
    bool const registered =
        Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, run.put()) == ERROR_SUCCESS &&
        Sys().RegQueryValueExA(run.get(), kOwnRunValue, nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS;
    run.reset();
    if (IsHostIdentity(cmdInfo.m_strHostArg) && !registered) {
        Report().EndForAnother("This program's start-up value is gone: another instance has "
                               "finished the job; this one ends and changes nothing");
        return true;
    }
    BootServiceState const service = QueryBootService();
    if (registered && service.installed && (service.running || cmdInfo.m_bQuiet)) {
        Report().EndForAnother(std::string("The boot-time service ") +
                               (service.running ? "is doing the job now" : "does the job") +
                               "; this instance with a filtered token ends and changes nothing");
        return true;
    }
    return false;
}

void RunElevated(const std::string& commandLine, const CNorvaneCommandLineInfo& cmdInfo) {
    if (cmdInfo.m_bQuiet) {
        RefuseWithoutRights("This run has an administrator's filtered token; a quiet run asks "
                            "nobody for consent");
        return;
    }
    Os& os = Sys();
    std::string const program = GetModulePath();
    std::string const arguments = ArgumentsOf(commandLine);
    Report().Event("This run has an administrator's filtered token: it starts itself again "
                   "through the consent prompt");
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = program.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!os.ShellExecuteExA(&info)) {
        DWORD const error = os.GetLastError();
        RefuseWithoutRights(error == ERROR_CANCELLED
                                ? "The consent prompt was declined"
                                : "The program could not be started with full rights: " +
                                      ErrorLine(error));
        return;
    }
    unique_handle elevated(info.hProcess);
    // The elevated instance writes the outcome values of the run.
    Report().LeaveOutcomeValues();
    DWORD code = kExitUnexpectedError;
    if (!elevated || os.WaitForSingleObject(elevated.get(), INFINITE) != WAIT_OBJECT_0 ||
        !os.GetExitCodeProcess(elevated.get(), &code)) {
        Report().Event("The instance with full rights could not be waited for");
        code = kExitUnexpectedError;
    }
    Report().EndWith(static_cast<int>(code));
    Report().EndBecause(Format("The instance started with full rights ended with exit code %lu",
                               static_cast<unsigned long>(code)));
}
