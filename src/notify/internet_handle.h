// Owner of a WinINet handle, closed through the port when it goes out of
// scope (also while an exception passes).
#pragma once

#include "common/handles.h"
#include "port/internet.h"

struct InternetHandleTraits {
    using pointer = port::HINTERNET;
    static pointer invalid() { return nullptr; }
    static void close(pointer handle) {
        // Closing runs during unwinding too: keep the error being reported.
        auto& os = port::Sys();
        port::DWORD error = os.GetLastError();
        port::Net().InternetCloseHandle(handle);
        os.SetLastError(error);
    }
};
using unique_hinternet = unique_resource<InternetHandleTraits>;
