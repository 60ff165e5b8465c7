// The process-wide choice of OS port implementation.
#include "port/port.h"

#include <cstdlib>

namespace port {

namespace {
Os* g_os = nullptr;
}

Os& Sys() {
    // A program that forgot to install its port is a programming error.
    if (!g_os)
        std::abort();
    return *g_os;
}

void SetSys(Os* os) {
    g_os = os;
}

} // namespace port
