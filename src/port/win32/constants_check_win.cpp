// Compile-time proof that the port's constants and structures match
// <windows.h>. The port's values are captured under other names before
// <windows.h> turns the same names into macros.
#include "port/port.h"
#include "port/internet.h"

#include <type_traits>

namespace port_check {
#define NORVANE_CONST(type, name, value) inline constexpr auto port_##name = port::name;
#include "port/constants.def"
#undef NORVANE_CONST
} // namespace port_check

#include <winsock2.h>
#include <windows.h>
#include <nb30.h>
#include <winnetwk.h>
#include <iphlpapi.h>
#include <shellapi.h>
#include <wininet.h>

#define NORVANE_CONST(type, name, value)                                                           \
    static_assert(port_check::port_##name ==                                                       \
                      static_cast<std::remove_cv_t<decltype(port_check::port_##name)>>(name),      \
                  #name " differs from <windows.h>");
#include "port/constants.def"
#undef NORVANE_CONST

static_assert(sizeof(port::OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));
static_assert(sizeof(port::SERVICE_STATUS) == sizeof(::SERVICE_STATUS));
static_assert(offsetof(port::SERVICE_STATUS, dwCurrentState) ==
              offsetof(::SERVICE_STATUS, dwCurrentState));
static_assert(sizeof(port::SID_IDENTIFIER_AUTHORITY) == sizeof(::SID_IDENTIFIER_AUTHORITY));
static_assert(sizeof(port::SID_AND_ATTRIBUTES) == sizeof(::SID_AND_ATTRIBUTES));
static_assert(offsetof(port::TOKEN_GROUPS, Groups) == offsetof(::TOKEN_GROUPS, Groups));
static_assert(sizeof(port::NETRESOURCEA) == sizeof(::NETRESOURCEA));
static_assert(offsetof(port::NETRESOURCEA, lpRemoteName) == offsetof(::NETRESOURCEA, lpRemoteName));
static_assert(offsetof(port::NETRESOURCEA, lpProvider) == offsetof(::NETRESOURCEA, lpProvider));
// The pointers to mpr.dll's functions call them as <winnetwk.h> declares them.
static_assert(
    std::is_same_v<port::PFN_WNetGetResourceInformationA,
                   port::DWORD(WINAPI*)(port::NETRESOURCEA*, void*, port::DWORD*, char**)>);
static_assert(std::is_same_v<port::PFN_WNetGetResourceParentA,
                             port::DWORD(WINAPI*)(port::NETRESOURCEA*, void*, port::DWORD*)>);
static_assert(sizeof(port::ADAPTER_STATUS) == sizeof(::ADAPTER_STATUS));
static_assert(sizeof(port::NAME_BUFFER) == sizeof(::NAME_BUFFER));
static_assert(sizeof(port::LANA_ENUM) == sizeof(::LANA_ENUM));
static_assert(sizeof(port::SYSTEMTIME) == sizeof(::SYSTEMTIME));
static_assert(port::TokenGroups == ::TokenGroups);
static_assert(port::TokenElevationType == ::TokenElevationType);
static_assert(port::TokenElevationTypeLimited == ::TokenElevationTypeLimited);
static_assert(port::TokenElevationTypeFull == ::TokenElevationTypeFull);
static_assert(offsetof(port::IP_ADAPTER_ADDRESSES, Next) == offsetof(::IP_ADAPTER_ADDRESSES, Next));
static_assert(offsetof(port::IP_ADAPTER_ADDRESSES, PhysicalAddress) ==
              offsetof(::IP_ADAPTER_ADDRESSES, PhysicalAddress));
static_assert(offsetof(port::IP_ADAPTER_ADDRESSES, PhysicalAddressLength) ==
              offsetof(::IP_ADAPTER_ADDRESSES, PhysicalAddressLength));
static_assert(offsetof(port::IP_ADAPTER_ADDRESSES, IfType) ==
              offsetof(::IP_ADAPTER_ADDRESSES, IfType));
static_assert(port::kIfTypeEthernet == IF_TYPE_ETHERNET_CSMACD);
static_assert(port::kIfTypeWireless == IF_TYPE_IEEE80211);
static_assert(port::kAdapterListFlags == (GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST |
                                          GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER));
static_assert(sizeof(port::GUID) == sizeof(::GUID));
static_assert(offsetof(port::GUID, Data4) == offsetof(::GUID, Data4));
static_assert(sizeof(port::STARTUPINFOA) == sizeof(::STARTUPINFOA));
static_assert(offsetof(port::STARTUPINFOA, dwFlags) == offsetof(::STARTUPINFOA, dwFlags));
static_assert(offsetof(port::STARTUPINFOA, wShowWindow) == offsetof(::STARTUPINFOA, wShowWindow));
static_assert(offsetof(port::STARTUPINFOA, hStdError) == offsetof(::STARTUPINFOA, hStdError));
static_assert(sizeof(port::PROCESS_INFORMATION) == sizeof(::PROCESS_INFORMATION));
static_assert(sizeof(port::SHELLEXECUTEINFOA) == sizeof(::SHELLEXECUTEINFOA));
static_assert(offsetof(port::SHELLEXECUTEINFOA, lpParameters) ==
              offsetof(::SHELLEXECUTEINFOA, lpParameters));
static_assert(offsetof(port::SHELLEXECUTEINFOA, nShow) == offsetof(::SHELLEXECUTEINFOA, nShow));
static_assert(offsetof(port::SHELLEXECUTEINFOA, hProcess) ==
              offsetof(::SHELLEXECUTEINFOA, hProcess));
static_assert(offsetof(port::PROCESS_INFORMATION, dwProcessId) ==
              offsetof(::PROCESS_INFORMATION, dwProcessId));

// The WinINet port's types.
static_assert(sizeof(port::INTERNET_PORT) == sizeof(::INTERNET_PORT));
static_assert(sizeof(port::DWORD_PTR) == sizeof(::DWORD_PTR));
static_assert(sizeof(port::WCHAR) == sizeof(::WCHAR));
