#include "common/outcome_values.h"

#include "common/handles.h"
#include "common/text.h"

using namespace port;

namespace {

std::string LocalTimeText() {
    SYSTEMTIME now{};
    Sys().GetLocalTime(&now);
    return Format("%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.wYear}, unsigned{now.wMonth},
                  unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute},
                  unsigned{now.wSecond});
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return Sys().RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
}

LONG SetNumber(HKEY key, const char* name, DWORD value) {
    return Sys().RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
}

} // namespace

LONG WriteOutcomeValues(const OutcomeValues& values) {
    unique_hkey key;
    LONG result =
        Sys().RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    LONG const none = ERROR_SUCCESS;
    LONG const results[] = {
        SetNumber(key.get(), "LastResult", static_cast<DWORD>(values.result)),
        SetString(key.get(), "LastRun", LocalTimeText()),
        SetString(key.get(), "LastMode", RunModeName(values.mode)),
        SetString(key.get(), "LastMessage", values.lastMessage),
        values.guidStored ? SetString(key.get(), "Guid", values.guid) : none,
        values.requestSent ? SetNumber(key.get(), "ServerStatus", values.serverStatus) : none,
        // Where this run's lines are: the log, or the run's own file beside
        // a log that another program held.
        SetString(key.get(), "LogFile", values.logFile),
    };
    for (LONG r : results)
        if (r != ERROR_SUCCESS)
            return r;
    return ERROR_SUCCESS;
}

LONG ClearCopyValues() {
    unique_hkey key;
    LONG const opened =
        Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, KEY_SET_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS)
        return opened;
    for (const char* name : {"Guid", "ServerStatus"}) {
        LONG const result = Sys().RegDeleteValueA(key.get(), name);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            return result;
    }
    return ERROR_SUCCESS;
}
