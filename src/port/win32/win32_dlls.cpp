// The DLL search of the program, and the delay-load hook that makes the
// DLLs loaded at their first call (OLE, WinINet, NetBIOS) come from the
// system folder too.
#include "port/win32/win32_dlls.h"

#include <delayimp.h>

#include <cstring>
#include <string>

namespace port {

namespace {

// Set when SetDefaultDllDirectories confines every bare-name load (and the
// dependencies of every DLL) to the system folder.
bool g_searchConfined = false;

template <class Fn> Fn Kernel32Function(const char* name) {
    // kernel32 is loaded into every process before any of its code runs.
    ::HMODULE const kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)))
                  : nullptr;
}

bool HasPath(const char* name) {
    return std::strpbrk(name, "\\/:") != nullptr;
}

} // namespace

void LimitDllSearchToSystemFolder() {
    // Windows 8 and later, Windows 7 and Vista with the update KB2533623.
    using SetDefaultFn = BOOL(WINAPI*)(DWORD);
    if (auto const setDefault = Kernel32Function<SetDefaultFn>("SetDefaultDllDirectories"))
        g_searchConfined = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    if (g_searchConfined)
        return;
    // Windows XP SP1 and later: the current folder is no longer searched.
    // The program's own folder still is, which is why LoadSystemLibrary
    // names the full path.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    if (auto const setDirectory = Kernel32Function<SetDllDirectoryFn>("SetDllDirectoryA"))
        setDirectory("");
}

::HMODULE LoadSystemLibrary(const char* name) {
    if (!name || !*name || HasPath(name))
        return ::LoadLibraryA(name);
    char folder[MAX_PATH];
    UINT const length = ::GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string path(folder, length);
    if (path.back() != '\\')
        path += '\\';
    path += name;
    // The system adds ".dll" to a name without an extension; said here, so
    // that the full path names the same file.
    if (std::strchr(name, '.') == nullptr)
        path += ".dll";
    if (g_searchConfined)
        return ::LoadLibraryA(path.c_str());
    // The DLLs this one needs are then looked for beside it (the system
    // folder) instead of beside the program.
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace port

namespace {

// Called by the runtime's delay-load helper before it loads a DLL of the
// program's delay imports. The DLL is loaded here from the system folder;
// the helper itself would call LoadLibraryA with the bare name, which looks
// in the program's folder first where the search is not confined.
FARPROC WINAPI DelayLoadHook(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary)
        return nullptr;
    ::HMODULE const module = port::LoadSystemLibrary(info->szDll);
    if (module)
        return reinterpret_cast<FARPROC>(module);
    // Not in the system folder: the call fails as the helper fails a DLL
    // that is not there at all, rather than letting it look elsewhere.
    info->dwLastError = ::GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
}

} // namespace

// The helper reads this hook (MinGW-w64's and Visual C++'s alike).
extern "C" {
#if defined(_MSC_VER)
const PfnDliHook __pfnDliNotifyHook2 = DelayLoadHook;
#else
PfnDliHook __pfnDliNotifyHook2 = DelayLoadHook;
#endif
}
