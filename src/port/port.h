// The operating-system port: every call the portable logic makes to Windows
// goes through `port::Os`, whose methods mirror the Win32 (ANSI) functions of
// the same names with portable types and Win32 values. Two implementations:
// `Win32Os` (src/port/win32, Windows only) and `FakeOs` (src/port/fake, an
// in-memory Windows with a virtual clock, for tests on any host).
//
// In a translation unit that also includes <windows.h>, include this header
// first: the constants below share their names with <windows.h>'s macros.
#pragma once

#include <cstddef>
#include <cstdint>

namespace port {

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = std::int32_t;
using REGSAM = DWORD;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Opaque handles. Their values are those of the implementation underneath
// (real Win32 handles, or the fake's counters).
struct HKEY__;
using HKEY = HKEY__*;
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
struct HDC__;
using HDC = HDC__*;
using HANDLE = void*;
using PSID = void*;
using FARPROC = void (*)();

#define NORVANE_CONST(type, name, value) inline constexpr type name = static_cast<type>(value);
#include "port/constants.def"
#undef NORVANE_CONST

// Predefined registry roots (not constexpr: they are pointers made from numbers).
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(std::uintptr_t{0x80000003});

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(std::intptr_t{-1});

// GetTokenInformation classes used here (TOKEN_INFORMATION_CLASS): the
// groups, and (Windows Vista and later) whether the token is a filtered one.
inline constexpr int TokenGroups = 2;
inline constexpr int TokenElevationType = 18;
// TOKEN_ELEVATION_TYPE: no split token, the full one, the filtered one.
inline constexpr DWORD TokenElevationTypeDefault = 1;
inline constexpr DWORD TokenElevationTypeFull = 2;
inline constexpr DWORD TokenElevationTypeLimited = 3;

// OSVERSIONINFOA (148 bytes).
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// The fields of the NetBIOS control block that the logic uses; the real port
// copies them to and from the system's NCB.
struct NCB {
    UCHAR ncb_command;
    UCHAR ncb_retcode;
    UCHAR ncb_lana_num;
    void* ncb_buffer;
    WORD ncb_length;
    UCHAR ncb_callname[16];
};

struct LANA_ENUM {
    UCHAR length;
    UCHAR lana[255];
};
static_assert(sizeof(LANA_ENUM) == 256);

#pragma pack(push, 1)
struct ADAPTER_STATUS {
    UCHAR adapter_address[6];
    UCHAR rev_major;
    UCHAR reserved0;
    UCHAR adapter_type;
    UCHAR rev_minor;
    WORD duration;
    WORD frmr_recv;
    WORD frmr_xmit;
    WORD iframe_recv_err;
    WORD xmit_aborts;
    DWORD xmit_success;
    DWORD recv_success;
    WORD iframe_xmit_err;
    WORD recv_buff_unavail;
    WORD t1_timeouts;
    WORD ti_timeouts;
    DWORD reserved1;
    WORD free_ncbs;
    WORD max_cfg_ncbs;
    WORD max_ncbs;
    WORD xmit_buf_unavail;
    WORD max_dgram_size;
    WORD pending_sess;
    WORD max_cfg_sess;
    WORD max_sess;
    WORD max_sess_pkt_size;
    WORD name_count;
};
struct NAME_BUFFER {
    UCHAR name[16];
    UCHAR name_num;
    UCHAR name_flags;
};
#pragma pack(pop)
static_assert(sizeof(ADAPTER_STATUS) == 60);
static_assert(sizeof(NAME_BUFFER) == 18);

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};

// Same layout as the system's TOKEN_GROUPS: the block that GetTokenInformation
// fills holds this header followed by the SIDs its entries point at.
struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};
struct TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[1];
};

// Same layout as the system's NETRESOURCEA, so that the network-provider
// functions found through GetProcAddress can be called with it.
struct NETRESOURCEA {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    char* lpLocalName;
    char* lpRemoteName;
    char* lpComment;
    char* lpProvider;
};
// Functions found at run time are called with the system's convention:
// stdcall on 32-bit x86 Windows (a caller that assumed cdecl would pop the
// arguments a second time), the one convention there is everywhere else.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define NORVANE_WINAPI __stdcall
#else
#define NORVANE_WINAPI
#endif
using PFN_WNetGetResourceInformationA = DWORD(NORVANE_WINAPI*)(NETRESOURCEA* resource, void* buffer,
                                                               DWORD* bufferSize, char** system);
using PFN_WNetGetResourceParentA = DWORD(NORVANE_WINAPI*)(NETRESOURCEA* resource, void* buffer,
                                                          DWORD* bufferSize);
// The shell's folder lookup (shell32.dll since Windows 2000), found at run
// time; kCsidlCommonAppData names the folder shared by every user.
using PFN_SHGetFolderPathA = HRESULT(NORVANE_WINAPI*)(HWND owner, int folder, HANDLE token,
                                                      DWORD flags, char* path);
inline constexpr int kCsidlCommonAppData = 0x23;

// The first fields of the IP helper's adapter record (IP_ADAPTER_ADDRESSES,
// as Windows XP has it; later systems add fields behind them), so that
// GetAdaptersAddresses, found at run time, can be called and its list walked.
struct IP_ADAPTER_ADDRESSES {
    std::uint64_t Alignment; // Length and IfIndex
    IP_ADAPTER_ADDRESSES* Next;
    char* AdapterName;
    void* FirstUnicastAddress;
    void* FirstAnycastAddress;
    void* FirstMulticastAddress;
    void* FirstDnsServerAddress;
    void* DnsSuffix;
    void* Description;
    void* FriendlyName;
    BYTE PhysicalAddress[8];
    DWORD PhysicalAddressLength;
    DWORD Flags;
    DWORD Mtu;
    DWORD IfType;
    int OperStatus;
};
using PFN_GetAdaptersAddresses = DWORD(NORVANE_WINAPI*)(DWORD family, DWORD flags, void* reserved,
                                                        IP_ADAPTER_ADDRESSES* addresses,
                                                        DWORD* size);
// Interface kinds (IfType) with a hardware address of their own.
inline constexpr DWORD kIfTypeEthernet = 6;
inline constexpr DWORD kIfTypeWireless = 71;
// Only what identifies the adapters: no addresses of any kind.
inline constexpr DWORD kAdapterListFlags = 0x0001 | 0x0002 | 0x0004 | 0x0008;

// The firmware's tables (kernel32.dll since Windows Vista), found at run
// time: GetSystemFirmwareTable copies the raw SMBIOS data (provider 'RSMB',
// id 0) into the buffer and returns its size, or the size it needs when the
// buffer is too small; 0 with the last error set when there is none.
using PFN_GetSystemFirmwareTable = UINT(NORVANE_WINAPI*)(DWORD provider, DWORD id, void* buffer,
                                                         DWORD size);
inline constexpr DWORD kFirmwareProviderRsmb = 0x52534D42; // 'RSMB'

// One directory entry of a file search (the runtime's _finddata_t, narrowed to
// what the logic reads).
struct FIND_ENTRY {
    DWORD attrib;
    char name[260];
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// The system's GUID record (16 bytes).
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

// Same layouts as the system's STARTUPINFOA and PROCESS_INFORMATION.
struct STARTUPINFOA {
    DWORD cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Same layout as the system's SHELLEXECUTEINFOA: a program started through
// the shell, with a verb ("runas": the consent prompt of User Account
// Control).
struct SHELLEXECUTEINFOA {
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    const char* lpVerb;
    const char* lpFile;
    const char* lpParameters;
    const char* lpDirectory;
    int nShow;
    HMODULE hInstApp;
    void* lpIDList;
    const char* lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIconOrMonitor;
    HANDLE hProcess;
};

// A UTF-16 code unit, as MultiByteToWideChar writes it.
using WCHAR = char16_t;

// Same layouts as the system's FILETIME and BY_HANDLE_FILE_INFORMATION.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52);

// Files the program writes itself (its record): one narrow interface of the
// port, implemented by both sides together with the rest of Os. Handles of
// files are INVALID_HANDLE_VALUE when not open and are closed with
// CloseHandle.
class FileCalls {
public:
    virtual ~FileCalls() = default;

    // CreateFileA without security attributes or template file. A junction
    // or link anywhere in the path is followed, and at its end too unless
    // flags hold FILE_FLAG_OPEN_REPARSE_POINT; a folder opens only with
    // FILE_FLAG_BACKUP_SEMANTICS.
    virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                               DWORD flags) = 0;
    // The low 32 bits of the size (the high ones into *high when given);
    // INVALID_FILE_SIZE with the last error set on failure.
    virtual DWORD GetFileSize(HANDLE file, DWORD* high) = 0;
    virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) = 0;
    // CreateDirectoryA without security attributes: one level, whose parent
    // must exist; ERROR_ALREADY_EXISTS when it is there.
    virtual BOOL CreateDirectoryA(const char* path) = 0;
    virtual BOOL DeleteFileA(const char* path) = 0;
    // MoveFileA: renames at once; fails when the target exists.
    virtual BOOL MoveFileA(const char* existing, const char* newName) = 0;
    virtual DWORD GetCurrentProcessId() = 0;
    // What the file open through this handle is: its attributes (a reparse
    // point among them), size, number of names (hard links) and identity
    // (volume serial number and file index).
    virtual BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) = 0;
};

// Objects shared by the processes of the machine.
class SyncCalls {
public:
    virtual ~SyncCalls() = default;

    // CreateMutexA without security attributes: a named mutex, made or
    // opened; the last error is ERROR_ALREADY_EXISTS when it was there.
    // Closed with CloseHandle; it goes when its last handle does.
    virtual HANDLE CreateMutexA(BOOL initialOwner, const char* name) = 0;
};

// Who owns a file or folder and who may change it, and what a path names
// without following it: the file-system security of the port. Descriptors
// are self-relative (port/security_descriptor.h reads and makes them).
inline constexpr int TokenUser = 1; // GetTokenInformation: the token's user (a TOKEN_USER)
struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
class FileSecurityCalls {
public:
    virtual ~FileSecurityCalls() = default;

    // GetFileSecurityA: the parts of the descriptor `info` asks for into
    // buffer; *needed its size (FALSE with ERROR_INSUFFICIENT_BUFFER when
    // it does not fit). Like SetFileSecurityA it follows a junction or a
    // link, at the end of the path as anywhere in it: only a handle says
    // which object was read or changed (ObjectSecurityCalls).
    virtual BOOL GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                                  DWORD* needed) = 0;
    virtual BOOL SetFileSecurityA(const char* path, DWORD info, const void* descriptor) = 0;
    // CreateDirectoryA whose security attributes hold descriptor (not
    // inherited by child processes).
    virtual BOOL CreateDirectoryWithSecurityA(const char* path, const void* descriptor) = 0;
    // The entry's own attributes (FILE_ATTRIBUTE_REPARSE_POINT for a
    // junction or a link); INVALID_FILE_ATTRIBUTES with the last error.
    virtual DWORD GetFileAttributesA(const char* path) = 0;
    virtual BOOL CopyFileA(const char* existing, const char* newName, BOOL failIfExists) = 0;
    virtual BOOL RemoveDirectoryA(const char* path) = 0;
    // LookupPrivilegeValueA on this computer.
    virtual BOOL LookupPrivilegeValueA(const char* name, LUID* luid) = 0;
    // AdjustTokenPrivileges for one privilege (attributes SE_PRIVILEGE_ENABLED,
    // or 0 to disable it), no previous state: TRUE with the last error
    // ERROR_NOT_ALL_ASSIGNED where the token does not hold it.
    virtual BOOL AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) = 0;
};

// The security of the very object a handle is open on (a folder opened with
// FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, a file): what
// its path names by now does not matter. Descriptors as FileSecurityCalls
// has them; neither call passes inheritable entries on to what lies below.
class ObjectSecurityCalls {
public:
    virtual ~ObjectSecurityCalls() = default;

    // GetKernelObjectSecurity: the handle needs READ_CONTROL.
    virtual BOOL GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                         DWORD* needed) = 0;
    // SetKernelObjectSecurity: the owner needs WRITE_OWNER, the DACL WRITE_DAC.
    virtual BOOL SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) = 0;
};

// A lock that no other user of the machine can take first: security
// descriptors written as text (Windows 2000 and later), the owner of a kernel
// object, and private namespaces (Windows Vista and later). What a system
// lacks is found missing at run time: the call fails with
// ERROR_PROC_NOT_FOUND. Descriptors and owners are released with LocalFree.
class LockCalls {
public:
    virtual ~LockCalls() = default;

    // ConvertStringSecurityDescriptorToSecurityDescriptorA, revision 1.
    virtual BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* text,
                                                                      void** descriptor) = 0;
    // CreateMutexA with this descriptor (not inherited); the last error is
    // ERROR_ALREADY_EXISTS when it was there.
    virtual HANDLE CreateMutexSecuredA(void* descriptor, BOOL initialOwner, const char* name) = 0;
    // GetSecurityInfo of a kernel object for its owner alone: *owner points
    // into *descriptor. Returns the system's error code (0: done).
    virtual DWORD GetKernelObjectOwner(HANDLE object, PSID* owner, void** descriptor) = 0;
    virtual HANDLE CreateBoundaryDescriptorA(const char* name, DWORD flags) = 0;
    virtual BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) = 0;
    virtual void DeleteBoundaryDescriptor(HANDLE boundary) = 0;
    // CreatePrivateNamespaceA with this descriptor; ERROR_ALREADY_EXISTS when
    // one with the same boundary is there (open it instead).
    virtual HANDLE CreatePrivateNamespaceA(void* descriptor, HANDLE boundary,
                                           const char* alias) = 0;
    virtual HANDLE OpenPrivateNamespaceA(HANDLE boundary, const char* alias) = 0;
    virtual BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags) = 0;
};

// How the process meets failures that the system would otherwise put to a
// person in a box of its own (a drive without a disk, a program that
// crashed, a file that cannot be opened): a run that nobody watches turns
// those boxes off before anything else.
class ErrorModeCalls {
public:
    virtual ~ErrorModeCalls() = default;

    // SetErrorMode: the process's new mode; returns the one it had.
    virtual UINT SetErrorMode(UINT mode) = 0;
};

// The Windows event log: a source opened by name (registered or not), one
// event reported through it, the source closed.
class EventLogCalls {
public:
    virtual ~EventLogCalls() = default;

    virtual HANDLE RegisterEventSourceA(const char* server, const char* source) = 0;
    // No user SID and no binary data; the strings in the ANSI code page.
    virtual BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId,
                              WORD stringCount, const char** strings) = 0;
    virtual BOOL DeregisterEventSource(HANDLE source) = 0;
};

// Reading a file through a handle: the program copies its own file from
// the handle it holds from its start (the bytes that run, whatever a path
// names by then).
class FileReadCalls {
public:
    virtual ~FileReadCalls() = default;

    // ReadFile without overlapped I/O: up to size bytes at the file
    // pointer; TRUE with *read 0 at the end of the file.
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) = 0;
};

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
