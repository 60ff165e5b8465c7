// One run at a time on the machine: a machine-wide lock, held for the whole
// run. Two instances started together (two logons at once on a terminal
// server, fast user switching, a boot-time run beside a logon's) would
// otherwise both run a copy's steps and tell the server twice.
//
// Any user of the machine could make an object of the lock's name first and
// keep every run out for ever; so the lock lives where only the system and
// the administrators reach: in a private namespace whose boundary holds the
// Administrators group (Windows Vista and later), or as a "Global\" mutex
// that only they may open and whose owner is one of them (Windows 2000 and
// later). Older systems have the plain machine-wide mutex.
#pragma once

#include "common/handles.h"

inline constexpr const char* kOneRunMutexName = "Norvane.Run";
// The private namespace's boundary name and alias.
inline constexpr const char* kOneRunNamespace = "Norvane";

// A private namespace, closed with ClosePrivateNamespace.
struct namespace_traits {
    using pointer = port::HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer space) noexcept { port::Sys().ClosePrivateNamespace(space, 0); }
};
using unique_namespace = unique_resource<namespace_traits>;

class COneRunGuard {
public:
    COneRunGuard() = default;
    COneRunGuard(const COneRunGuard&) = delete;
    COneRunGuard& operator=(const COneRunGuard&) = delete;

    // true when this instance may run: the lock is new (it is held until the
    // guard ends), or none could be made at all, or the one there is another
    // user's (recorded; the run goes on as without a lock). false when
    // another instance holds it, or when this instance may not open it (the
    // lock of a run with other rights is still a run).
    [[nodiscard]] bool Acquire();

private:
    enum class Result { Mine, Another, NoLock };
    Result InPrivateNamespace();
    Result AsGuardedMutex();
    Result AsPlainMutex();

    // Declared before the mutex: it goes after it.
    unique_namespace m_namespace;
    unique_handle m_mutex;
};
