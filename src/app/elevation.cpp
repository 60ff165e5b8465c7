#include "app/elevation.h"

#include "common/handles.h"
#include "common/message_box.h"
#include "common/platform.h"
#include "common/report.h"
#include "common/syserror.h"
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
                                      CSystemError(error).GetErrorText());
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
}
