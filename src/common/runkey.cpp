#include "common/runkey.h"

#include "common/handles.h"

namespace {
constexpr std::size_t kCommandBufferSize = 1024;
constexpr const char* kHideWindowSuffix = " -HideWindow";
} // namespace

namespace {
// The registry functions return their error instead of setting it.
port::BOOL Fail(port::DWORD code) {
    port::Sys().SetLastError(code);
    return port::FALSE;
}
} // namespace

bool IsRunValueName(const std::string& valueName) {
    return !valueName.empty() && valueName.size() <= kMaxRunValueName;
}

std::string RunCommandText(const std::string& command) {
    if (command.find(kHideWindowOption) == std::string::npos)
        return command + kHideWindowSuffix;
    return command;
}

port::BOOL SetRunValue(const std::string& command, const std::string& valueName) {
    if (command.empty() || !IsRunValueName(valueName))
        return Fail(port::ERROR_INVALID_PARAMETER);
    std::string const text = RunCommandText(command);
    // The command and its terminating zero must fit the buffer whole.
    if (text.size() + 1 > kCommandBufferSize)
        return Fail(port::ERROR_FILENAME_EXCED_RANGE);
    unique_hkey key;
    port::LONG result = port::Sys().RegCreateKeyExA(
        port::HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, port::REG_OPTION_NON_VOLATILE,
        port::KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (result != port::ERROR_SUCCESS)
        return Fail(static_cast<port::DWORD>(result));
    result = port::Sys().RegSetValueExA(key.get(), valueName.c_str(), 0, port::REG_SZ,
                                        reinterpret_cast<const port::BYTE*>(text.c_str()),
                                        static_cast<port::DWORD>(text.size() + 1));
    if (result != port::ERROR_SUCCESS)
        return Fail(static_cast<port::DWORD>(result));
    return port::TRUE;
}

port::BOOL DeleteRunValue(const std::string& valueName) {
    if (!IsRunValueName(valueName))
        return Fail(port::ERROR_INVALID_PARAMETER);
    unique_hkey key;
    port::LONG result = port::Sys().RegOpenKeyExA(port::HKEY_LOCAL_MACHINE, kRunKey, 0,
                                                  port::KEY_ALL_ACCESS, key.put());
    if (result != port::ERROR_SUCCESS)
        return Fail(static_cast<port::DWORD>(result));
    result = port::Sys().RegDeleteValueA(key.get(), valueName.c_str());
    if (result != port::ERROR_SUCCESS && result != port::ERROR_FILE_NOT_FOUND)
        return Fail(static_cast<port::DWORD>(result));
    return port::TRUE;
}

port::BOOL RunValueExists(const std::string& valueName) {
    if (!IsRunValueName(valueName))
        return port::FALSE;
    unique_hkey key;
    if (port::Sys().RegOpenKeyExA(port::HKEY_LOCAL_MACHINE, kRunKey, 0, port::KEY_ALL_ACCESS,
                                  key.put()) != port::ERROR_SUCCESS)
        return port::FALSE;
    port::DWORD type = 0;
    port::DWORD size = 124;
    return port::Sys().RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr,
                                        &size) == port::ERROR_SUCCESS;
}
