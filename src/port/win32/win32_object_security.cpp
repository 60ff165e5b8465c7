// Win32Os: the security of an object open through a handle.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

BOOL Win32Os::GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                      DWORD* needed) {
    ::DWORD n = 0;
    BOOL const ok = ::GetKernelObjectSecurity(
        object, info, static_cast<PSECURITY_DESCRIPTOR>(descriptor), size, &n);
    if (needed)
        *needed = n;
    return ok;
}

BOOL Win32Os::SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) {
    return ::SetKernelObjectSecurity(
        object, info, const_cast<PSECURITY_DESCRIPTOR>(static_cast<const void*>(descriptor)));
}

} // namespace port
