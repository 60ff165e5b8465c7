// One run at a time on the machine: a machine-wide named mutex, held for the
// whole run. Two instances started together (two logons at once on a
// terminal server, fast user switching, a boot-time run beside a logon's)
// would otherwise both run a copy's steps and tell the server twice.
#pragma once

#include "common/handles.h"

inline constexpr const char* kOneRunMutexName = "Norvane.Run";

class COneRunGuard {
public:
    COneRunGuard() = default;
    COneRunGuard(const COneRunGuard&) = delete;
    COneRunGuard& operator=(const COneRunGuard&) = delete;

    // true when this instance may run: the mutex is new (it is held until
    // the guard ends), or the system could make none at all (nothing to
    // guard with; the run goes on as it always has). false when another
    // instance holds it, in any session.
    [[nodiscard]] bool Acquire();

private:
    unique_handle m_mutex;
};
