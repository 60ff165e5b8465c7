// FakeOs: registry, system information, token, NetBIOS, clock, messages.
#include "port/fake/fake_os.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

namespace port {

namespace {

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                0x00010000 /*DELETE*/ | 0x00040000 /*WRITE_DAC*/ |
                                0x00080000 /*WRITE_OWNER*/;

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool IsPredefined(HKEY key) {
    auto v = reinterpret_cast<std::uintptr_t>(key);
    return v >= 0x80000000u && v <= 0x80000003u;
}

// A binary SID as the system lays it out.
std::vector<BYTE> MakeSid(const SID_IDENTIFIER_AUTHORITY& authority,
                          std::initializer_list<DWORD> subs) {
    std::vector<BYTE> sid(8 + 4 * subs.size());
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(subs.size());
    std::memcpy(&sid[2], authority.Value, 6);
    std::size_t i = 8;
    for (DWORD s : subs) {
        std::memcpy(&sid[i], &s, 4);
        i += 4;
    }
    return sid;
}

std::size_t SidLength(const void* sid) {
    return 8 + 4 * static_cast<const BYTE*>(sid)[1];
}

} // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

FakeOs::FakeOs() {
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    version.dwMajorVersion = 5;
    version.dwMinorVersion = 1;
    version.dwBuildNumber = 2600;
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    lanas.push_back({0, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true});
    hostAddresses["master01"] = 0x0A00A8C0;  // 192.168.0.10
    hostAddresses["localhost"] = 0x0100007F; // 127.0.0.1
    systemMessages[ERROR_FILE_NOT_FOUND] = "The system cannot find the file specified.\r\n";
    systemMessages[ERROR_ACCESS_DENIED] = "Access is denied.\r\n";
    systemMessages[ERROR_INVALID_HANDLE] = "The handle is invalid.\r\n";
    systemMessages[ERROR_FILE_EXISTS] = "The file exists.\r\n";
    systemMessages[ERROR_INVALID_NAME] =
        "The filename, directory name, or volume label syntax is incorrect.\r\n";
    systemMessages[ERROR_SHARING_VIOLATION] =
        "The process cannot access the file because it is being used by another process.\r\n";
    systemMessages[ERROR_SERVICE_DOES_NOT_EXIST] =
        "The specified service does not exist as an installed service.\r\n";
    systemMessages[ERROR_SERVICE_NOT_ACTIVE] = "The service has not been started.\r\n";
    systemMessages[ERROR_SERVICE_ALREADY_RUNNING] =
        "An instance of the service is already running.\r\n";
    systemMessages[ERROR_PATH_NOT_FOUND] = "The system cannot find the path specified.\r\n";
    systemMessages[ERROR_NOT_ENOUGH_MEMORY] =
        "Not enough storage is available to process this command.\r\n";
    systemMessages[ERROR_INVALID_PARAMETER] = "The parameter is incorrect.\r\n";
    systemMessages[ERROR_INSUFFICIENT_BUFFER] =
        "The data area passed to a system call is too small.\r\n";
    systemMessages[ERROR_PROC_NOT_FOUND] = "The specified procedure could not be found.\r\n";
    systemMessages[ERROR_FILENAME_EXCED_RANGE] = "The filename or extension is too long.\r\n";
    systemMessages[ERROR_MORE_DATA] = "More data is available.\r\n";
    systemMessages[ERROR_NO_MORE_ITEMS] = "No more data is available.\r\n";
    systemMessages[ERROR_INVALID_SERVICE_CONTROL] =
        "The requested control is not valid for this service.\r\n";
    systemMessages[ERROR_SERVICE_REQUEST_TIMEOUT] =
        "The service did not respond to the start or control request in a timely fashion.\r\n";
    systemMessages[ERROR_SERVICE_DISABLED] =
        "The service cannot be started, either because it is disabled or because it has no "
        "enabled devices associated with it.\r\n";
    systemMessages[ERROR_SERVICE_CANNOT_ACCEPT_CTRL] =
        "The service cannot accept control messages at this time.\r\n";
    systemMessages[ERROR_NO_NETWORK] = "The network is not present or not started.\r\n";
    systemMessages[ERROR_CANCELLED] = "The operation was canceled by the user.\r\n";
    systemMessages[ERROR_SHARING_VIOLATION] =
        "The process cannot access the file because it is being used by another process.\r\n";
    files["C:"] = FakeFile::SystemDriveRoot();
    files[windowsFolder] = FakeFile{true};
    files[commonAppData] = FakeFile::CommonAppDataFolder();
    AddFile(modulePath); // in a folder only administrators may change
}

FakeOs::~FakeOs() {
    for (void* sid : m_sids)
        delete[] static_cast<BYTE*>(sid);
    for (void* block : m_localBlocks)
        delete[] static_cast<char*>(block);
    for (void* view : m_views)
        delete[] static_cast<BYTE*>(view);
}

// ---------------------------------------------------------------- helpers

std::uintptr_t FakeOs::NextHandle() {
    m_nextHandle += 4;
    return m_nextHandle;
}

FakeRegKey* FakeOs::Root(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE)
        return &hklm;
    if (key == HKEY_CURRENT_USER)
        return &hkcu;
    if (key == HKEY_USERS)
        return &hku;
    if (key == HKEY_CLASSES_ROOT)
        return &hkcr;
    return nullptr;
}

FakeRegKey* FakeOs::Resolve(HKEY key, REGSAM* access) {
    if (IsPredefined(key)) {
        *access = KEY_ALL_ACCESS;
        return Root(key);
    }
    auto it = m_keys.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == m_keys.end())
        return nullptr;
    *access = it->second.access;
    return it->second.key;
}

namespace {
bool Holds(const FakeRegKey& tree, const FakeRegKey* key) {
    if (&tree == key)
        return true;
    for (const auto& [name, sub] : tree.subkeys)
        if (Holds(*sub, key))
            return true;
    return false;
}
} // namespace

bool FakeOs::WriteDenied(const FakeRegKey* key) const {
    // HKEY_LOCAL_MACHINE lets only the administrators and the system write,
    // as its keys' DACLs do: a user's or a filtered token reads it only.
    // Windows 9x keeps no security on keys.
    return key->denyWrite || (version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                              !FullAdministrator() && Holds(hklm, key));
}

FakeRegKey& FakeOs::Key(HKEY root, const std::string& path) {
    FakeRegKey* k = Root(root);
    for (const auto& part : SplitKeyPath(path)) {
        auto& slot = k->subkeys[part];
        if (!slot)
            slot = std::make_unique<FakeRegKey>();
        k = slot.get();
    }
    return *k;
}

namespace {
void MarkDeleted(FakeRegKey& key) {
    key.deleted = true;
    for (auto& [name, sub] : key.subkeys)
        MarkDeleted(*sub);
}
} // namespace

void FakeOs::DeleteKeyTree(HKEY root, const std::string& path) {
    auto parts = SplitKeyPath(path);
    if (parts.empty())
        return;
    FakeRegKey* k = Root(root);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = k->subkeys.find(parts[i]);
        if (it == k->subkeys.end())
            return;
        k = it->second.get();
    }
    auto it = k->subkeys.find(parts.back());
    if (it == k->subkeys.end())
        return;
    // Handles still open on the tree keep pointing at it, as they do on
    // Windows; every call on them answers ERROR_KEY_DELETED.
    MarkDeleted(*it->second);
    m_deletedKeys.push_back(std::move(it->second));
    k->subkeys.erase(it);
}

const FakeRegValue* FakeOs::Value(HKEY root, const std::string& path,
                                  const std::string& name) const {
    const FakeRegKey* k = const_cast<FakeOs*>(this)->Root(root);
    for (const auto& part : SplitKeyPath(path)) {
        auto it = k->subkeys.find(part);
        if (it == k->subkeys.end())
            return nullptr;
        k = it->second.get();
    }
    auto v = k->values.find(name);
    return v == k->values.end() ? nullptr : &v->second;
}

void FakeOs::SetString(HKEY root, const std::string& path, const std::string& name,
                       const std::string& text, DWORD type) {
    FakeRegValue v;
    v.type = type;
    v.data.assign(text.begin(), text.end());
    v.data.push_back(0);
    Key(root, path).values[name] = v;
}

void FakeOs::SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    FakeRegValue v;
    v.type = REG_DWORD;
    v.data.resize(4);
    std::memcpy(v.data.data(), &value, 4);
    Key(root, path).values[name] = v;
}

std::string FakeOs::StringValue(HKEY root, const std::string& path, const std::string& name) const {
    const FakeRegValue* v = Value(root, path, name);
    if (!v)
        return {};
    std::string s(v->data.begin(), v->data.end());
    if (!s.empty() && s.back() == '\0')
        s.pop_back();
    return s;
}

int FakeOs::OpenHandleCount() const {
    return static_cast<int>(m_keys.size() + m_services.size() + m_tokens.size() + m_dcs.size() +
                            m_searches.size() + m_sids.size() + m_localBlocks.size() +
                            m_processHandles.size() + m_mappingHandles.size() + m_views.size() +
                            m_files.size() + m_mutexHandles.size() + m_boundaries.size() +
                            m_namespaceHandles.size() + m_eventSources.size()) +
           m_libraries;
}

std::string FakeOs::Describe() const {
    std::ostringstream out;
    out << "keys " << m_keys.size() << ", services " << m_services.size() << ", tokens "
        << m_tokens.size() << ", DCs " << m_dcs.size() << ", searches " << m_searches.size()
        << ", SIDs " << m_sids.size() << ", message texts " << m_localBlocks.size()
        << ", libraries " << m_libraries << ", processes and threads " << m_processHandles.size()
        << ", mappings " << m_mappingHandles.size() << ", views " << m_views.size() << ", files "
        << m_files.size() << ", mutexes " << m_mutexHandles.size() << ", boundaries "
        << m_boundaries.size() << ", namespaces " << m_namespaceHandles.size() << ", event sources "
        << m_eventSources.size();
    return out.str();
}

void FakeOs::AdvanceTime(DWORD ms) {
    now += ms;
}

// ---------------------------------------------------------------- errors

DWORD FakeOs::GetLastError() {
    return m_lastError;
}
void FakeOs::SetLastError(DWORD code) {
    m_lastError = code;
}

// ---------------------------------------------------------------- registry

LONG FakeOs::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
    if (!subKey || !*subKey) {
        REGSAM access;
        FakeRegKey* k = Resolve(key, &access);
        if (!k)
            return ERROR_INVALID_HANDLE;
        if (k->deleted)
            return ERROR_KEY_DELETED;
        *result = key;
        return ERROR_SUCCESS;
    }
    // The old call asks for the most it may get.
    REGSAM parentAccess;
    FakeRegKey* parent = Resolve(key, &parentAccess);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (parent->deleted)
        return ERROR_KEY_DELETED;
    FakeRegKey* k = parent;
    for (const auto& part : SplitKeyPath(subKey)) {
        auto it = k->subkeys.find(part);
        if (it == k->subkeys.end())
            return ERROR_FILE_NOT_FOUND;
        k = it->second.get();
    }
    REGSAM granted = WriteDenied(k) ? KEY_READ : KEY_ALL_ACCESS;
    auto h = NextHandle();
    m_keys[h] = {k, granted};
    *result = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

LONG FakeOs::RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result) {
    REGSAM parentAccess;
    FakeRegKey* k = Resolve(key, &parentAccess);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (k->deleted)
        return ERROR_KEY_DELETED;
    if (subKey) {
        for (const auto& part : SplitKeyPath(subKey)) {
            auto it = k->subkeys.find(part);
            if (it == k->subkeys.end())
                return ERROR_FILE_NOT_FOUND;
            k = it->second.get();
        }
    }
    if (WriteDenied(k) && (access & kWriteRights))
        return ERROR_ACCESS_DENIED;
    auto h = NextHandle();
    m_keys[h] = {k,
                 access == MAXIMUM_ALLOWED ? (WriteDenied(k) ? KEY_READ : KEY_ALL_ACCESS) : access};
    *result = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

LONG FakeOs::RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM access,
                             void*, HKEY* result, DWORD* disposition) {
    if (!BeginStateChange("RegCreateKeyExA"))
        return kPoweredOff;
    REGSAM parentAccess;
    FakeRegKey* k = Resolve(key, &parentAccess);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (k->deleted)
        return ERROR_KEY_DELETED;
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    bool created = false;
    for (const auto& part : SplitKeyPath(subKey)) {
        auto it = k->subkeys.find(part);
        if (it == k->subkeys.end()) {
            if (WriteDenied(k))
                return ERROR_ACCESS_DENIED;
            auto& slot = k->subkeys[part];
            slot = std::make_unique<FakeRegKey>();
            k = slot.get();
            created = true;
        } else {
            k = it->second.get();
        }
    }
    if (WriteDenied(k) && (access & kWriteRights))
        return ERROR_ACCESS_DENIED;
    auto h = NextHandle();
    m_keys[h] = {k, access};
    *result = reinterpret_cast<HKEY>(h);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG FakeOs::RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data,
                              DWORD* size) {
    if (onQueryValue)
        onQueryValue(name ? name : "", data != nullptr);
    REGSAM access;
    FakeRegKey* k = Resolve(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (k->deleted)
        return ERROR_KEY_DELETED;
    if (!(access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    auto it = k->values.find(name ? name : "");
    if (it == k->values.end())
        return ERROR_FILE_NOT_FOUND;
    const FakeRegValue& v = it->second;
    if (type)
        *type = v.type;
    auto length = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (size)
            *size = length;
        return ERROR_SUCCESS;
    }
    if (*size < length) {
        *size = length;
        return ERROR_MORE_DATA;
    }
    std::copy(v.data.begin(), v.data.end(), data);
    // A text stored without its terminating zero gets one when the buffer
    // has room for it; the size reported stays that of the stored bytes.
    bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
    if (text && length > 0 && v.data.back() != 0 && *size > length)
        data[length] = 0;
    *size = length;
    return ERROR_SUCCESS;
}

LONG FakeOs::RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data,
                            DWORD size) {
    if (!BeginStateChange("RegSetValueExA"))
        return kPoweredOff;
    REGSAM access;
    FakeRegKey* k = Resolve(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (k->deleted)
        return ERROR_KEY_DELETED;
    if (!(access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (k->valueWriteError)
        return static_cast<LONG>(k->valueWriteError);
    // A text whose size leaves out its terminating zero gets it back: the
    // system looks at the byte after the given size (as NT does).
    if (data && size > 0 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) &&
        data[size - 1] != 0 && data[size] == 0)
        ++size;
    FakeRegValue v;
    v.type = type;
    if (data)
        v.data.assign(data, data + size);
    k->values[name ? name : ""] = std::move(v);
    return ERROR_SUCCESS;
}

LONG FakeOs::RegDeleteValueA(HKEY key, const char* name) {
    if (!BeginStateChange("RegDeleteValueA"))
        return kPoweredOff;
    REGSAM access;
    FakeRegKey* k = Resolve(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (k->deleted)
        return ERROR_KEY_DELETED;
    if (!(access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (k->valueDeleteError && k->values.count(name ? name : ""))
        return static_cast<LONG>(k->valueDeleteError);
    if (k->values.erase(name ? name : "") == 0)
        return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LONG FakeOs::RegDeleteKeyA(HKEY key, const char* subKey) {
    if (!BeginStateChange("RegDeleteKeyA"))
        return kPoweredOff;
    REGSAM access;
    FakeRegKey* parent = Resolve(key, &access);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (parent->deleted)
        return ERROR_KEY_DELETED;
    auto parts = SplitKeyPath(subKey ? subKey : "");
    if (parts.empty())
        return ERROR_INVALID_PARAMETER;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->subkeys.find(parts[i]);
        if (it == parent->subkeys.end())
            return ERROR_FILE_NOT_FOUND;
        parent = it->second.get();
    }
    auto it = parent->subkeys.find(parts.back());
    if (it == parent->subkeys.end())
        return ERROR_FILE_NOT_FOUND;
    if (WriteDenied(it->second.get()) || !it->second->subkeys.empty())
        return ERROR_ACCESS_DENIED;
    MarkDeleted(*it->second);
    m_deletedKeys.push_back(std::move(it->second));
    parent->subkeys.erase(it);
    return ERROR_SUCCESS;
}

LONG FakeOs::RegCloseKey(HKEY key) {
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    if (m_keys.erase(reinterpret_cast<std::uintptr_t>(key)) == 0)
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------- system

BOOL FakeOs::GetVersionExA(OSVERSIONINFOA* info) {
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
        info->dwOSVersionInfoSize != 156 /* OSVERSIONINFOEXA */) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    OSVERSIONINFOA copy = version;
    copy.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    *info = copy;
    return TRUE;
}

UCHAR FakeOs::Netbios(NCB* ncb) {
    netbiosCalls.emplace_back(ncb->ncb_command, ncb->ncb_lana_num);
    auto finish = [ncb](UCHAR code) {
        ncb->ncb_retcode = code;
        return code;
    };
    if (!netbiosAvailable)
        return finish(NRC_ENVNOTDEF);
    switch (ncb->ncb_command) {
    case NCBENUM: {
        if (ncb->ncb_length < 1 || !ncb->ncb_buffer)
            return finish(0x01 /* NRC_BUFLEN */);
        auto* e = static_cast<UCHAR*>(ncb->ncb_buffer);
        std::size_t room = ncb->ncb_length - 1u;
        std::size_t n = std::min(lanas.size(), room);
        e[0] = static_cast<UCHAR>(n);
        for (std::size_t i = 0; i < n; ++i)
            e[1 + i] = lanas[i].number;
        return finish(NRC_GOODRET);
    }
    case NCBRESET: {
        bool known = std::any_of(lanas.begin(), lanas.end(), [ncb](const FakeLana& l) {
            return l.number == ncb->ncb_lana_num;
        });
        return finish(known ? NRC_GOODRET : NRC_BRIDGE);
    }
    case NCBASTAT: {
        auto lana = std::find_if(lanas.begin(), lanas.end(), [ncb](const FakeLana& l) {
            return l.number == ncb->ncb_lana_num;
        });
        if (lana == lanas.end() || !lana->answers)
            return finish(NRC_BRIDGE);
        // Only the local adapter ("*" and blanks) answers here.
        if (ncb->ncb_callname[0] != '*')
            return finish(0x05 /* NRC_CMDTMO */);
        if (!ncb->ncb_buffer || ncb->ncb_length < sizeof(ADAPTER_STATUS))
            return finish(0x01 /* NRC_BUFLEN */);
        ADAPTER_STATUS status{};
        std::copy(lana->address.begin(), lana->address.end(), status.adapter_address);
        std::memcpy(ncb->ncb_buffer, &status, sizeof status);
        return finish(NRC_GOODRET);
    }
    default:
        return finish(0x03 /* NRC_ILLCMD */);
    }
}

DWORD FakeOs::GetModuleFileNameA(HMODULE, char* buffer, DWORD size) {
    if (size == 0) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    if (modulePath.size() >= size) {
        std::memcpy(buffer, modulePath.data(), size - 1);
        buffer[size - 1] = '\0';
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(buffer, modulePath.c_str(), modulePath.size() + 1);
    m_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(modulePath.size());
}

BOOL FakeOs::GetComputerNameA(char* buffer, DWORD* size) {
    if (computerNameFails) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (*size <= computerName.size()) {
        *size = static_cast<DWORD>(computerName.size() + 1);
        m_lastError = 111; // ERROR_BUFFER_OVERFLOW
        return FALSE;
    }
    std::memcpy(buffer, computerName.c_str(), computerName.size() + 1);
    *size = static_cast<DWORD>(computerName.size());
    return TRUE;
}

UINT FakeOs::GetWindowsDirectoryA(char* buffer, UINT size) {
    if (size <= windowsFolder.size())
        return static_cast<UINT>(windowsFolder.size() + 1);
    std::memcpy(buffer, windowsFolder.c_str(), windowsFolder.size() + 1);
    return static_cast<UINT>(windowsFolder.size());
}

UINT FakeOs::GetACP() {
    return codePage;
}

BOOL FakeOs::IsDBCSLeadByte(BYTE c) {
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return FALSE;
    }
}

int FakeOs::WSAStartup(WORD requested) {
    wsaStartupCalls.push_back(requested);
    return wsaStartupResult;
}

int FakeOs::gethostname(char* name, int size) {
    if (static_cast<int>(hostName.size()) >= size)
        return -1;
    std::memcpy(name, hostName.c_str(), hostName.size() + 1);
    return 0;
}

BOOL FakeOs::GetHostFirstAddress(const char* name, DWORD* address) {
    auto it = hostAddresses.find(name ? name : "");
    if (it == hostAddresses.end())
        return FALSE;
    *address = it->second;
    return TRUE;
}

int FakeOs::LoadStringA(UINT id, char* buffer, int size) {
    auto it = strings.find(id);
    if (it == strings.end() || size <= 0) {
        if (size > 0)
            buffer[0] = '\0';
        return 0;
    }
    int n = std::min(static_cast<int>(it->second.size()), size - 1);
    std::memcpy(buffer, it->second.data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

int FakeOs::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    messageBoxes.push_back({owner, text ? text : "", caption ? caption : "Error", type});
    if (messageBoxAnswers.empty())
        return IDOK;
    int answer = messageBoxAnswers.front();
    messageBoxAnswers.pop_front();
    return answer;
}

// ---------------------------------------------------------------- token

BOOL FakeOs::OpenProcessToken(DWORD, HANDLE* token) {
    if (openTokenFails) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    // Windows 9x has no tokens.
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        m_lastError = 120; // ERROR_CALL_NOT_IMPLEMENTED
        return FALSE;
    }
    auto h = NextHandle();
    m_tokens.insert(h);
    *token = reinterpret_cast<HANDLE>(h);
    return TRUE;
}

BOOL FakeOs::GetTokenInformation(HANDLE token, int infoClass, void* buffer, DWORD size,
                                 DWORD* returned) {
    if (!m_tokens.count(reinterpret_cast<std::uintptr_t>(token))) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (infoClass == TokenElevationType && elevationType != 0) {
        *returned = sizeof(DWORD);
        if (!buffer || size < sizeof(DWORD)) {
            m_lastError = ERROR_INSUFFICIENT_BUFFER;
            return FALSE;
        }
        std::memcpy(buffer, &elevationType, sizeof(DWORD));
        return TRUE;
    }
    if (infoClass == TokenUser)
        return TokenUserInformation(buffer, size, returned);
    if (infoClass != TokenGroups) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::vector<std::vector<BYTE>> sids;
    SID_IDENTIFIER_AUTHORITY world{{0, 0, 0, 0, 0, 1}};
    sids.push_back(MakeSid(world, {0}));
    sids.push_back(MakeSid(SECURITY_NT_AUTHORITY, {21, 1111, 2222, 3333, 513}));
    if (isAdministrator)
        sids.push_back(MakeSid(SECURITY_NT_AUTHORITY, {32, 544}));
    sids.push_back(MakeSid(SECURITY_NT_AUTHORITY, {32, 545}));
    sids.push_back(MakeSid(SECURITY_NT_AUTHORITY, {11}));

    std::size_t header = offsetof(TOKEN_GROUPS, Groups) + sids.size() * sizeof(SID_AND_ATTRIBUTES);
    std::size_t required = header;
    for (const auto& s : sids)
        required += s.size();
    if (buffer && !tokenGroupsGrowth.empty()) {
        // The groups changed since the caller learnt the size.
        required += tokenGroupsGrowth.front();
        tokenGroupsGrowth.pop_front();
    }
    *returned = static_cast<DWORD>(required);
    if (!buffer || size < required) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    groups->GroupCount = static_cast<DWORD>(sids.size());
    auto* out = static_cast<BYTE*>(buffer) + header;
    for (std::size_t i = 0; i < sids.size(); ++i) {
        std::memcpy(out, sids[i].data(), sids[i].size());
        groups->Groups[i].Sid = out;
        bool const admins = sids[i] == MakeSid(SECURITY_NT_AUTHORITY, {32, 544});
        groups->Groups[i].Attributes =
            admins && adminDenyOnly ? SE_GROUP_USE_FOR_DENY_ONLY : SE_GROUP_ENABLED;
        out += sids[i].size();
    }
    return TRUE;
}

BOOL FakeOs::AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                      DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                      DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (count > 8) {
        m_lastError = 1337; // ERROR_INVALID_SID
        return FALSE;
    }
    DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    auto* block = new BYTE[8 + 4 * count];
    block[0] = 1;
    block[1] = count;
    std::memcpy(block + 2, authority->Value, 6);
    std::memcpy(block + 8, subs, 4u * count);
    m_sids.insert(block);
    *sid = block;
    return TRUE;
}

BOOL FakeOs::EqualSid(PSID a, PSID b) {
    std::size_t la = SidLength(a), lb = SidLength(b);
    return la == lb && std::memcmp(a, b, la) == 0;
}

void FakeOs::FreeSid(PSID sid) {
    if (m_sids.erase(sid))
        delete[] static_cast<BYTE*>(sid);
}

BOOL FakeOs::CloseHandle(HANDLE handle) {
    auto const h = reinterpret_cast<std::uintptr_t>(handle);
    if (m_tokens.erase(h) || m_processHandles.erase(h) || m_mappingHandles.erase(h) ||
        m_files.erase(h))
        return TRUE;
    auto mutex = m_mutexHandles.find(h);
    if (mutex != m_mutexHandles.end()) {
        if (--mutexes[mutex->second] <= 0) {
            mutexes.erase(mutex->second);
            mutexOwners.erase(mutex->second);
            m_mutexAccess.erase(mutex->second);
        }
        m_mutexHandles.erase(mutex);
        return TRUE;
    }
    m_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

// ---------------------------------------------------------------- display

HDC FakeOs::GetDC(HWND) {
    auto h = NextHandle();
    m_dcs.insert(h);
    return reinterpret_cast<HDC>(h);
}

int FakeOs::GetDeviceCaps(HDC, int index) {
    switch (index) {
    case RASTERCAPS:
        return rasterCaps;
    case SIZEPALETTE:
        return sizePalette;
    case NUMCOLORS:
        return numColors;
    case BITSPIXEL:
        return bitsPixel;
    default:
        return 0;
    }
}

int FakeOs::ReleaseDC(HWND, HDC dc) {
    return m_dcs.erase(reinterpret_cast<std::uintptr_t>(dc)) ? 1 : 0;
}

// ---------------------------------------------------------------- libraries

namespace {
FakeOs& CurrentFake() {
    return static_cast<FakeOs&>(Sys());
}

DWORD NORVANE_WINAPI FakeWNetGetResourceInformationA(NETRESOURCEA* resource, void* buffer,
                                                     DWORD* size, char** system) {
    if (system)
        *system = nullptr;
    return CurrentFake().NetGetResourceInformation(resource, buffer, size);
}

DWORD NORVANE_WINAPI FakeWNetGetResourceParentA(NETRESOURCEA* resource, void* buffer, DWORD* size) {
    return CurrentFake().NetGetResourceParent(resource, buffer, size);
}

// Lays out a NETRESOURCEA with its texts behind it, as the provider does.
DWORD FillResource(void* buffer, DWORD* size, const std::string& remote,
                   const std::string& provider) {
    DWORD needed =
        static_cast<DWORD>(sizeof(NETRESOURCEA) + remote.size() + 1 + provider.size() + 1);
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    auto* r = static_cast<NETRESOURCEA*>(buffer);
    *r = NETRESOURCEA{};
    r->dwScope = RESOURCE_GLOBALNET;
    char* text = reinterpret_cast<char*>(r + 1);
    std::memcpy(text, remote.c_str(), remote.size() + 1);
    r->lpRemoteName = text;
    text += remote.size() + 1;
    std::memcpy(text, provider.c_str(), provider.size() + 1);
    r->lpProvider = text;
    return WN_SUCCESS;
}
} // namespace

DWORD FakeOs::NetGetResourceInformation(NETRESOURCEA* resource, void* buffer, DWORD* size) {
    network.remoteNamesAsked.push_back(resource->lpRemoteName ? resource->lpRemoteName : "");
    if (*size == 0 || !buffer) {
        if (network.informationProbeResult != ERROR_MORE_DATA)
            return network.informationProbeResult;
        DWORD zero = 0;
        FillResource(nullptr, &zero, resource->lpRemoteName, network.provider);
        *size = zero;
        return ERROR_MORE_DATA;
    }
    if (network.informationResult != 0)
        return network.informationResult;
    return FillResource(buffer, size, resource->lpRemoteName, network.provider);
}

DWORD FakeOs::NetGetResourceParent(NETRESOURCEA*, void* buffer, DWORD* size) {
    if (*size == 0 || !buffer) {
        if (network.parentProbeResult != ERROR_MORE_DATA)
            return network.parentProbeResult;
        DWORD zero = 0;
        FillResource(nullptr, &zero, network.parentName, network.provider);
        *size = zero;
        return ERROR_MORE_DATA;
    }
    if (network.parentResult != 0)
        return network.parentResult;
    return FillResource(buffer, size, network.parentName, network.provider);
}

namespace {
std::uintptr_t const kMprModule = 0x7100000;
std::uintptr_t const kShellModule = 0x7200000;
std::uintptr_t const kIpHelperModule = 0x7300000;
std::uintptr_t const kKernelModule = 0x7400000;

// A module the fake's LoadLibraryA hands out.
bool IsFakeModule(std::uintptr_t m) {
    return m == kMprModule || m == kShellModule || m == kIpHelperModule || m == kKernelModule;
}

bool SameName(const std::string& a, const char* b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}

// The shell's folder lookup: the common application data folder only.
HRESULT NORVANE_WINAPI FakeSHGetFolderPathA(HWND, int folder, HANDLE, DWORD, char* path) {
    FakeOs& os = CurrentFake();
    if (folder != kCsidlCommonAppData || os.commonAppData.size() >= MAX_PATH)
        return static_cast<HRESULT>(0x80070057); // E_INVALIDARG
    std::memcpy(path, os.commonAppData.c_str(), os.commonAppData.size() + 1);
    return S_OK;
}
// The IP helper's adapter list, laid out as the system lays it out: the
// records one after the other in the caller's buffer, linked by Next.
DWORD NORVANE_WINAPI FakeGetAdaptersAddresses(DWORD, DWORD, void*, IP_ADAPTER_ADDRESSES* list,
                                              DWORD* size) {
    FakeOs& os = CurrentFake();
    if (!size)
        return ERROR_INVALID_PARAMETER;
    if (os.adapters.empty())
        return ERROR_NO_DATA;
    DWORD const needed = static_cast<DWORD>(os.adapters.size() * sizeof(IP_ADAPTER_ADDRESSES));
    if (!list || *size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    for (std::size_t i = 0; i < os.adapters.size(); ++i) {
        IP_ADAPTER_ADDRESSES& record = list[i];
        record = IP_ADAPTER_ADDRESSES{};
        record.Alignment = sizeof(IP_ADAPTER_ADDRESSES);
        record.Next = i + 1 < os.adapters.size() ? &list[i + 1] : nullptr;
        record.IfType = os.adapters[i].ifType;
        std::size_t const n = std::min<std::size_t>(os.adapters[i].address.size(), 8);
        if (n)
            std::memcpy(record.PhysicalAddress, os.adapters[i].address.data(), n);
        record.PhysicalAddressLength = static_cast<DWORD>(n);
    }
    return ERROR_SUCCESS;
}
// The firmware's raw SMBIOS data.
UINT NORVANE_WINAPI FakeGetSystemFirmwareTable(DWORD provider, DWORD id, void* buffer, DWORD size) {
    FakeOs& os = CurrentFake();
    if (provider != kFirmwareProviderRsmb || id != 0 || os.smbios.empty()) {
        os.SetLastError(ERROR_NOT_FOUND);
        return 0;
    }
    auto const needed = static_cast<UINT>(os.smbios.size());
    if (buffer && size >= needed)
        std::memcpy(buffer, os.smbios.data(), needed);
    return needed;
}
} // namespace

HMODULE FakeOs::LoadLibraryA(const char* name) {
    std::string n = name ? name : "";
    // The system adds ".dll" to a name without an extension.
    if (n.find('.') == std::string::npos)
        n += ".dll";
    if (SameName(n, "mpr.dll") && network.libraryPresent) {
        ++m_libraries;
        ++network.loads;
        return reinterpret_cast<HMODULE>(kMprModule);
    }
    if (SameName(n, "shell32.dll") && shellFolderLookup) {
        ++m_libraries;
        return reinterpret_cast<HMODULE>(kShellModule);
    }
    if (SameName(n, "iphlpapi.dll") && ipHelperPresent) {
        ++m_libraries;
        return reinterpret_cast<HMODULE>(kIpHelperModule);
    }
    if (SameName(n, "kernel32.dll")) {
        ++m_libraries;
        return reinterpret_cast<HMODULE>(kKernelModule);
    }
    m_lastError = 126; // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC FakeOs::GetProcAddress(HMODULE module, const char* name) {
    auto const m = reinterpret_cast<std::uintptr_t>(module);
    if (!IsFakeModule(m) || !name) {
        m_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    std::string n = name;
    if (m == kMprModule && n == "WNetGetResourceInformationA" && network.hasResourceInformation)
        return reinterpret_cast<FARPROC>(&FakeWNetGetResourceInformationA);
    if (m == kMprModule && n == "WNetGetResourceParentA" && network.hasResourceParent)
        return reinterpret_cast<FARPROC>(&FakeWNetGetResourceParentA);
    if (m == kShellModule && n == "SHGetFolderPathA")
        return reinterpret_cast<FARPROC>(&FakeSHGetFolderPathA);
    if (m == kIpHelperModule && n == "GetAdaptersAddresses")
        return reinterpret_cast<FARPROC>(&FakeGetAdaptersAddresses);
    if (m == kKernelModule && n == "GetSystemFirmwareTable" && firmwareTables)
        return reinterpret_cast<FARPROC>(&FakeGetSystemFirmwareTable);
    m_lastError = ERROR_PROC_NOT_FOUND;
    return nullptr;
}

BOOL FakeOs::FreeLibrary(HMODULE module) {
    auto const m = reinterpret_cast<std::uintptr_t>(module);
    if (!IsFakeModule(m) || m_libraries == 0)
        return FALSE;
    --m_libraries;
    if (m == kMprModule)
        ++network.frees;
    return TRUE;
}

// ---------------------------------------------------------------- time

void FakeOs::Sleep(DWORD milliseconds) {
    sleeps.push_back(milliseconds);
    now += milliseconds;
    if (onSleep)
        onSleep(now);
}

DWORD FakeOs::GetTickCount() {
    return now;
}

void FakeOs::GetLocalTime(SYSTEMTIME* time) {
    *time = startTime;
    DWORD seconds = startTime.wSecond + now / 1000;
    time->wMilliseconds = static_cast<WORD>((startTime.wMilliseconds + now) % 1000);
    time->wSecond = static_cast<WORD>(seconds % 60);
    DWORD minutes = startTime.wMinute + seconds / 60;
    time->wMinute = static_cast<WORD>(minutes % 60);
    time->wHour = static_cast<WORD>((startTime.wHour + minutes / 60) % 24);
}

} // namespace port
