// Win32Os: the port over the real system. Every method is a direct call of
// the Win32 function it is named after; only types are converted.
#include "port/win32/win32_os.h"
#include "port/win32/win32_dlls.h"

#include <winsock2.h>
#include <windows.h>
#include <nb30.h>
#include <objbase.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace port {

DWORD Win32Os::GetLastError() {
    return ::GetLastError();
}
void Win32Os::SetLastError(DWORD code) {
    ::SetLastError(code);
}

BOOL Win32Os::GetVersionExA(OSVERSIONINFOA* info) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    return ::GetVersionExA(As<::OSVERSIONINFOA*>(info));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

UCHAR Win32Os::Netbios(NCB* ncb) {
    ::NCB block;
    std::memset(&block, 0, sizeof block);
    block.ncb_command = ncb->ncb_command;
    block.ncb_lana_num = ncb->ncb_lana_num;
    block.ncb_buffer = static_cast<PUCHAR>(ncb->ncb_buffer);
    block.ncb_length = ncb->ncb_length;
    std::memcpy(block.ncb_callname, ncb->ncb_callname, sizeof block.ncb_callname);
    UCHAR result = ::Netbios(&block);
    ncb->ncb_retcode = block.ncb_retcode;
    return result;
}

DWORD Win32Os::GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
    return ::GetModuleFileNameA(As<::HMODULE>(module), buffer, size);
}

BOOL Win32Os::GetComputerNameA(char* buffer, DWORD* size) {
    return ::GetComputerNameA(buffer, As<LPDWORD>(size));
}

UINT Win32Os::GetWindowsDirectoryA(char* buffer, UINT size) {
    return ::GetWindowsDirectoryA(buffer, size);
}

UINT Win32Os::GetACP() {
    return ::GetACP();
}
BOOL Win32Os::IsDBCSLeadByte(BYTE c) {
    return ::IsDBCSLeadByte(c);
}

int Win32Os::WSAStartup(WORD version) {
    WSADATA data;
    return ::WSAStartup(version, &data);
}

int Win32Os::gethostname(char* name, int size) {
    return ::gethostname(name, size);
}

BOOL Win32Os::GetHostFirstAddress(const char* name, DWORD* address) {
    hostent* host = ::gethostbyname(name);
    if (!host || !host->h_addr_list || !host->h_addr_list[0] || host->h_length != 4)
        return FALSE;
    std::memcpy(address, host->h_addr_list[0], 4);
    return TRUE;
}

int Win32Os::LoadStringA(UINT id, char* buffer, int size) {
    return ::LoadStringA(::GetModuleHandleA(nullptr), id, buffer, size);
}

int Win32Os::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(As<::HWND>(owner), text, caption, type);
}

DWORD Win32Os::GetPrivateProfileStringA(const char* section, const char* key,
                                        const char* defaultValue, char* buffer, DWORD size,
                                        const char* file) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

DWORD Win32Os::GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                         const char* file) {
    return ::GetPrivateProfileSectionA(section, buffer, size, file);
}

BOOL Win32Os::WritePrivateProfileSectionA(const char* section, const char* data, const char* file) {
    return ::WritePrivateProfileSectionA(section, data, file);
}

BOOL Win32Os::OpenProcessToken(DWORD access, HANDLE* token) {
    return ::OpenProcessToken(::GetCurrentProcess(), access, token);
}

BOOL Win32Os::GetTokenInformation(HANDLE token, int infoClass, void* buffer, DWORD size,
                                  DWORD* returned) {
    return ::GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(infoClass), buffer,
                                 size, As<PDWORD>(returned));
}

BOOL Win32Os::AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                       DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                       DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    return ::AllocateAndInitializeSid(
        As<PSID_IDENTIFIER_AUTHORITY>(const_cast<SID_IDENTIFIER_AUTHORITY*>(authority)), count,
        sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7, sid);
}

BOOL Win32Os::EqualSid(PSID a, PSID b) {
    return ::EqualSid(a, b);
}
void Win32Os::FreeSid(PSID sid) {
    ::FreeSid(sid);
}
BOOL Win32Os::CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

HDC Win32Os::GetDC(HWND window) {
    return As<HDC>(::GetDC(As<::HWND>(window)));
}

int Win32Os::GetDeviceCaps(HDC dc, int index) {
    return ::GetDeviceCaps(As<::HDC>(dc), index);
}

int Win32Os::ReleaseDC(HWND window, HDC dc) {
    return ::ReleaseDC(As<::HWND>(window), As<::HDC>(dc));
}

namespace {
void CopyEntry(const _finddata_t& data, FIND_ENTRY* entry) {
    entry->attrib = data.attrib;
    std::snprintf(entry->name, sizeof entry->name, "%s", data.name);
}
} // namespace

std::intptr_t Win32Os::FindFirstEntry(const char* spec, FIND_ENTRY* entry, int* error) {
    _finddata_t data;
    errno = 0;
    intptr_t handle = ::_findfirst(spec, &data);
    if (handle == -1) {
        *error = errno;
        return -1;
    }
    CopyEntry(data, entry);
    return handle;
}

int Win32Os::FindNextEntry(std::intptr_t search, FIND_ENTRY* entry) {
    _finddata_t data;
    if (::_findnext(search, &data) != 0)
        return -1;
    CopyEntry(data, entry);
    return 0;
}

int Win32Os::FindCloseEntry(std::intptr_t search) {
    return ::_findclose(search);
}

DWORD Win32Os::FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                              char** allocatedText) {
    *allocatedText = nullptr;
    return ::FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, messageId, languageId,
                            reinterpret_cast<LPSTR>(allocatedText), 0, nullptr);
}

void Win32Os::LocalFree(void* memory) {
    ::LocalFree(memory);
}

HMODULE Win32Os::LoadLibraryA(const char* name) {
    // Bare names from the system folder only, never from the program's.
    return As<HMODULE>(LoadSystemLibrary(name));
}

FARPROC Win32Os::GetProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<FARPROC>(::GetProcAddress(As<::HMODULE>(module), name));
}

BOOL Win32Os::FreeLibrary(HMODULE module) {
    return ::FreeLibrary(As<::HMODULE>(module));
}

void Win32Os::Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}
DWORD Win32Os::GetTickCount() {
    return ::GetTickCount();
}

void Win32Os::GetLocalTime(SYSTEMTIME* time) {
    ::GetLocalTime(As<::SYSTEMTIME*>(time));
}

HWND Win32Os::FindWindowA(const char* className, const char* windowName) {
    return As<HWND>(::FindWindowA(className, windowName));
}

BOOL Win32Os::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(As<::HWND>(window), message, wParam, lParam);
}

HANDLE Win32Os::OpenFileMappingA(DWORD access, BOOL inherit, const char* name) {
    return ::OpenFileMappingA(access, inherit, name);
}

void* Win32Os::MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                             std::size_t bytes) {
    return ::MapViewOfFile(mapping, access, offsetHigh, offsetLow, bytes);
}

BOOL Win32Os::UnmapViewOfFile(const void* view) {
    return ::UnmapViewOfFile(view);
}

HANDLE Win32Os::OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
    return ::OpenProcess(access, inherit, processId);
}

DWORD Win32Os::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

void Win32Os::GetStartupInfoA(STARTUPINFOA* info) {
    ::GetStartupInfoA(As<::STARTUPINFOA*>(info));
}

BOOL Win32Os::CreateProcessA(const char* applicationName, char* commandLine, BOOL inheritHandles,
                             DWORD creationFlags, const char* currentDirectory,
                             STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInfo) {
    return ::CreateProcessA(applicationName, commandLine, nullptr, nullptr, inheritHandles,
                            creationFlags, nullptr, currentDirectory,
                            As<::STARTUPINFOA*>(startupInfo),
                            As<::PROCESS_INFORMATION*>(processInfo));
}

HRESULT Win32Os::CoCreateGuid(GUID* guid) {
    return ::CoCreateGuid(As<::GUID*>(guid));
}

BOOL Win32Os::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
    return ::MoveFileExA(existing, newName, flags);
}

DWORD Win32Os::GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) {
    return ::GetShortPathNameA(longPath, shortPath, size);
}

// ---------------------------------------------------------------- notification

HWND Win32Os::GetDesktopWindow() {
    return As<HWND>(::GetDesktopWindow());
}

int Win32Os::MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int byteCount,
                                 WCHAR* wide, int wideSize) {
    static_assert(sizeof(WCHAR) == sizeof(wchar_t));
    return ::MultiByteToWideChar(codePage, flags, text, byteCount, reinterpret_cast<LPWSTR>(wide),
                                 wideSize);
}

HMODULE Win32Os::GetModuleHandleA(const char* name) {
    return As<HMODULE>(::GetModuleHandleA(name));
}

// ---------------------------------------------------------------- services, shell

SC_HANDLE Win32Os::CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName,
                                  DWORD access, DWORD serviceType, DWORD startType,
                                  DWORD errorControl, const char* binaryPath, const char* account) {
    return As<SC_HANDLE>(::CreateServiceA(As<::SC_HANDLE>(manager), name, displayName, access,
                                          serviceType, startType, errorControl, binaryPath, nullptr,
                                          nullptr, nullptr, account, nullptr));
}

BOOL Win32Os::DeleteService(SC_HANDLE service) {
    return ::DeleteService(As<::SC_HANDLE>(service));
}

BOOL Win32Os::ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    // shell32.dll brings many DLLs along: loaded only when a program is to
    // be started through it, and kept for the process's life.
    using Fn = BOOL(WINAPI*)(::SHELLEXECUTEINFOA*);
    ::HMODULE const shell = LoadSystemLibrary("shell32.dll");
    auto const shellExecute = shell ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                          ::GetProcAddress(shell, "ShellExecuteExA")))
                                    : nullptr;
    if (!shellExecute) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return shellExecute(reinterpret_cast<::SHELLEXECUTEINFOA*>(info));
}

BOOL Win32Os::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    return ::GetExitCodeProcess(process, As<LPDWORD>(exitCode));
}

// ---------------------------------------------------------------- FileCalls

HANDLE Win32Os::CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                            DWORD flags) {
    return ::CreateFileA(name, access, share, nullptr, creation, flags, nullptr);
}

DWORD Win32Os::GetFileSize(HANDLE file, DWORD* high) {
    return ::GetFileSize(file, As<LPDWORD>(high));
}

DWORD Win32Os::SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
    return ::SetFilePointer(file, distance, As<PLONG>(high), method);
}

BOOL Win32Os::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) {
    return ::WriteFile(file, data, size, As<LPDWORD>(written), nullptr);
}

BOOL Win32Os::CreateDirectoryA(const char* path) {
    return ::CreateDirectoryA(path, nullptr);
}

BOOL Win32Os::DeleteFileA(const char* path) {
    return ::DeleteFileA(path);
}

BOOL Win32Os::MoveFileA(const char* existing, const char* newName) {
    return ::MoveFileA(existing, newName);
}

DWORD Win32Os::GetCurrentProcessId() {
    return ::GetCurrentProcessId();
}

BOOL Win32Os::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    static_assert(sizeof(*info) == sizeof(::BY_HANDLE_FILE_INFORMATION));
    return ::GetFileInformationByHandle(file, As<::LPBY_HANDLE_FILE_INFORMATION>(info));
}

// ---------------------------------------------------------------- SyncCalls

HANDLE Win32Os::CreateMutexA(BOOL initialOwner, const char* name) {
    return ::CreateMutexA(nullptr, initialOwner, name);
}

} // namespace port
