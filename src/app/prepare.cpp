#include "app/prepare.h"

#include "app/host_identity.h"
#include "app/master_host.h"
#include "common/message_box.h"
#include "common/event_source.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/program_place.h"
#include "common/report.h"
#include "common/runkey.h"
#include "common/secure_folder.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/boot_service.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

std::string StartupCommand(const std::string& program, const std::string& identity, bool quiet) {
    std::string command = Format("\"%s\" \"/%s\"", program.c_str(), identity.c_str());
    // Every copy of the image then runs without a window too. The option
    // the Run-value writer would append comes first, as it always has.
    if (quiet)
        command += std::string(" ") + kHideWindowOption + " /quiet";
    return command;
}

bool RegisterSelfForStartup(const std::string& iniPath, int platform, const std::string& program,
                            const std::string& identity, bool quiet) {
    std::string const command = StartupCommand(program, identity, quiet);
    if (!SetRunValue(command, kOwnRunValue)) {
        ShowLastError();
        return false;
    }
    Report().Event("Registered to run at the next logon: " + RunCommandText(command));
    // A value that cannot be deleted only means that the client also starts
    // at the next logon; the utility stops it there anyway.
    std::vector<std::string> names;
    if (platform == VER_PLATFORM_WIN32_WINDOWS)
        names.push_back(ReadIniString(kClientIniSection, kIniRunKey9x, "", iniPath));
    names.push_back(ReadIniString(kClientIniSection, kIniRunKeyNT, "", iniPath));
    for (const auto& name : names) {
        if (name.empty())
            continue;
        Report().Event(DeleteRunValue(name)
                           ? "The client's start-up value \"" + name + "\" is removed"
                           : "The client's start-up value \"" + name +
                                 "\" could not be removed: " + ErrorLine(Sys().GetLastError()));
    }
    return true;
}

namespace {

// "123456 bytes", or nothing where the size cannot be read.
std::string SizeText(const CProgramFile& program) {
    std::uint64_t size = 0;
    return program.Size(&size) ? Format(" (%llu bytes)", static_cast<unsigned long long>(size))
                               : std::string();
}

// Whether the program may be registered at all, before anything is changed:
// on NT only from its own file, held since the start, where nobody but
// administrators and the system could have put or changed it (a user could
// have swapped it before any check). false, with the reason shown and where
// to put the program instead.
bool ProgramMayBeRegistered(int platform, const CProgramFile& program) {
    if (platform != VER_PLATFORM_WIN32_NT)
        return true;
    if (!program.IsHeld()) {
        AfxMessageBox("This program cannot be registered: its own file " + program.Path() +
                          " cannot be held open: " + ErrorLine(program.HoldError()),
                      MB_OK | MB_ICONERROR);
        return false;
    }
    std::string why;
    if (!OthersMayReplaceProgram(program.Path(), &why))
        return true;
    PathParts const parts = SplitPath(program.Path());
    std::string folder = parts.drive + parts.dir;
    if (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    std::string const safe = InstalledProgramFolder();
    AfxMessageBox("This program cannot be registered from " + folder + ": " + why +
                      ". Put it in a folder that only administrators can change, such as " +
                      (safe.empty() ? std::string("%ProgramFiles%\\Norvane") : safe) +
                      ", and start it from there.",
                  MB_OK | MB_ICONERROR);
    return false;
}

// The copy in %ProgramFiles%\Norvane, made from the held file: its folder
// made or mended so that only administrators and the system can change it,
// an earlier copy replaced. false with the reason shown.
bool CopyProgram(const CProgramFile& program, const std::string& target) {
    Os& os = Sys();
    std::string note;
    std::string const folder = InstalledProgramFolder();
    if (!SecureFolder(folder, &note)) {
        AfxMessageBox("The program cannot be put where only administrators can change it: " + note,
                      MB_OK | MB_ICONERROR);
        return false;
    }
    if (!note.empty())
        Report().Event(note);
    // A file left there keeps whatever security it had: it goes first, and
    // the new one takes its folder's.
    if (KindOf(target) != EntryKind::Missing && !os.DeleteFileA(target.c_str())) {
        ShowLastError();
        return false;
    }
    std::string why;
    if (!program.CopyTo(target, &why)) {
        AfxMessageBox(why, MB_OK | MB_ICONERROR);
        return false;
    }
    if (OthersMayReplaceProgram(target, &why)) {
        AfxMessageBox("The program's copy " + target + " could be changed by others: " + why,
                      MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

// The program that the Run value and the service name: the held file where
// it lies, or for the boot-time service (which runs it as the local system
// account) a copy of it in %ProgramFiles%\Norvane. false, with the reason
// shown, when the copy cannot be had.
bool ProgramToRegister(int platform, bool service, const CProgramFile& program,
                       std::string* registered) {
    std::string const self = program.Path().empty() ? GetModulePath() : program.Path();
    std::string const target = InstalledProgramPath();
    if (platform != VER_PLATFORM_WIN32_NT || !service || target.empty() || SamePath(self, target)) {
        *registered = self;
        Report().Event("The program registered is " + self + SizeText(program) + ", where it lies");
        return true;
    }
    if (!CopyProgram(program, target))
        return false;
    *registered = target;
    Report().Event("The program registered is " + target + SizeText(program) + ", a copy of " +
                   self +
                   " made from the file this run was started from: the boot-time service "
                   "runs the program as the local system account");
    return true;
}

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
// The event log's source, named after the program registered; a source that
// cannot be registered only leaves the events without their texts.
bool RegisterSource(const std::string& program) {
    LONG const result = RegisterEventLogSource(program);
    if (result != ERROR_SUCCESS) {
        Report().Event("The event log's source \"Norvane\" could not be registered: " +
                       ErrorLine(static_cast<DWORD>(result)));
        return false;
    }
    Report().Event(
        std::string("The event log's source \"Norvane\" is registered: HKEY_LOCAL_MACHINE\\") +
        kEventSourceKey);
    return true;
}
} // namespace

void PrepareMasterImage(const CNorvaneCommandLineInfo& cmdInfo, const CProgramFile& program) {
    std::vector<std::string> changed;
    int platform = GetPlatformId();
    // The client's INI file where every copy will look for it: the copies
    // write back the Run value and restore the service it names.
    const std::string iniPath =
        JoinPath(platform == VER_PLATFORM_WIN32_WINDOWS ? GetWindowsFolder() : ClientFolderNT(),
                 kClientIniFile);
    Report().Event("Preparing this computer as the master of a disk image; the client's "
                   "settings file is " +
                   iniPath);

    if (platform == VER_PLATFORM_WIN32_NT) {
        if (!IsAdministrator()) {
            Report().Refuse();
            AfxMessageBox(IDS_NOT_ADMINISTRATOR, MB_ICONERROR);
            return;
        }
    }

    // Without an identity every copy would take itself for the master: it
    // would keep the master's GUID and tell nobody. Nothing is changed.
    std::string const identity = GetHostIdentity();
    if (identity.empty() &&
        (platform == VER_PLATFORM_WIN32_WINDOWS || platform == VER_PLATFORM_WIN32_NT)) {
        Report().Fail(kExitPreparationFailed);
        AfxMessageBox(IDS_NO_HOST_IDENTITY, MB_ICONERROR);
        return;
    }

    if (!ProgramMayBeRegistered(platform, program)) {
        Report().Fail(kExitPreparationFailed);
        return;
    }

    if (platform == VER_PLATFORM_WIN32_WINDOWS) {
        // Nothing to configure: the client's Run values go with the registration.
    } else if (platform == VER_PLATFORM_WIN32_NT) {
        try {
            ScopedServiceHandle manager = OpenServiceManager();
            std::vector<std::string> serviceFiles{ReadIniString(
                kClientIniSection, kIniListenerServiceFile, kDefaultListenerServiceFile, iniPath)};
            for (const auto& file : serviceFiles) {
                std::string const name = ServiceNameFromFile(file);
                ScopedServiceHandle service = OpenClientService(manager, name);
                SetServiceStartType(service, SERVICE_DEMAND_START);
                changed.push_back(name);
                Report().Event("The client's service \"" + name + "\" now starts on demand");
            }
        } catch (const CSystemError& error) {
            Report().Fail(kExitPreparationFailed);
            ShowSystemError(error);
        }
        if (changed.empty())
            return;
    } else {
        // Neither Windows 9x nor NT: nothing here knows how to prepare it.
        Report().Refuse();
        Report().Event(
            Format("Windows of platform %d is not supported; nothing is changed", platform));
        return;
    }

    // Without the registration nothing would undo the start type on the
    // copies, so a failed one leaves the master as it was.
    scope_exit undoStartTypes([&changed]() noexcept { RestoreAutomaticStart(changed); });
    std::string registered;
    if (!ProgramToRegister(platform, cmdInfo.m_bService != FALSE, program, &registered)) {
        Report().Fail(kExitPreparationFailed);
        return;
    }
    bool const source = platform == VER_PLATFORM_WIN32_NT && RegisterSource(registered);
    scope_exit undoSource([source]() noexcept {
        if (source)
            (void)UnregisterEventLogSource();
    });
    bool service = false;
    if (cmdInfo.m_bService && platform == VER_PLATFORM_WIN32_NT) {
        try {
            InstallBootService(BootServiceCommand(registered, identity));
            service = true;
        } catch (const CSystemError& error) {
            Report().Fail(kExitPreparationFailed);
            ShowSystemError(error);
            return;
        }
    } else if (cmdInfo.m_bService) {
        Report().Event("Windows 9x has no services: the copies run at their first logon only");
    }
    // A service that stays installed is no "nothing registered": the run
    // then ends as one that stopped half-way (its log names the service).
    scope_exit undoService([service]() noexcept {
        if (service && !RemoveBootService())
            Report().Fail(kExitUnexpectedError);
    });
    (void)RecordMasterHost(identity);
    scope_exit undoRecord([]() noexcept { ForgetMasterHost(); });
    if (!RegisterSelfForStartup(iniPath, platform, registered, identity, cmdInfo.m_bQuiet)) {
        Report().Fail(kExitPreparationFailed);
        return;
    }
    undoRecord.release();
    undoService.release();
    undoSource.release();
    undoStartTypes.release();
    // A quiet run records the closing message instead of showing it; a
    // silent one leaves it out.
    if (!cmdInfo.m_bSilent || cmdInfo.m_bQuiet)
        AfxMessageBox(IDS_CONFIGURED_FOR_RESTART, MB_OK, static_cast<UINT>(-1));
}
