// Win32Os: reading a file through a handle.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

BOOL Win32Os::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) {
    ::DWORD n = 0;
    BOOL const ok = ::ReadFile(file, buffer, size, &n, nullptr);
    if (read)
        *read = n;
    return ok;
}

} // namespace port
