// Opening, stopping, starting and reconfiguring the client's services. Waits
// are bounded: at most 20 attempts, 1000 ms apart.
#pragma once

#include "common/handles.h"
#include "port/port.h"

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

// Never raise; each returns after at most 20 attempts. The running wait
// tells whether the service reached the state.
ServiceStop StopServiceAndWait(const ScopedServiceHandle& service);
void WaitServiceQueryable(const ScopedServiceHandle& service);
bool WaitServiceRunning(const ScopedServiceHandle& service);
