#include "common/runkey.h"

#include "common/handles.h"

namespace {
constexpr std::size_t kCommandBufferSize = 1024;
constexpr const char* kHideWindowSuffix = " -HideWindow";
} // namespace

port::BOOL SetRunValue(const std::string& command, const std::string& valueName) {
    if (command.empty() || valueName.empty())
        return port::FALSE;
    std::string text = command;
    if (text.find(kHideWindowOption) == std::string::npos)
        text += kHideWindowSuffix;
    // The command and its terminating zero must fit the buffer whole: a cut
    // command would start something else at the next logon.
    if (text.size() + 1 > kCommandBufferSize)
        return port::FALSE;
    unique_hkey key;
    if (port::Sys().RegCreateKeyExA(port::HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr,
                                    port::REG_OPTION_NON_VOLATILE, port::KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr) != port::ERROR_SUCCESS)
        return port::FALSE;
    port::Sys().RegSetValueExA(key.get(), valueName.c_str(), 0, port::REG_SZ,
                               reinterpret_cast<const port::BYTE*>(text.c_str()),
                               static_cast<port::DWORD>(text.size() + 1));
    return port::TRUE;
}

port::BOOL DeleteRunValue(const std::string& valueName) {
    if (valueName.empty())
        return port::FALSE;
    unique_hkey key;
    if (port::Sys().RegOpenKeyExA(port::HKEY_LOCAL_MACHINE, kRunKey, 0, port::KEY_ALL_ACCESS,
                                  key.put()) != port::ERROR_SUCCESS)
        return port::FALSE;
    port::Sys().RegDeleteValueA(key.get(), valueName.c_str());
    return port::TRUE;
}

port::BOOL RunValueExists(const std::string& valueName) {
    if (valueName.empty())
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
