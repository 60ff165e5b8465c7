// Owner of a WinINet handle, closed through the port when it goes out of
// scope (also while an exception passes).
#pragma once

#include "common/handles.h"
#include "port/internet.h"

struct hinternet_traits {
    using pointer = port::HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { port::Net().InternetCloseHandle(handle); }
};
using unique_hinternet = unique_resource<hinternet_traits>;
