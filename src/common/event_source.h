// The event log's registration of the source "Norvane": the preparation
// names the program as the source's message file, so that Event Viewer on
// the master and on a copy (until the copy's run removes the program and the
// registration with it) shows each event's text from the program's message
// table. The events need none of it: a source that is not registered takes
// them too, and their strings describe themselves. Portable (NT only).
#pragma once

#include "port/port.h"

#include <string>

inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Norvane";

// The key with "EventMessageFile" (program, REG_EXPAND_SZ) and
// "TypesSupported" (error, warning, information). Returns the first failure
// (ERROR_SUCCESS when both were written); a half-written key is removed.
[[nodiscard]] port::LONG RegisterEventLogSource(const std::string& program);

// The key gone; ERROR_SUCCESS also when there was none.
[[nodiscard]] port::LONG UnregisterEventLogSource();
