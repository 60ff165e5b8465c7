// Opening, stopping, starting and reconfiguring the client's services. Waits
// are bounded: a stop at most 20 attempts, 1000 ms apart; a start as long as
// the service manager's own start limit allows, a few starts at most.
#pragma once

#include "common/handles.h"
#include "port/port.h"

#include <functional>
#include <string>
#include <vector>

// A service control manager or service handle, closed on every path.
using ScopedServiceHandle = unique_schandle;

// The client's service executables from its INI file: the listener, then the
// real-time service (defaults when the file or keys are missing).
std::vector<std::string> ReadClientServiceFiles(const std::string& iniPath);

// The service name of an executable: its file name without drive, folder and
// extension ("C:\\X\\hxlisten.exe" -> "hxlisten").
std::string ServiceNameFromFile(const std::string& file);

// Raise CSystemError with the system's last error on failure.
ScopedServiceHandle OpenServiceManager();
ScopedServiceHandle OpenClientService(const ScopedServiceHandle& manager, const std::string& name);
void SetServiceStartType(const ScopedServiceHandle& service, port::DWORD startType);

// What a stop came to: the service was stopped already (no request sent),
// it stopped, or it was asked to and is still not stopped.
enum class ServiceStop { AlreadyStopped, Stopped, NotStopped };

// Never raise; each returns after at most 20 attempts.
ServiceStop StopServiceAndWait(const ScopedServiceHandle& service);
void WaitServiceQueryable(const ScopedServiceHandle& service);

// How long the service manager gives a started service's process to
// connect before the start fails with 1053: "ServicesPipeTimeout" under
// HKLM\SYSTEM\CurrentControlSet\Control (milliseconds; a number on Windows,
// a text on Wine) where set, 30 s otherwise; 1 s to 10 min.
port::DWORD ServiceStartLimitMs();

// What one start's wait came to: the service runs, it is stopped (the
// start failed or the service ended), or it is still starting and has made
// no progress for longer than it said it needs, or the start's whole time
// (the start limit and 20 s) is up.
enum class StartWait { Running, Stopped, GaveUp };
// Follows a service after a start, a query a second, never raising:
// startedAt is GetTickCount() when StartServiceA was called; *why says
// what the service last showed when the result is not Running.
StartWait WaitServiceRunning(const ScopedServiceHandle& service, port::DWORD startedAt,
                             port::DWORD limitMs, std::string* why);

struct ServiceStartOutcome {
    bool running = false;
    int starts = 0;  // StartServiceA calls made
    std::string why; // when it does not run: the last error, or what it showed
};
// Starts the service (already running counts) and waits for it to run; a
// service found stopped after a failed or timed-out start is started again,
// up to three starts, but not after an error no second try mends (disabled,
// no such service, marked for deletion, access denied). Every failed start
// is logged with its code and text. afterFirstStart runs once, right after
// the first StartServiceA returns (the caller's fixed pause). Never raises.
ServiceStartOutcome StartServiceAndWait(const ScopedServiceHandle& service, const std::string& name,
                                        const std::function<void()>& afterFirstStart);
