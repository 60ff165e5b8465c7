// Win32Os: file-system security. Descriptors pass through as the
// self-relative bytes the logic made or reads.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

BOOL Win32Os::GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                               DWORD* needed) {
    ::DWORD n = 0;
    BOOL const ok =
        ::GetFileSecurityA(path, info, static_cast<PSECURITY_DESCRIPTOR>(descriptor), size, &n);
    if (needed)
        *needed = n;
    return ok;
}

BOOL Win32Os::SetFileSecurityA(const char* path, DWORD info, const void* descriptor) {
    return ::SetFileSecurityA(
        path, info, const_cast<PSECURITY_DESCRIPTOR>(static_cast<const void*>(descriptor)));
}

BOOL Win32Os::CreateDirectoryWithSecurityA(const char* path, const void* descriptor) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = const_cast<void*>(descriptor);
    attributes.bInheritHandle = FALSE;
    return ::CreateDirectoryA(path, &attributes);
}

DWORD Win32Os::GetFileAttributesA(const char* path) {
    return ::GetFileAttributesA(path);
}

BOOL Win32Os::CopyFileA(const char* existing, const char* newName, BOOL failIfExists) {
    return ::CopyFileA(existing, newName, failIfExists);
}

BOOL Win32Os::RemoveDirectoryA(const char* path) {
    return ::RemoveDirectoryA(path);
}

BOOL Win32Os::LookupPrivilegeValueA(const char* name, LUID* luid) {
    ::LUID value{};
    if (!::LookupPrivilegeValueA(nullptr, name, &value))
        return FALSE;
    luid->LowPart = value.LowPart;
    luid->HighPart = value.HighPart;
    return TRUE;
}

BOOL Win32Os::AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) {
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    state.Privileges[0].Luid.LowPart = luid.LowPart;
    state.Privileges[0].Luid.HighPart = luid.HighPart;
    state.Privileges[0].Attributes = attributes;
    return ::AdjustTokenPrivileges(token, FALSE, &state, sizeof state, nullptr, nullptr);
}

} // namespace port
