#include "app/one_run.h"

#include "common/report.h"
#include "common/syserror.h"

#include <string>

using namespace port;

bool COneRunGuard::Acquire() {
    Os& os = Sys();
    // In the "Global\" namespace, so that every session sees it; a system
    // without that namespace (before Windows 2000) refuses the name, and
    // the plain one is then machine-wide anyway.
    std::string const global = std::string("Global\\") + kOneRunMutexName;
    for (const std::string& name : {global, std::string(kOneRunMutexName)}) {
        m_mutex.reset(os.CreateMutexA(FALSE, name.c_str()));
        DWORD const error = os.GetLastError();
        if (m_mutex) {
            if (error != ERROR_ALREADY_EXISTS)
                return true;
            m_mutex.reset();
            return false;
        }
        // Held in another session by an account whose mutex this one may
        // not open: another instance all the same.
        if (error == ERROR_ACCESS_DENIED)
            return false;
    }
    Report().Event("No mutex could be made to keep other instances out (" +
                   CSystemError(os.GetLastError()).GetErrorText() + "); the run goes on");
    return true;
}
