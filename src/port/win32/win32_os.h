// The real port: each method calls the Win32 function of the same name.
// Windows only.
#pragma once

#include "port/port.h"
#include "port/win32/win32_as.h"

namespace port {

class Win32Os final : public Os {
public:
    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;
    LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
    LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* cls, DWORD options,
                         REGSAM access, void* security, HKEY* result, DWORD* disposition) override;
    LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* size) override;
    LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD size) override;
    LONG RegDeleteValueA(HKEY key, const char* name) override;
    LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
    LONG RegCloseKey(HKEY key) override;
    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    UCHAR Netbios(NCB* ncb) override;
    DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) override;
    BOOL GetComputerNameA(char* buffer, DWORD* size) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    UINT GetACP() override;
    BOOL IsDBCSLeadByte(BYTE c) override;
    int WSAStartup(WORD version) override;
    int gethostname(char* name, int size) override;
    BOOL GetHostFirstAddress(const char* name, DWORD* address) override;
    int LoadStringA(UINT id, char* buffer, int size) override;
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) override;
    SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) override;
    BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
    BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
    BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) override;
    BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                              DWORD errorControl, const char* binaryPath,
                              const char* loadOrderGroup, DWORD* tagId, const char* dependencies,
                              const char* account, const char* password,
                              const char* displayName) override;
    BOOL CloseServiceHandle(SC_HANDLE handle) override;
    SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName,
                             DWORD access, DWORD serviceType, DWORD startType, DWORD errorControl,
                             const char* binaryPath, const char* account) override;
    BOOL DeleteService(SC_HANDLE service) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* file) override;
    DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                    const char* file) override;
    BOOL WritePrivateProfileSectionA(const char* section, const char* data,
                                     const char* file) override;
    BOOL OpenProcessToken(DWORD access, HANDLE* token) override;
    BOOL GetTokenInformation(HANDLE token, int infoClass, void* buffer, DWORD size,
                             DWORD* returned) override;
    BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD sub0,
                                  DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                                  DWORD sub6, DWORD sub7, PSID* sid) override;
    BOOL EqualSid(PSID a, PSID b) override;
    void FreeSid(PSID sid) override;
    BOOL CloseHandle(HANDLE handle) override;
    HDC GetDC(HWND window) override;
    int GetDeviceCaps(HDC dc, int index) override;
    int ReleaseDC(HWND window, HDC dc) override;
    std::intptr_t FindFirstEntry(const char* spec, FIND_ENTRY* entry, int* error) override;
    int FindNextEntry(std::intptr_t search, FIND_ENTRY* entry) override;
    int FindCloseEntry(std::intptr_t search) override;
    DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                         char** allocatedText) override;
    void LocalFree(void* memory) override;
    HMODULE LoadLibraryA(const char* name) override;
    FARPROC GetProcAddress(HMODULE module, const char* name) override;
    BOOL FreeLibrary(HMODULE module) override;
    void Sleep(DWORD milliseconds) override;
    DWORD GetTickCount() override;
    void GetLocalTime(SYSTEMTIME* time) override;
    HWND FindWindowA(const char* className, const char* windowName) override;
    BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const char* name) override;
    void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                        std::size_t bytes) override;
    BOOL UnmapViewOfFile(const void* view) override;
    HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    void GetStartupInfoA(STARTUPINFOA* info) override;
    BOOL CreateProcessA(const char* applicationName, char* commandLine, BOOL inheritHandles,
                        DWORD creationFlags, const char* currentDirectory,
                        STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInfo) override;
    BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) override;
    BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override;
    HRESULT CoCreateGuid(GUID* guid) override;
    BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags) override;
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) override;

    HWND GetDesktopWindow() override;
    int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int byteCount,
                            WCHAR* wide, int wideSize) override;
    HMODULE GetModuleHandleA(const char* name) override;

    // FileCalls.
    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                       DWORD flags) override;
    DWORD GetFileSize(HANDLE file, DWORD* high) override;
    DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) override;
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override;
    BOOL CreateDirectoryA(const char* path) override;
    BOOL DeleteFileA(const char* path) override;
    BOOL MoveFileA(const char* existing, const char* newName) override;
    DWORD GetCurrentProcessId() override;
    BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override;

    // SyncCalls.
    HANDLE CreateMutexA(BOOL initialOwner, const char* name) override;

    // FileSecurityCalls (win32_security.cpp).
    BOOL GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                          DWORD* needed) override;
    BOOL SetFileSecurityA(const char* path, DWORD info, const void* descriptor) override;
    BOOL CreateDirectoryWithSecurityA(const char* path, const void* descriptor) override;
    DWORD GetFileAttributesA(const char* path) override;
    BOOL CopyFileA(const char* existing, const char* newName, BOOL failIfExists) override;
    BOOL RemoveDirectoryA(const char* path) override;
    BOOL LookupPrivilegeValueA(const char* name, LUID* luid) override;
    BOOL AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) override;
    // ObjectSecurityCalls (win32_object_security.cpp).
    BOOL GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                 DWORD* needed) override;
    BOOL SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) override;
    // LockCalls (win32_lock.cpp).
    BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* text,
                                                              void** descriptor) override;
    HANDLE CreateMutexSecuredA(void* descriptor, BOOL initialOwner, const char* name) override;
    DWORD GetKernelObjectOwner(HANDLE object, PSID* owner, void** descriptor) override;
    HANDLE CreateBoundaryDescriptorA(const char* name, DWORD flags) override;
    BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) override;
    void DeleteBoundaryDescriptor(HANDLE boundary) override;
    HANDLE CreatePrivateNamespaceA(void* descriptor, HANDLE boundary, const char* alias) override;
    HANDLE OpenPrivateNamespaceA(HANDLE boundary, const char* alias) override;
    BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags) override;
    // ErrorModeCalls (win32_error_mode.cpp).
    UINT SetErrorMode(UINT mode) override;
    // EventLogCalls (win32_event_log.cpp).
    HANDLE RegisterEventSourceA(const char* server, const char* source) override;
    BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, WORD stringCount,
                      const char** strings) override;
    BOOL DeregisterEventSource(HANDLE source) override;
    // FileReadCalls (win32_read.cpp).
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) override;
};

} // namespace port
