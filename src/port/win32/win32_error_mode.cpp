// Win32Os: the process's error mode.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

UINT Win32Os::SetErrorMode(UINT mode) {
    return ::SetErrorMode(mode);
}

} // namespace port
