#include "common/event_source.h"

#include "common/handles.h"

using namespace port;

namespace {
constexpr DWORD kTypesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
} // namespace

LONG RegisterEventLogSource(const std::string& program) {
    Os& os = Sys();
    unique_hkey key;
    LONG result =
        os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD const types = kTypesSupported;
    result = os.RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                               reinterpret_cast<const BYTE*>(program.c_str()),
                               static_cast<DWORD>(program.size() + 1));
    if (result == ERROR_SUCCESS)
        result = os.RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&types), sizeof types);
    key.reset();
    if (result != ERROR_SUCCESS)
        (void)UnregisterEventLogSource();
    return result;
}

LONG UnregisterEventLogSource() {
    LONG const result = Sys().RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}
