// The operating-system port: every call the portable logic makes to Windows
// goes through `port::Os`, whose methods mirror the Win32 (ANSI) functions of
// the same names with portable types and Win32 values. Two implementations:
// `Win32Os` (src/port/win32, Windows only) and `FakeOs` (src/port/fake, an
// in-memory Windows with a virtual clock, for tests on any host).
//
// In a translation unit that also includes <windows.h>, include this header
// first: the constants below share their names with <windows.h>'s macros.
#pragma once

#include "port/call_groups.h"
#include "port/types.h"

namespace port {

class Os : public FileCalls,
           public SyncCalls,
           public FileSecurityCalls,
           public ObjectSecurityCalls,
           public LockCalls,
           public ErrorModeCalls,
           public EventLogCalls,
           public FileReadCalls {
public:
    ~Os() override = default;

    // Thread's last error.
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD code) = 0;

    // Registry.
    virtual LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
    virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* cls,
                                 DWORD options, REGSAM access, void* security, HKEY* result,
                                 DWORD* disposition) = 0;
    virtual LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* size) = 0;
    virtual LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD size) = 0;
    virtual LONG RegDeleteValueA(HKEY key, const char* name) = 0;
    // A key without subkeys (below key, by its path) and its values.
    virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // System information.
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
    virtual UCHAR Netbios(NCB* ncb) = 0;
    // hModule NULL: the running executable.
    virtual DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) = 0;
    virtual BOOL GetComputerNameA(char* buffer, DWORD* size) = 0;
    virtual UINT GetWindowsDirectoryA(char* buffer, UINT size) = 0;
    virtual UINT GetACP() = 0;
    virtual BOOL IsDBCSLeadByte(BYTE c) = 0;

    // Windows sockets: WSAStartup with the given version; 0 on success.
    virtual int WSAStartup(WORD version) = 0;
    virtual int gethostname(char* name, int size) = 0;
    // gethostbyname reduced to its first IPv4 address (network byte order);
    // FALSE where gethostbyname returns NULL or has no address.
    virtual BOOL GetHostFirstAddress(const char* name, DWORD* address) = 0;

    // Resources and user messages. LoadStringA copies string `id` of the
    // executable into buffer (NUL-terminated) and returns its length, 0 when
    // there is no such string.
    virtual int LoadStringA(UINT id, char* buffer, int size) = 0;
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;

    // Service control manager.
    virtual SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) = 0;
    virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) = 0;
    virtual BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
    virtual BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
    virtual BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) = 0;
    virtual BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                      DWORD errorControl, const char* binaryPath,
                                      const char* loadOrderGroup, DWORD* tagId,
                                      const char* dependencies, const char* account,
                                      const char* password, const char* displayName) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
    // A service of the program's own: installed (the account NULL: the
    // local system account) and removed (at once, or once it has stopped).
    virtual SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName,
                                     DWORD access, DWORD serviceType, DWORD startType,
                                     DWORD errorControl, const char* binaryPath,
                                     const char* account) = 0;
    virtual BOOL DeleteService(SC_HANDLE service) = 0;

    // Profile (INI) files.
    virtual DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* file) = 0;
    virtual DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                            const char* file) = 0;
    virtual BOOL WritePrivateProfileSectionA(const char* section, const char* data,
                                             const char* file) = 0;

    // Security: the current process's token.
    virtual BOOL OpenProcessToken(DWORD access, HANDLE* token) = 0;
    virtual BOOL GetTokenInformation(HANDLE token, int infoClass, void* buffer, DWORD size,
                                     DWORD* returned) = 0;
    virtual BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                          DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3,
                                          DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                          PSID* sid) = 0;
    virtual BOOL EqualSid(PSID a, PSID b) = 0;
    virtual void FreeSid(PSID sid) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;

    // Screen device context.
    virtual HDC GetDC(HWND window) = 0;
    virtual int GetDeviceCaps(HDC dc, int index) = 0;
    virtual int ReleaseDC(HWND window, HDC dc) = 0;

    // File search (the runtime's _findfirst/_findnext/_findclose). FindFirstEntry
    // returns -1 on failure and stores the runtime's errno in *error.
    virtual std::intptr_t FindFirstEntry(const char* spec, FIND_ENTRY* entry, int* error) = 0;
    virtual int FindNextEntry(std::intptr_t search, FIND_ENTRY* entry) = 0;
    virtual int FindCloseEntry(std::intptr_t search) = 0;

    // Messages of the system (or of a module); the text is allocated by the
    // implementation and released with LocalFree.
    virtual DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                                 char** allocatedText) = 0;
    virtual void LocalFree(void* memory) = 0;

    // Libraries loaded at run time.
    virtual HMODULE LoadLibraryA(const char* name) = 0;
    virtual FARPROC GetProcAddress(HMODULE module, const char* name) = 0;
    virtual BOOL FreeLibrary(HMODULE module) = 0;

    // Time.
    virtual void Sleep(DWORD milliseconds) = 0;
    virtual DWORD GetTickCount() = 0;
    virtual void GetLocalTime(SYSTEMTIME* time) = 0;

    // Windows of other programs: found by class, told by posted messages.
    virtual HWND FindWindowA(const char* className, const char* windowName) = 0;
    virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Named file mappings, read side.
    virtual HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const char* name) = 0;
    virtual void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                                std::size_t bytes) = 0;
    virtual BOOL UnmapViewOfFile(const void* view) = 0;

    // Processes. Handles are closed with CloseHandle. CreateProcessA always
    // passes no security attributes and no environment block.
    virtual HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) = 0;
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual void GetStartupInfoA(STARTUPINFOA* info) = 0;
    virtual BOOL CreateProcessA(const char* applicationName, char* commandLine, BOOL inheritHandles,
                                DWORD creationFlags, const char* currentDirectory,
                                STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInfo) = 0;

    // ShellExecuteExA (shell32.dll, found at its first call): with
    // SEE_MASK_NOCLOSEPROCESS the started program's process handle.
    virtual BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) = 0;
    virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;

    // COM's GUID generator.
    virtual HRESULT CoCreateGuid(GUID* guid) = 0;

    // Files: delayed deletion and short (8.3) names.
    virtual BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags) = 0;
    virtual DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) = 0;
    // Server notification: the credential dialog's owner, text conversion and
    // the module whose message table names WinINet's errors.
    virtual HWND GetDesktopWindow() = 0;
    // Returns the number of units written (or needed, when wideSize is 0);
    // 0 on failure. byteCount -1: up to and including the NUL.
    virtual int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int byteCount,
                                    WCHAR* wide, int wideSize) = 0;
    // A module already loaded in the process (no reference taken); NULL when
    // it is not loaded.
    virtual HMODULE GetModuleHandleA(const char* name) = 0;
};

// The implementation the logic talks to. The Windows program installs the
// real one at start; tests install a fake.
Os& Sys();
void SetSys(Os* os);

} // namespace port
