#include "common/platform.h"

#include "common/handles.h"
#include "common/settings.h"
#include "common/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

using namespace port;

int GetPlatformId() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    Sys().GetVersionExA(&info);
    return static_cast<int>(info.dwPlatformId);
}

port::BOOL IsAdministrator() {
    auto& os = Sys();
    unique_handle token;
    if (!os.OpenProcessToken(TOKEN_READ, token.put()))
        return FALSE;
    try {
        DWORD size = 0;
        os.GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
        std::vector<BYTE> block(size, 0);
        DWORD needed = 0;
        if (!os.GetTokenInformation(token.get(), TokenGroups, block.data(), size, &needed)) {
            // The groups grew since the size was asked: one more try with
            // the size the system reports now.
            if (needed <= block.size())
                return FALSE;
            block.assign(needed, 0);
            if (!os.GetTokenInformation(token.get(), TokenGroups, block.data(), needed, &needed))
                return FALSE;
        }
        unique_sid admins;
        if (!os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, admins.put()))
            return FALSE;
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(block.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            // An administrator's filtered token (User Account Control) holds
            // the group for deny only: no change it would allow succeeds.
            if (os.EqualSid(groups->Groups[i].Sid, admins.get()))
                return (groups->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
        }
        return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

port::DWORD GetTokenElevationType() {
    auto& os = Sys();
    unique_handle token;
    if (!os.OpenProcessToken(TOKEN_QUERY, token.put()))
        return 0;
    DWORD type = 0;
    DWORD size = 0;
    if (!os.GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size))
        return 0;
    return type;
}

namespace {
// A string value read into a buffer of `capacity` bytes; the buffer carries
// one more zero byte so that a value filling it whole still ends.
std::string ReadValueIntoBuffer(HKEY root, const char* path, const char* name, DWORD capacity) {
    std::vector<char> buffer(capacity + 1u, 0);
    unique_hkey key;
    if (Sys().RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return {};
    DWORD size = capacity;
    if (Sys().RegQueryValueExA(key.get(), name, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return {};
    return std::string(buffer.data());
}
} // namespace

std::string GetComputerNameString() {
    char buffer[101] = {};
    DWORD size = 100;
    if (Sys().GetComputerNameA(buffer, &size))
        return buffer;
    return ReadValueIntoBuffer(HKEY_LOCAL_MACHINE,
                               "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                               "ComputerName", 100);
}

std::string GetWorkgroupName() {
    if (GetPlatformId() == 2)
        return ReadValueIntoBuffer(HKEY_LOCAL_MACHINE,
                                   "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                   "CachePrimaryDomain", 100);
    return ReadValueIntoBuffer(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP", "Workgroup", 100);
}

std::string GetDomainName() {
    std::string computer = GetComputerNameString();
    std::string domain = GetWorkgroupName();
    int platform = GetPlatformId();
    if (!(platform == 2 || (platform == 1 && domain.empty())))
        return domain;
    std::vector<char> buffer(129, 0);
    DWORD size = 128;
    DWORD error = 0;
    if (GetNetworkParentName(computer, &size, buffer.data(), &error)) {
        if (buffer[0])
            domain = buffer.data();
    } else if (error == ERROR_MORE_DATA) {
        std::vector<char> larger(size + 1u, 0);
        if (GetNetworkParentName(computer, &size, larger.data(), &error) && larger[0])
            domain = larger.data();
    }
    return domain;
}

port::BOOL GetNetworkParentName(const std::string& computer, DWORD* size, char* buffer,
                                DWORD* error) {
    auto& os = Sys();
    std::string remote = computer;
    if (!(remote.size() >= 2 && remote[0] == '\\' && remote[1] == '\\'))
        remote = "\\\\" + computer;

    *error = 0;
    unique_hmodule library(os.LoadLibraryA("mpr.dll"));
    if (!library)
        return TRUE;
    auto getInformation = reinterpret_cast<PFN_WNetGetResourceInformationA>(
        os.GetProcAddress(library.get(), "WNetGetResourceInformationA"));
    auto getParent = reinterpret_cast<PFN_WNetGetResourceParentA>(
        os.GetProcAddress(library.get(), "WNetGetResourceParentA"));
    if (!getInformation || !getParent)
        return TRUE;

    NETRESOURCEA resource{};
    resource.dwScope = RESOURCE_GLOBALNET;
    resource.dwType = RESOURCETYPE_ANY;
    resource.lpRemoteName = remote.data();
    DWORD infoSize = 0;
    char* system = nullptr;
    if (getInformation(&resource, nullptr, &infoSize, &system) != ERROR_MORE_DATA)
        return TRUE;
    std::vector<BYTE> info(std::max<DWORD>(infoSize, sizeof(NETRESOURCEA)), 0);
    infoSize = static_cast<DWORD>(info.size());
    DWORD result = getInformation(&resource, info.data(), &infoSize, &system);
    if (result != WN_SUCCESS) {
        *error = result;
        return FALSE;
    }
    NETRESOURCEA found;
    std::memcpy(&found, info.data(), sizeof found);
    if (found.lpProvider && std::strstr(found.lpProvider, "Netware"))
        return TRUE;

    DWORD parentSize = 0;
    result = getParent(&found, nullptr, &parentSize);
    if (result != ERROR_MORE_DATA) {
        *error = result;
        return *error == 0;
    }
    std::vector<BYTE> parent(std::max<DWORD>(parentSize, sizeof(NETRESOURCEA)), 0);
    parentSize = static_cast<DWORD>(parent.size());
    result = getParent(&found, parent.data(), &parentSize);
    if (result != WN_SUCCESS) {
        *error = result;
        return FALSE;
    }
    NETRESOURCEA parentRecord;
    std::memcpy(&parentRecord, parent.data(), sizeof parentRecord);
    std::string name = parentRecord.lpRemoteName ? parentRecord.lpRemoteName : "";
    if (*size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        *error = ERROR_MORE_DATA;
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return TRUE;
}

std::string GetWindowsFolder() {
    char buffer[MAX_PATH + 1] = {};
    UINT n = Sys().GetWindowsDirectoryA(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

bool IsNT() {
    return GetPlatformId() == static_cast<int>(VER_PLATFORM_WIN32_NT);
}

std::string GetProgramFilesFolder() {
    return ReadValueIntoBuffer(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                               "ProgramFilesDir", MAX_PATH);
}

std::string GetModulePath() {
    // A path cut at the buffer's end would name another file: grow until the
    // whole path fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<char> buffer(size, 0);
        DWORD n = Sys().GetModuleFileNameA(nullptr, buffer.data(), size);
        if (n == 0)
            return {};
        if (n < size)
            return std::string(buffer.data(), n);
    }
    return {};
}

port::BOOL IsLowColorDisplay() {
    auto& os = Sys();
    HDC dc = os.GetDC(nullptr);
    if (!dc)
        return FALSE;
    int colors = (os.GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) ? os.GetDeviceCaps(dc, SIZEPALETTE)
                                                                 : os.GetDeviceCaps(dc, NUMCOLORS);
    os.ReleaseDC(nullptr, dc);
    return colors < 256 && colors != -1;
}

port::BOOL GetLocalIPAddress(char* buffer, int size) {
    char host[128] = {};
    if (Sys().gethostname(host, sizeof host) != 0)
        return FALSE;
    DWORD address = 0;
    if (!Sys().GetHostFirstAddress(host, &address))
        return FALSE;
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    if (size > 0)
        std::snprintf(buffer, static_cast<std::size_t>(size), "%u.%u.%u.%u", b[0], b[1], b[2],
                      b[3]);
    return TRUE;
}

int CountFiles(const std::string& folder, const std::string& pattern, DWORD attributes,
               std::atomic<long>* counter, bool recurse, const std::string& exclusions) {
    auto& os = Sys();
    std::string spec = JoinPath(folder, pattern);
    FIND_ENTRY entry{};
    int error = 0;
    unique_findhandle search(os.FindFirstEntry(spec.c_str(), &entry, &error));
    if (!search) {
        if (error == EINVAL)
            throw CFileException(CFileException::hardIO, -1);
        return 0;
    }

    int count = 0;
    do {
        if (!(entry.attrib & FILE_ATTRIBUTE_DIRECTORY)) {
            std::string ext = SplitPath(entry.name).ext;
            // A name without extension matches no exclusion.
            if (ext.empty() || exclusions.find(ext) == std::string::npos) {
                ++count;
                if (counter)
                    ++*counter;
            }
        } else if (entry.name[0] != '.' && recurse) {
            count += CountFiles(JoinPath(folder, entry.name), pattern, attributes, counter, recurse,
                                exclusions);
        }
    } while (os.FindNextEntry(search.get(), &entry) == 0);
    return count;
}
