// An in-memory Windows for tests: registry tree, services with scripted
// states, profile files, token groups, NetBIOS adapters, a virtual clock and
// recorded message boxes. It follows the Win32 behaviour the logic relies on
// (access rights, sizes, ERROR_MORE_DATA, last errors); the contract tests run
// the same checks against it and against the real system under Wine.
#pragma once

#include "port/port.h"
#include "port/security_descriptor.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace port {

// Case-insensitive ordering for names that Windows compares that way.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct FakeRegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct FakeRegKey {
    std::map<std::string, FakeRegValue, CaseLess> values;
    std::map<std::string, std::unique_ptr<FakeRegKey>, CaseLess> subkeys;
    // Opening with any write right fails with ERROR_ACCESS_DENIED (a user
    // without administrator rights under HKEY_LOCAL_MACHINE).
    bool denyWrite = false;
    // Non-zero: the key opens for writing, but RegSetValueExA on it fails
    // with this code (a full hive, a value locked by a security product).
    DWORD valueWriteError = 0;
    // Non-zero: RegDeleteValueA on it fails with this code.
    DWORD valueDeleteError = 0;
    // Removed by DeleteKeyTree while a handle was open on it.
    bool deleted = false;
};

struct FakeService {
    std::string displayName;
    std::string binaryPath;
    std::string account = "LocalSystem";
    std::string dependencies; // double-NUL list as ChangeServiceConfigA takes it
    std::string loadOrderGroup;
    DWORD serviceType = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_AUTO_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    DWORD state = SERVICE_RUNNING;

    // Scripting.
    DWORD stopDelayMs = 0;  // STOP_PENDING this long after a stop request
    DWORD startDelayMs = 0; // START_PENDING this long after a start
    // While START_PENDING: the checkpoint goes up by one every this many ms
    // (0: it stays 0), with this wait hint, as a service reports its progress.
    DWORD checkpointEveryMs = 0;
    DWORD waitHintMs = 0;
    // The next N starts run past the service manager's start limit:
    // StartServiceA blocks for the limit, fails with 1053 and the service is
    // left stopped (the manager ends the half-started process).
    int startTimeouts = 0;
    bool ignoresStop = false; // accepts the request but keeps running
    int failingQueries = 0;   // the next N QueryServiceStatus calls fail (-1: all)
    DWORD queryError = ERROR_INVALID_HANDLE;
    bool openDenied = false;     // OpenServiceA fails with ERROR_ACCESS_DENIED
    DWORD changeConfigError = 0; // non-zero: ChangeServiceConfigA fails with it
    bool deletePending = false;  // marked for deletion: gone once stopped and unheld
    DWORD deleteError = 0;       // non-zero: DeleteService fails with it

    // Observations.
    int stopRequests = 0;
    int startRequests = 0;
    int configChanges = 0;
    int queries = 0;

    // Internal: virtual time at which a pending state began and completes.
    DWORD pendingSince = 0;
    DWORD pendingUntil = 0;
};

// An event the program reported to the event log.
struct FakeEvent {
    std::string source;
    WORD type = 0;
    WORD category = 0;
    DWORD id = 0;
    std::vector<std::string> strings;
};

struct FakeLana {
    UCHAR number = 0;
    std::array<BYTE, 6> address{};
    bool answers = true; // NCBASTAT succeeds
};

struct FakeMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// The network provider library ("mpr.dll") as the domain lookup sees it.
struct FakeNetworkProvider {
    bool libraryPresent = true;
    bool hasResourceInformation = true;
    bool hasResourceParent = true;
    // First call of WNetGetResourceInformationA with an empty buffer returns
    // this (ERROR_MORE_DATA lets the lookup go on).
    DWORD informationProbeResult = ERROR_MORE_DATA;
    DWORD informationResult = 0; // the second call
    std::string provider = "Microsoft Windows Network";
    DWORD parentProbeResult = ERROR_MORE_DATA;
    DWORD parentResult = 0;
    std::string parentName = "HALVEXNET";
    // Observations.
    std::vector<std::string> remoteNamesAsked;
    int loads = 0;
    int frees = 0;
};

struct FakeFile {
    FakeFile(bool isDirectory = false) : directory(isDirectory) {}
    bool directory = false;
    // Security: the owner and the DACL (by default what an administrator's
    // folder under Program Files has), and a junction or link in the
    // entry's place, whose target is never followed by the calls below.
    std::string owner = kSidAdministrators;
    bool nullDacl = false;
    bool daclProtected = false;
    std::vector<AccessEntry> dacl = DefaultFakeDacl();
    bool reparsePoint = false;
    DWORD setSecurityError = 0; // non-zero: SetFileSecurityA fails with it

    static std::vector<AccessEntry> DefaultFakeDacl();
    // The common application data folder as Windows makes it: users may
    // add files and folders, CREATOR OWNER has full control of them.
    static FakeFile CommonAppDataFolder();
    // The system drive's root ("C:" in `files`, "C:\\" to the calls) as
    // Windows 10 sets it up: owned by TrustedInstaller; Administrators and
    // the system full control, Users read and execute; Authenticated Users
    // may add folders to it, and modify whatever they put there.
    static FakeFile SystemDriveRoot();
    // Links a user may plant: entries with the same non-zero node are names
    // (hard links) of one file and share its bytes; an entry with a link
    // target is a symbolic link, or on a folder a junction (a reparse
    // point), that calls by path follow where Windows does.
    DWORD node = 0;
    std::string linkTarget;
    bool IsReparsePoint() const { return reparsePoint || !linkTarget.empty(); }
    bool operator==(const FakeFile&) const = default;
};

inline constexpr DWORD kFakeNever = 0xFFFFFFFF;
// What a call answers once the power has gone (ERROR_NOT_READY).
inline constexpr DWORD kPoweredOff = 21;

// A top-level window of another program. A posted message that matches its
// closing message makes it go (and its program end) closeDelayMs later.
struct FakeWindow {
    std::string className;
    DWORD processId = 0;   // its program in FakeOs::processes, or 0
    UINT closeMessage = 0; // 0: no message closes it
    WPARAM closeWParam = 0;
    bool closesOnQuit = false; // a posted WM_QUIT also ends the program
    DWORD closeDelayMs = 0;
    DWORD goneAt = kFakeNever; // virtual time at which it is gone
};

struct FakePostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD at;
};

// Another program's process: running until exitAt.
struct FakeProcess {
    DWORD exitAt = kFakeNever;
    DWORD exitCode = 0;
};

// A program started through the shell (ShellExecuteExA).
struct FakeShellExecute {
    std::string verb;
    std::string file;
    std::string parameters;
    DWORD mask;
};

// A named file mapping; it exists while its owner runs (owner 0: always).
struct FakeMapping {
    std::vector<BYTE> bytes;
    DWORD ownerProcessId = 0;
};

// Thrown by the state-changing call at which the fake's power goes
// (FakeOs::powerCutAt): what that call would have changed is not changed.
struct FakePowerCut {};

struct FakeLaunch {
    std::string application;
    DWORD creationFlags;
};

class FakeOs : public Os {
public:
    FakeOs();
    ~FakeOs() override;

    // ---- state a test sets up or inspects ----
    FakeRegKey hklm, hkcu, hku, hkcr;
    std::map<std::string, FakeService, CaseLess> services;
    bool scmAccessDenied = false;
    // How long StartServiceA waits for a service process that never connects
    // (Windows' default; "ServicesPipeTimeout" changes it there).
    DWORD serviceStartLimitMs = 30000;
    // The bytes of files (INI files among them), by path; a file listed here
    // is also in `files`.
    std::map<std::string, std::string, CaseLess> profileFiles; // path -> text (CRLF)
    OSVERSIONINFOA version{};
    bool netbiosAvailable = true;
    std::vector<FakeLana> lanas;
    std::vector<std::pair<UCHAR, UCHAR>> netbiosCalls; // (command, lana)
    std::string modulePath = "C:\\Program Files\\Norvane\\norvane.exe";
    std::string computerName = "MASTER01";
    bool computerNameFails = false;
    std::string windowsFolder = "C:\\WINDOWS";
    UINT codePage = 1252;
    int wsaStartupResult = 0;
    std::vector<WORD> wsaStartupCalls;
    std::string hostName = "master01";
    std::map<std::string, DWORD, CaseLess> hostAddresses; // name -> IPv4 (network order)
    std::map<UINT, std::string> strings;
    std::vector<FakeMessageBox> messageBoxes;
    std::deque<int> messageBoxAnswers; // default IDOK
    // The token: an administrator's, or a user's without rights (Windows 9x
    // has none). Only a full administrator's writes under
    // HKEY_LOCAL_MACHINE or opens the service manager and services for more
    // than asking about them.
    bool isAdministrator = true;
    // An administrator's filtered token (User Account Control): the
    // Administrators group is there for deny only.
    bool adminDenyOnly = false;
    // What GetTokenInformation gives for TokenElevationType; 0: the class
    // is unknown (before Windows Vista), the call fails.
    DWORD elevationType = 0;
    bool openTokenFails = false;
    std::deque<DWORD> tokenGroupsGrowth; // extra bytes reported by later calls
    int rasterCaps = 0;
    int sizePalette = 0;
    int numColors = -1;
    int bitsPixel = 32;
    std::map<std::string, FakeFile, CaseLess> files; // full path -> entry
    std::map<DWORD, std::string> systemMessages;
    FakeNetworkProvider network;
    DWORD now = 0; // virtual milliseconds since start
    SYSTEMTIME startTime{2026, 12, 2, 8, 9, 30, 0, 0};
    std::vector<DWORD> sleeps;
    std::function<void(DWORD now)> onSleep; // called after each Sleep advanced the clock
    // Called as RegQueryValueExA starts, with the value's name and whether
    // its data is asked for: another program changing the registry between
    // two reads of the utility.
    std::function<void(const std::string& name, bool data)> onQueryValue;
    std::map<std::uintptr_t, FakeWindow> windows; // by window handle
    std::vector<FakePostedMessage> postedMessages;
    std::map<DWORD, FakeProcess> processes; // by process id
    std::map<std::string, FakeMapping, CaseLess> mappings;
    std::deque<GUID> guids; // handed out first; then made up
    HRESULT guidResult = S_OK;
    std::vector<FakeLaunch> launches;
    // Programs started through the shell. With shellExecuteError the start
    // fails with it (ERROR_CANCELLED: the consent prompt was declined);
    // otherwise the program runs (onShellExecute, at the call) and ends
    // shellExecutedLifetimeMs later with the exit code onShellExecute gives
    // (0 without it): until then its exit code is STILL_ACTIVE.
    std::vector<FakeShellExecute> shellExecutes;
    DWORD shellExecuteError = 0;
    std::function<DWORD(const FakeShellExecute&)> onShellExecute;
    DWORD shellExecutedLifetimeMs = 20000;
    DWORD launchedProgramLifetimeMs = kFakeNever;            // how long a started program runs
    std::map<std::string, std::string, CaseLess> shortNames; // long path -> 8.3 path
    DWORD moveFileError = 0;                                 // non-zero: MoveFileExA fails with it
    // Files and folders that cannot be created or opened: CreateFileA and
    // CreateDirectoryA on such a path fail with the code given (a read-only
    // folder, a file locked by another program, a full disk).
    std::map<std::string, DWORD, CaseLess> fileErrors;
    std::string commonAppData = "C:\\ProgramData"; // made at construction
    // "shell32.dll" with SHGetFolderPathA, which knows commonAppData; false:
    // a system without it (before Windows 2000).
    bool shellFolderLookup = true;
    DWORD processId = 4242;
    // Named mutexes and how many handles (of any process) hold each; a test
    // puts one here for another program that holds it.
    std::map<std::string, int, CaseLess> mutexes;
    // False: the system knows no "Global\" namespace (before Windows 2000);
    // a mutex name with a backslash is refused.
    bool globalNamespace = true;
    // The IP helper library ("iphlpapi.dll", Windows XP and later) and the
    // adapters its GetAdaptersAddresses lists, in that order.
    bool ipHelperPresent = true;
    struct Adapter {
        DWORD ifType;
        std::vector<BYTE> address;
    };
    std::vector<Adapter> adapters;
    // A power cut: the state-changing call number powerCutAt (from 0) throws
    // FakePowerCut and changes nothing, and no later call changes anything,
    // as if the machine had stopped there. -1: the power stays on.
    int powerCutAt = -1;
    int stateChanges = 0;               // state-changing calls made so far
    std::vector<std::string> changeLog; // their names, in order; the cut one last
    bool poweredOff = false;

    // Helpers for tests.
    FakeRegKey& Key(HKEY root, const std::string& path);    // creates as needed
    void DeleteKeyTree(HKEY root, const std::string& path); // no-op when missing
    const FakeRegValue* Value(HKEY root, const std::string& path, const std::string& name) const;
    void SetString(HKEY root, const std::string& path, const std::string& name,
                   const std::string& text, DWORD type = REG_SZ);
    void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
    std::string StringValue(HKEY root, const std::string& path, const std::string& name) const;
    void AddFile(const std::string& path);
    void AddFolder(const std::string& path);
    // Handles and blocks still open across every kind; a test ends with 0.
    int OpenHandleCount() const;
    std::string Describe() const; // what is still open, for failure messages
    void AdvanceTime(DWORD ms);
    // A window of class className; with a process id, a program that ends
    // when its window goes.
    HWND AddWindow(const std::string& className, UINT closeMessage, WPARAM closeWParam,
                   DWORD closeDelayMs, DWORD processId = 0);
    bool WindowExists(HWND window) const;
    DWORD AddProcess(); // a running program; returns its id
    bool ProcessRunning(DWORD processId) const;
    // The value the system keeps for delayed file operations.
    static constexpr const char* kPendingOperationsKey =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    std::vector<std::string> PendingDeletes() const;
    // Every call that changes what outlives the process (registry, service
    // configuration and state, files, processes started, messages posted, a
    // request sent) asks this first; false once the power has gone.
    bool BeginStateChange(const char* call);
    // A restart: the power back on, every program and open handle gone,
    // services started by their start type, pending deletions carried out.
    void Reboot();

    // ---- Os ----
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
    // NT's: a key with subkeys is refused (ERROR_ACCESS_DENIED), as is one
    // this token may not change.
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
    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                       DWORD flags) override;
    DWORD GetFileSize(HANDLE file, DWORD* high) override;
    DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) override;
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override;
    BOOL CreateDirectoryA(const char* path) override;
    BOOL DeleteFileA(const char* path) override;
    BOOL MoveFileA(const char* existing, const char* newName) override;
    DWORD GetCurrentProcessId() override;
    HANDLE CreateMutexA(BOOL initialOwner, const char* name) override;
    // The text of a file the program wrote; "" when there is none.
    std::string FileText(const std::string& path) const;
    BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override;
    // A user's plants (fake_links.cpp): a second name of an existing file,
    // and a symbolic link to target (which need not exist).
    void AddHardLink(const std::string& existing, const std::string& link);
    void AddSymbolicLink(const std::string& link, const std::string& target);
    DWORD LinkCount(const std::string& path) const;
    // Called as a rename (MoveFileA, MoveFileExA) starts, with its source:
    // another process acting between two calls of the program.
    std::function<void(const std::string& from)> onRename;
    // Called as CreateFileA starts, with the path it was given, and as a
    // call begins to change state (BeginStateChange), with its name. A hook
    // may clear or replace itself: the call runs a copy.
    std::function<void(const std::string& path)> onOpen;
    std::function<void(const std::string& call)> onStateChange;

    // ---- objects open through handles (fake_object_security.cpp) ----
    // A junction a user made: a folder entry whose target every call by
    // path follows, except those that act on the entry itself (attributes,
    // deletion, renames, and CreateFileA with FILE_FLAG_OPEN_REPARSE_POINT).
    void AddJunction(const std::string& path, const std::string& target);
    // path with every junction and link in it followed, the last part only
    // when last is true.
    std::string Follow(const std::string& path, bool last) const;
    // The rights this token is granted on the entry by its owner and DACL
    // (deny entries in their place, the owner's READ_CONTROL and WRITE_DAC)
    // and by the privileges enabled (SeBackupPrivilege and
    // SeRestorePrivilege only for an opening with backup semantics).
    DWORD GrantedRights(const FakeFile& entry, DWORD flags) const;
    // An access mask with its generic rights turned into a file's.
    static DWORD FileRights(DWORD access);
    // Whether this token may delete or rename the entry at path (DELETE on
    // it, or FILE_DELETE_CHILD on its folder), and add a file or a folder
    // to the folder of path (a drive's root lets it).
    bool MayDelete(const std::string& path) const;
    bool MayAdd(const std::string& path, bool directory) const;
    BOOL GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                 DWORD* needed) override;
    BOOL SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) override;
    // An entry's owner and DACL, the parts info asks for, into a caller's
    // buffer as the system's calls give them; and set from a descriptor.
    BOOL GiveDescriptor(const FakeFile& entry, DWORD info, void* descriptor, DWORD size,
                        DWORD* needed);
    static void TakeDescriptor(FakeFile& entry, DWORD info, const SecurityDescriptor& sd);

    // ---- file-system security (fake_security.cpp) ----
    // The token's user; a non-administrator's new files and folders are
    // owned by it, an administrator's by Administrators.
    std::string tokenUser = "S-1-5-21-1111-2222-3333-500";
    BOOL GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                          DWORD* needed) override;
    BOOL SetFileSecurityA(const char* path, DWORD info, const void* descriptor) override;
    BOOL CreateDirectoryWithSecurityA(const char* path, const void* descriptor) override;
    DWORD GetFileAttributesA(const char* path) override;
    BOOL CopyFileA(const char* existing, const char* newName, BOOL failIfExists) override;
    BOOL RemoveDirectoryA(const char* path) override;
    // Privileges: an administrator's token holds SeTakeOwnershipPrivilege
    // (LUID 9), SeBackupPrivilege (17) and SeRestorePrivilege (18), disabled
    // until enabled. Taking an entry whose DACL gives Administrators no
    // WRITE_OWNER needs the first, or the other two.
    std::set<DWORD> enabledPrivileges;
    BOOL LookupPrivilegeValueA(const char* name, LUID* luid) override;
    BOOL AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) override;
    // A new entry at path made by this token: its owner, and the entries of
    // its folder's DACL that its kind inherits (CREATOR OWNER made its owner).
    FakeFile NewEntry(const std::string& path, bool directory) const;
    // A folder as a standard user makes it where the folder above lets
    // users add folders: owned by that user, with what it inherits.
    void AddUserFolder(const std::string& path, const std::string& user);
    BOOL TokenUserInformation(void* buffer, DWORD size, DWORD* returned);
    bool FolderThere(const char* path) const;
    // The firmware's SMBIOS data as GetSystemFirmwareTable ('RSMB') gives it
    // (the 8-byte header, then the structures); empty: the firmware has
    // none. false: a kernel32 without the function (before Windows Vista).
    std::vector<BYTE> smbios;
    bool firmwareTables = true;

    // ---- server notification (fake_os_text.cpp) ----
    HWND desktopWindow = reinterpret_cast<HWND>(std::uintptr_t{0x10010});
    // Message tables of the modules loaded in the process, by module name:
    // GetModuleHandleA finds the names listed here and FormatMessageA with
    // FORMAT_MESSAGE_FROM_HMODULE reads their texts.
    std::map<std::string, std::map<DWORD, std::string>, CaseLess> moduleMessages;
    HWND GetDesktopWindow() override;
    // Code page 1252 whole; of 932 the single-byte half and a handful of
    // double-byte characters (others read as U+30FB, as the system's
    // default character there).
    int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int byteCount,
                            WCHAR* wide, int wideSize) override;
    HMODULE GetModuleHandleA(const char* name) override;
    // The messages of the module with this handle; null when none.
    const std::map<DWORD, std::string>* ModuleMessages(const void* module) const;

    // ---- the machine-wide lock (fake_lock.cpp) ----
    // Who made a mutex of `mutexes`, as its owner tells: missing, the
    // Administrators group (another administrator's instance, or the
    // system's); FakeOwner::User: an account's own SID (a user without
    // rights took the name first, or an administrator's object where new
    // objects belong to their creator, as since Vista). A mutex opens only
    // for a token its DACL lets in: the one it was made with, or for one a
    // test put there its owner's default DACL (the system and the
    // Administrators group, or the system and kSquatter).
    enum class FakeOwner { Administrators, System, User };
    std::map<std::string, FakeOwner, CaseLess> mutexOwners;
    static constexpr const char* kSquatter = "S-1-5-21-1111-2222-3333-1001";
    // A lock that cannot be made or opened: a mutex name, or a private
    // namespace's boundary name, whose creation and opening fail with this.
    std::map<std::string, DWORD, CaseLess> lockErrors;
    // Non-zero: AddSIDToBoundaryDescriptor fails with it (out of memory).
    DWORD boundarySidError = 0;
    // Private namespaces (Windows Vista and later, by the version) by their
    // boundary's name and SIDs (NamespaceKey), with how many handles hold
    // each: one name with other SIDs is another namespace. Only a token
    // within the boundary (each of its SIDs enabled in the token) makes one;
    // any token that names the same boundary opens it, unless the
    // descriptor it was made with keeps that token out (one a test put
    // there lets the system and the administrators in). A mutex name
    // "alias\name" needs the namespace opened under that alias and is the
    // object "<key>\name" of `mutexes`.
    std::map<std::string, int, CaseLess> privateNamespaces;
    static std::string NamespaceKey(const std::string& boundary, std::vector<std::string> sids);
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
    // ---- reading through a handle (fake_read.cpp) ----
    // The bytes of the file the handle was opened on, wherever it has been
    // renamed to since (a name replaced meanwhile does not change them).
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) override;
    // ---- error mode (fake_error_mode.cpp) ----
    // The process's error mode, and every mode set, in order.
    UINT errorMode = 0;
    std::vector<UINT> errorModesSet;
    UINT SetErrorMode(UINT mode) override;
    // ---- event log (fake_event_log.cpp) ----
    // Every event reported, in order. Non-zero: RegisterEventSourceA fails
    // with it.
    std::vector<FakeEvent> events;
    DWORD eventSourceError = 0;
    HANDLE RegisterEventSourceA(const char* server, const char* source) override;
    BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, WORD stringCount,
                      const char** strings) override;
    BOOL DeregisterEventSource(HANDLE source) override;

    // Called by the network-provider entry points handed out by GetProcAddress.
    DWORD NetGetResourceInformation(NETRESOURCEA* resource, void* buffer, DWORD* size);
    DWORD NetGetResourceParent(NETRESOURCEA* resource, void* buffer, DWORD* size);

private:
    struct OpenKey {
        FakeRegKey* key;
        REGSAM access;
    };
    struct OpenService {
        bool manager;
        std::string name;
        DWORD access;
    };
    struct Search {
        std::vector<FIND_ENTRY> entries;
        std::size_t next = 0;
    };

    struct OpenFile {
        std::string path;
        DWORD access;
        std::size_t position = 0;
        DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    };
    // Sharing and links of files (fake_links.cpp).
    bool SameFile(const std::string& a, const std::string& b) const;
    // Whether an opening with access and share may join the file's others.
    bool SharingAllows(const std::string& path, DWORD access, DWORD share) const;
    // The bytes of path copied to the file's other names.
    void SyncLinks(const std::string& path);
    BOOL RenameFile(const std::string& from, const std::string& to, bool replace, const char* call);

    struct OpenProcessHandle {
        DWORD processId;
        DWORD access;
    };

    FakeRegKey* Root(HKEY key);
    bool IsOpenFile(const std::string& path) const;
    bool Exists(const std::string& path) const;
    // The program of a window that closed ends with it.
    void SettleWindows();
    FakeRegKey* Resolve(HKEY key, REGSAM* access);
    // Whether this token may not open the key for writing.
    bool WriteDenied(const FakeRegKey* key) const;
    FakeService* ServiceOf(SC_HANDLE handle, DWORD right, DWORD* error);
    void SettleService(FakeService& service);
    std::uintptr_t NextHandle();

    DWORD m_lastError = 0;
    std::uintptr_t m_nextHandle = 0x1000;
    std::map<std::uintptr_t, OpenKey> m_keys;
    std::vector<std::unique_ptr<FakeRegKey>> m_deletedKeys;
    std::map<std::uintptr_t, OpenService> m_services;
    std::set<std::uintptr_t> m_tokens;
    std::set<std::uintptr_t> m_dcs;
    std::map<std::intptr_t, Search> m_searches;
    std::set<void*> m_sids;
    std::set<void*> m_localBlocks;
    int m_libraries = 0;
    std::map<std::uintptr_t, OpenProcessHandle> m_processHandles; // processes and threads
    std::map<std::uintptr_t, std::string> m_mappingHandles;
    std::map<std::uintptr_t, OpenFile> m_files;
    std::map<std::uintptr_t, std::string> m_mutexHandles;
    std::set<void*> m_views;
    std::uintptr_t m_nextWindow = 0x10000;
    DWORD m_nextProcessId = 1000;
    DWORD m_guidsMade = 0;
    // The lock's objects: boundary descriptors (name, SIDs added) and open
    // private namespaces (boundary name, alias).
    struct Boundary {
        std::string name;
        std::vector<std::string> sids;
    };
    std::map<std::uintptr_t, Boundary> m_boundaries;
    std::map<std::uintptr_t, std::string> m_eventSources; // handle: source name
    // Open namespaces: their key and the alias they were opened under.
    std::map<std::uintptr_t, std::pair<std::string, std::string>> m_namespaceHandles;
    // Whom the DACL of each mutex and namespace lets in (SIDs).
    std::map<std::string, std::vector<std::string>, CaseLess> m_mutexAccess;
    std::map<std::string, std::vector<std::string>, CaseLess> m_namespaceAccess;
    bool FullAdministrator() const { return isAdministrator && !adminDenyOnly; }
    // The SIDs enabled in the token: its user and groups.
    std::vector<std::string> TokenSids() const;
    // Whom a descriptor's text lets in; without one, the token's default DACL.
    std::vector<std::string> AllowedBy(const std::string* security) const;
    bool MayOpen(const std::vector<std::string>& allowed) const;
    // The boundary for making or opening a namespace under alias; null with
    // the last error where it names none or cannot be used.
    const Boundary* NamespaceBoundary(HANDLE boundary, const char* alias);
    HANDLE MakeMutex(const char* name, const std::string* security);
};

} // namespace port
