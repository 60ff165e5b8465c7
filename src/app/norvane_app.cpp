#include "app/norvane_app.h"

#include "app/elevation.h"
#include "app/host_identity.h"
#include "app/master_host.h"
#include "app/one_run.h"
#include "app/prepare.h"
#include "app/worker.h"
#include "common/handles.h"
#include "common/message_box.h"
#include "common/platform.h"
#include "common/runkey.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/boot_service.h"
#include "reconfigure/run_control.h"
#include "string_ids.h"

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

namespace {

// The steps of a quiet run report through the record only; there is no
// window to write to.
class SilentView : public ProgressView {
public:
    void SetStatusText(const char*) override {}
    void RepaintStatus() override {}
    int ShowMessageBox(const char*, const char*, UINT) override { return IDOK; }
    void Hide() override {}
    void Done() override {}
};

std::string WindowsText() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!Sys().GetVersionExA(&info))
        return "an unknown Windows";
    const char* kind = info.dwPlatformId == VER_PLATFORM_WIN32_NT        ? "NT"
                       : info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? "9x"
                                                                         : "Win32s";
    return Format("Windows %s %lu.%lu build %lu", kind,
                  static_cast<unsigned long>(info.dwMajorVersion),
                  static_cast<unsigned long>(info.dwMinorVersion),
                  static_cast<unsigned long>(info.dwBuildNumber & 0xFFFF));
}

void Refuse(UINT stringId, UINT type, UINT helpId) {
    Report().Refuse();
    AfxMessageBox(stringId, type, helpId);
}

constexpr const char* kUsage =
    "Usage: norvane.exe [/silent] [/quiet] [/service]\n\n"
    "Run on the master computer, before its disk is imaged, it prepares the computer: each "
    "copy made from the image gets its own identity at its first start.\n\n"
    "/silent\tno closing message\n"
    "/quiet\tno window at all: the result goes to the log, the registry and the event log\n"
    "/service\talso a boot-time service that finishes each copy before anyone logs on\n"
    "/?\tthis text\n\n"
    "The command it registers adds the master's host identity. Nothing was changed.";

// A run that has nothing to do ends with its own code, and the outcome
// values (which travel into a disk image) stay those of the last run that
// did something.
void EndUnchanged(ExitCode code, const std::string& why, const std::string& text, UINT type) {
    Report().EndWith(code);
    Report().LeaveOutcomeValues();
    Report().Event(why);
    AfxMessageBox(text, type);
}

// The usage, or the first argument that is neither a switch nor a host
// identity: true when the run ends here.
bool EndedAtCommandLine(const CNorvaneCommandLineInfo& cmdInfo) {
    if (cmdInfo.m_bUsage) {
        EndUnchanged(kExitUsage, "The usage is shown: nothing is changed", kUsage,
                     MB_OK | MB_ICONINFORMATION);
        return true;
    }
    if (!cmdInfo.m_bRefused)
        return false;
    std::string const what =
        Format(cmdInfo.m_bRefusedIsFlag ? "the switch \"%s\"" : "the argument \"%s\"",
               cmdInfo.m_strRefused.c_str());
    EndUnchanged(kExitUsage,
                 "The command line holds " + what +
                     ", which is neither a switch nor a host identity: nothing is changed",
                 "The command line holds " + what + ", which this program does not know.\n\n" +
                     kUsage,
                 MB_OK | MB_ICONERROR);
    return true;
}

// The identity this machine was registered with: the master's record's, or
// where none was recorded (it could not be written, an earlier version made
// the registration) the one in the registered command.
std::string RegisteredIdentity() {
    std::string const recorded = RecordedMasterIdentity();
    if (!recorded.empty())
        return recorded;
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return {};
    CNorvaneCommandLineInfo registered;
    ParseCommandLine(SplitCommandLine(ReadRegString(key.get(), kOwnRunValue)), registered);
    return registered.m_bRefused ? std::string() : registered.m_strHostArg;
}

} // namespace

void CNorvaneApp::SetUnattendedErrorMode() const {
    CNorvaneCommandLineInfo cmdInfo;
    ParseCommandLine(SplitCommandLine(m_commandLine), cmdInfo);
    // The service's command (an identity with /service) is unattended even
    // before the service control manager has confirmed it.
    bool const service =
        m_bRunAsService || (cmdInfo.m_bService && IsHostIdentity(cmdInfo.m_strHostArg));
    if (service || cmdInfo.m_bQuiet)
        (void)Sys().SetErrorMode(kUnattendedErrorMode);
}

port::BOOL CNorvaneApp::InitInstance() {
    SetUnattendedErrorMode();
    // Before anything is logged or changed: from now on nobody can replace
    // or change the file this run was started from, and a preparation
    // registers these bytes.
    CProgramFile program;
    program.Hold();
    // The default name of the program is the caption until the title loads.
    std::string modulePath = GetModulePath();
    if (!modulePath.empty())
        m_defaultAppName = SplitPath(modulePath).fname;
    m_pszAppName = m_defaultAppName.c_str();
    AfxSetAppName(m_pszAppName);

    Report().Reset();
    try {
        Run(program);
    } catch (...) {
        // Each step shows its own failures; this is for what none expected.
        Report().Fail(kExitUnexpectedError);
        AfxMessageBox("An unexpected error ended the program:\n" + DescribeCurrentException(),
                      MB_OK | MB_ICONERROR);
    }
    m_nExitCode = Report().Finish();
    return FALSE;
}

void CNorvaneApp::Run(const CProgramFile& program) {
    // The command line is read first: a quiet run shows nothing at all.
    CNorvaneCommandLineInfo cmdInfo;
    ParseCommandLine(SplitCommandLine(m_commandLine), cmdInfo);
    // A service has no desktop: its run is a quiet one.
    if (m_bRunAsService)
        cmdInfo.m_bQuiet = TRUE;
    Report().SetQuiet(cmdInfo.m_bQuiet);
    Report().Event("Started on " + WindowsText() +
                   (m_bRunAsService    ? ", as the boot-time service"
                    : cmdInfo.m_bQuiet ? ", quiet"
                                       : "") +
                   ": " + m_commandLine);

    if (Sys().WSAStartup(0x0101) != 0) {
        Refuse(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return;
    }

    m_strTitle = LoadResString(IDS_APP_TITLE);
    m_pszAppName = m_strTitle.c_str();
    AfxSetAppName(m_pszAppName);

    if (EndedAtCommandLine(cmdInfo))
        return;

    if (IsOldNT()) {
        Refuse(IDS_OLD_NT, MB_ICONERROR, 0);
        return;
    }

    // A filtered token changes nothing: the instance with full rights does
    // the job, this one waits for it (and holds no lock meanwhile).
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT && HasFilteredToken()) {
        // Consent is asked only for work that is this instance's to do.
        if (!LeftToAnotherInstance(cmdInfo))
            RunElevated(m_commandLine, cmdInfo);
        return;
    }

    // One run at a time on the machine: two logons at once (a terminal
    // server, fast user switching) would both run a copy's steps.
    COneRunGuard guard;
    if (!guard.Acquire()) {
        // The lock of a run refuses a user without administrator rights:
        // such a user could change nothing anyway, and is told so as before.
        if (IsNT() && !IsAdministrator()) {
            Report().Event("This account may not open the lock of a run: it has no administrator "
                           "rights");
            Refuse(IDS_NOT_ADMINISTRATOR, MB_ICONERROR, static_cast<UINT>(-1));
            return;
        }
        Report().EndForAnother("Another instance of this program is running; this one ends and "
                               "changes nothing");
        return;
    }

    if (!RunValueExists(kOwnRunValue)) {
        // Started by its registration (the argument is a host identity), it
        // finds the registration gone: an instance started with it has done
        // the job since. Preparing this copy as a master would undo it.
        if (IsHostIdentity(cmdInfo.m_strHostArg)) {
            // The Run key opens for all access to administrators only: for
            // any other account the value looks gone whether it is or not.
            if (IsNT() && !IsAdministrator()) {
                Report().Event("This account may not open the Run key: it has no administrator "
                               "rights");
                Refuse(IDS_NOT_ADMINISTRATOR, MB_ICONERROR, static_cast<UINT>(-1));
                return;
            }
            Report().EndForAnother("This program's start-up value is gone: another instance has "
                                   "finished the job; this one ends and changes nothing");
            // A boot-time service left by a run stopped between removing
            // the service and its Run value takes itself away.
            if (m_bRunAsService)
                (void)RemoveBootService();
            return;
        }
        Report().SetMode(RunMode::Prepare);
        PrepareMasterImage(cmdInfo, program);
        return;
    }

    // Started without the registered identity (a double-click, a step of a
    // task sequence run twice) on the master it was registered on: such a
    // run leaves the master prepared.
    std::string hostArg = cmdInfo.m_strHostArg;
    bool const byHand = hostArg.empty();
    if (byHand)
        hostArg = RegisteredIdentity();
    HostVerdict const verdict = DecideThisHost(hostArg, m_bRunAsService);
    if (byHand && !hostArg.empty() && verdict == HostVerdict::Master) {
        EndUnchanged(kExitAlreadyPrepared,
                     "Started without its registered identity on the prepared master: nothing "
                     "is changed",
                     "This computer is prepared for imaging as the master: nothing was "
                     "changed.\n\nImage its disk now; each copy finishes itself at its first "
                     "start. To undo the preparation, see \"Undoing a preparation by hand\" in the "
                     "administrator's guide.",
                     MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (verdict == HostVerdict::Undecided) {
        Report().Fail(kExitCopyNotFinished);
        Report().EndBecause(
            "No network adapter is reported yet: the job is left to the next start");
        return;
    }
    // The master restarted before its disk is imaged: the image must carry
    // the registration, so it stays; a logon on the master undoes it.
    if (verdict == HostVerdict::Master && m_bRunAsService) {
        Report().Event("The master's preparation stays for its disk image");
        return;
    }
    port::BOOL const sameHost = verdict == HostVerdict::Master;
    unsigned const begun = WorkerSequencesBegun();
    if (cmdInfo.m_bQuiet)
        RunQuietly(sameHost);
    else if (m_runProgressDialog)
        m_runProgressDialog(sameHost);
    // A dialog that could not be made, or whose worker could not start, ran
    // nothing: that is no copy done.
    if (WorkerSequencesBegun() == begun) {
        Report().Fail(kExitUnexpectedError);
        Report().Event("The copy's steps did not run: the progress dialog or its worker could "
                       "not start");
    }
    if (!RunValueExists(kOwnRunValue))
        ForgetMasterHost();
}

void CNorvaneApp::RunQuietly(port::BOOL sameHost) {
    SilentView view;
    ReconfigurationData data;
    data.m_bSameHost = sameHost;
    data.m_bNoLogon = m_bRunAsService;
    // The service's control handler learns from it what the run owes the
    // machine when it is cut.
    CActiveRun const active(data);
    RunWorkerSequence(&view, data);
}
