// Win32Os: the registry's calls.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

LONG Win32Os::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
    return ::RegOpenKeyA(As<::HKEY>(key), subKey, As<::HKEY*>(result));
}

LONG Win32Os::RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                            HKEY* result) {
    return ::RegOpenKeyExA(As<::HKEY>(key), subKey, options, access, As<::HKEY*>(result));
}

LONG Win32Os::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* cls,
                              DWORD options, REGSAM access, void* security, HKEY* result,
                              DWORD* disposition) {
    return ::RegCreateKeyExA(As<::HKEY>(key), subKey, reserved, cls, options, access,
                             static_cast<LPSECURITY_ATTRIBUTES>(security), As<::HKEY*>(result),
                             As<LPDWORD>(disposition));
}

LONG Win32Os::RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                               DWORD* size) {
    return ::RegQueryValueExA(As<::HKEY>(key), name, As<LPDWORD>(reserved), As<LPDWORD>(type), data,
                              As<LPDWORD>(size));
}

LONG Win32Os::RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                             const BYTE* data, DWORD size) {
    return ::RegSetValueExA(As<::HKEY>(key), name, reserved, type, data, size);
}

LONG Win32Os::RegDeleteValueA(HKEY key, const char* name) {
    return ::RegDeleteValueA(As<::HKEY>(key), name);
}

LONG Win32Os::RegDeleteKeyA(HKEY key, const char* subKey) {
    return ::RegDeleteKeyA(As<::HKEY>(key), subKey);
}

LONG Win32Os::RegCloseKey(HKEY key) {
    return ::RegCloseKey(As<::HKEY>(key));
}

} // namespace port
