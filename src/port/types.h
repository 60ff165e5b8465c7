// The port's types: the Win32 scalar and handle types, the constants and the
// structures of the calls port::Os makes, with Win32 names and layouts. Part
// of port/port.h; include that.
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

} // namespace port
