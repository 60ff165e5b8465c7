// The process-wide choice of WinINet port implementation.
#include "port/internet.h"

#include <cstdlib>

namespace port {

namespace {
Internet* g_internet = nullptr;
}

Internet& Net() {
    // A program that forgot to install its port is a programming error.
    if (!g_internet)
        std::abort();
    return *g_internet;
}

void SetNet(Internet* internet) {
    g_internet = internet;
}

} // namespace port
