// The boot-time run: a service of this program's own that runs a copy's
// steps at the copy's first start, before anyone logs on (Windows NT). The
// preparation installs it beside the Run value; whichever instance finishes
// the copy's run removes both.
#pragma once

#include <string>

inline constexpr const char* kBootServiceName = "Norvane";
inline constexpr const char* kBootServiceDisplayName = "Norvane Utility";
inline constexpr const char* kServiceOption = "/service";

// The service's command: the program's quoted path, the quoted
// slash-prefixed identity, " -HideWindow /service".
std::string BootServiceCommand(const std::string& program, const std::string& identity);

// Installs the service (own process, automatic start, the local system
// account) with command; one left by an earlier preparation gets the
// command and start type anew. Raises CSystemError.
void InstallBootService(const std::string& command);

// Removes the service where there is one (a running one once it stops):
// true when none is left to start again, false (the system's error in the
// record) when it could not be removed.
bool RemoveBootService();

// Whether the boot-time service is installed, and whether it runs now
// (started or starting), as any user may ask it.
struct BootServiceState {
    bool installed = false;
    bool running = false;
};
BootServiceState QueryBootService();
