// Stopping the client before it gets its new identity: its programs are
// asked to close by window messages, its services are stopped. Every wait is
// bounded; a part that does not stop is left as it is.
#include "common/message_box.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/shared_values.h"
#include "common/syserror.h"
#include "reconfigure/reconfiguration.h"
#include "reconfigure/service_control.h"
#include "string_ids.h"

using namespace port;

namespace {

constexpr int kPasses = 20;
constexpr DWORD kPassMs = 1000;
constexpr DWORD kAfterWindowGoneMs = 3000;
constexpr DWORD kMonitorPauseMs = 3000;
constexpr DWORD kBeforeServiceStopMs = 1000;
constexpr DWORD kAfterProcessEndMs = 1000;
constexpr DWORD kAfterSharedValueGoneMs = 10000;

constexpr const char* kMainProgramClass = "STVNTClassName";
constexpr const char* kUpdateClass = "STVNT_UPDATE32";
constexpr const char* kMonitorClass = "StvNTMonClass";
constexpr WPARAM kMainProgramExitCommand = 32824;
constexpr UINT kUpdateExitMessage = WM_USER + 102;
constexpr UINT kMonitorExitMessage = WM_USER + 1201;
constexpr UINT k9xExitMessage = WM_USER + 1000;

constexpr const char* kSharedMainWindow = "WardlineCorp_MemoryMappedFile_MainWnd";
constexpr const char* kSharedProcessId = "WardlineCorp_MemoryMappedFile_ProcessID";

// Up to 20 passes a second apart until no window of the class is left; its
// program then gets 3 s more to end.
void WaitWindowGone(const char* windowClass) {
    Os& os = Sys();
    for (int pass = 0; pass < kPasses; ++pass) {
        if (!os.FindWindowA(windowClass, nullptr)) {
            os.Sleep(kAfterWindowGoneMs);
            return;
        }
        os.Sleep(kPassMs);
    }
}

} // namespace

void CReconfiguration::StopClient() {
    Os& os = Sys();
    int const platform = GetPlatformId();
    if (platform == VER_PLATFORM_WIN32_NT) {
        if (HWND const main = os.FindWindowA(kMainProgramClass, nullptr)) {
            Report().Event("The client's main program is asked to close");
            ShowStatus(IDS_STOPPING_MAIN_PROGRAM);
            os.PostMessageA(main, WM_COMMAND, kMainProgramExitCommand, 0);
            WaitWindowGone(kMainProgramClass);
        }
        if (HWND const update = os.FindWindowA(kUpdateClass, nullptr)) {
            Report().Event("The client's background update is asked to close");
            ShowStatus(IDS_STOPPING_UPDATE);
            os.PostMessageA(update, kUpdateExitMessage, 0, 0);
            WaitWindowGone(kUpdateClass);
        }
        if (!os.FindWindowA(kMonitorClass, nullptr)) {
            ShowStatusNow(IDS_WAITING);
            os.Sleep(kMonitorPauseMs);
        }
        if (HWND const monitor = os.FindWindowA(kMonitorClass, nullptr)) {
            Report().Event("The client's real-time monitor is asked to close");
            ShowStatus(IDS_STOPPING_MONITOR);
            os.PostMessageA(monitor, kMonitorExitMessage, 0, 0);
            WaitWindowGone(kMonitorClass);
        }
        try {
            std::vector<std::string> const services =
                ReadClientServiceFiles(JoinPath(ClientFolderNT(), kClientIniFile));
            ScopedServiceHandle manager = OpenServiceManager();
            m_data.m_listenerService = ServiceNameFromFile(services.front());
            for (const auto& file : services) {
                std::string const name = ServiceNameFromFile(file);
                ScopedServiceHandle service = OpenClientService(manager, name);
                ShowStatus(IDS_STOPPING_SERVICES);
                os.Sleep(kBeforeServiceStopMs);
                // A service this run asked to stop is this run's to start
                // again, whatever becomes of the rest; counted so before the
                // request goes out, for a run cut while it stops.
                m_data.m_stoppedServices.push_back(name);
                ServiceStop const stop = StopServiceAndWait(service);
                if (stop == ServiceStop::AlreadyStopped)
                    m_data.m_stoppedServices.pop_back();
                if (stop == ServiceStop::NotStopped) {
                    Report().Fail(kExitCopyIncomplete);
                    Report().Event("The client's service \"" + name + "\" did not stop");
                } else {
                    Report().Event(
                        "The client's service \"" + name +
                        (stop == ServiceStop::Stopped ? "\" is stopped" : "\" was not running"));
                }
            }
        } catch (const CSystemError& error) {
            Report().Fail(kExitCopyIncomplete);
            ShowSystemError(error);
        }
        return;
    }
    if (platform != VER_PLATFORM_WIN32_WINDOWS)
        return;

    ShowStatus(IDS_STOPPING_MAIN_PROGRAM);
    HWND const main = ReadSharedHandle(kSharedMainWindow);
    if (!main)
        return;
    DWORD const processId = ReadSharedValue(kSharedProcessId);
    Report().Event("The client's main program is asked to close");
    os.PostMessageA(main, k9xExitMessage, 0, 0);
    os.PostMessageA(main, WM_QUIT, 0, 0);
    if (processId) {
        // Waiting on a process needs SYNCHRONIZE wherever rights are checked.
        unique_handle process(os.OpenProcess(PROCESS_DUP_HANDLE | SYNCHRONIZE, TRUE, processId));
        if (process) {
            for (int attempt = 0; attempt < kPasses; ++attempt) {
                if (os.WaitForSingleObject(process.get(), kPassMs) == WAIT_OBJECT_0) {
                    os.Sleep(kAfterProcessEndMs);
                    return;
                }
            }
        }
    }
    for (int pass = 0; pass < kPasses; ++pass) {
        if (!ReadSharedHandle(kSharedMainWindow)) {
            os.Sleep(kAfterSharedValueGoneMs);
            return;
        }
        os.Sleep(kPassMs);
    }
}
