#include "common/settings.h"

#include "common/handles.h"
#include "common/registry.h"
#include "common/text.h"
#include "port/port.h"

#include <algorithm>
#include <cstring>

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, const std::string& iniPath) {
    char buffer[port::MAX_PATH] = {};
    port::DWORD n = port::Sys().GetPrivateProfileStringA(
        section.c_str(), key.c_str(), defaultValue.c_str(), buffer, sizeof buffer, iniPath.c_str());
    if (n >= sizeof buffer)
        n = sizeof buffer - 1;
    return std::string(buffer, n);
}

namespace {
// The runtime's _mbsinc: one character forward.
const char* NextCharacter(const char* p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0')
        return p + 2;
    return p + 1;
}
} // namespace

const char* LastCharacter(const char* text) {
    const char* last = text;
    for (const char* p = text; *p; p = NextCharacter(p))
        last = p;
    return last;
}

std::string ClientProgramPath(const std::string& folder, const std::string& file) {
    // Put under the folder, a full path would name a file that is nowhere.
    bool const fullPath =
        !SplitPath(file).drive.empty() || (file.size() >= 2 && file[0] == '\\' && file[1] == '\\');
    return fullPath ? file : JoinPath(folder, file);
}

std::string JoinPath(const std::string& left, const std::string& right) {
    if (left.empty())
        return right;
    const char sep = '\\';
    const char* last = LastCharacter(left.c_str());
    bool rightLead = !right.empty() && IsLeadByte(static_cast<unsigned char>(right[0]));
    bool rightStartsWithSep = !right.empty() && right[0] == sep;
    bool lastIsDoubleByte = NextCharacter(last) - last == 2;
    if (lastIsDoubleByte) {
        if (rightLead || (!right.empty() && !rightStartsWithSep))
            return left + sep + right;
        return left + right;
    }
    bool leftEndsWithSep = left.back() == sep;
    if (rightLead)
        return leftEndsWithSep ? left + right : left + sep + right;
    if (leftEndsWithSep)
        return rightStartsWithSep ? left + right.substr(1) : left + right;
    if (!right.empty() && !rightStartsWithSep)
        return left + sep + right;
    return left + right;
}

port::BOOL ReadApplicationPath(char* buffer) {
    unique_hkey key;
    if (port::Sys().RegOpenKeyA(port::HKEY_LOCAL_MACHINE, kClientKeyNT, key.put()) !=
        port::ERROR_SUCCESS)
        return port::FALSE;
    // Read beside the caller's buffer so that a failed read leaves it as it
    // was, and so that a value filling all 260 bytes still ends in a zero.
    char value[port::MAX_PATH + 1] = {};
    port::DWORD size = port::MAX_PATH;
    if (port::Sys().RegQueryValueExA(key.get(), kValueApplicationPath, nullptr, nullptr,
                                     reinterpret_cast<port::BYTE*>(value),
                                     &size) != port::ERROR_SUCCESS)
        return port::FALSE;
    std::size_t length = std::min<std::size_t>(std::strlen(value), port::MAX_PATH - 1);
    std::memcpy(buffer, value, length);
    buffer[length] = '\0';
    return port::TRUE;
}

std::string ClientFolderNT() {
    char folder[port::MAX_PATH] = {};
    if (ReadApplicationPath(folder) && folder[0])
        return folder;
    unique_hkey key;
    if (port::Sys().RegOpenKeyExA(port::HKEY_LOCAL_MACHINE, kClientKeyNT, 0, port::KEY_READ,
                                  key.put()) != port::ERROR_SUCCESS)
        return {};
    return ReadRegString(key.get(), kValueInstallPath);
}
