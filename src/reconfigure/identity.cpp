// A copy's own client identity: a new GUID in the client's key.
#include "common/message_box.h"
#include "common/guid.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/reconfiguration.h"
#include "string_ids.h"

using namespace port;

namespace {
constexpr DWORD kGuidPauseMs = 1000;

// The new GUID over the old one; the record gets both.
bool WriteGuid(HKEY key, const std::string& guid, const std::string& old) {
    LONG const result = Sys().RegSetValueExA(key, kValueGuid, 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(guid.c_str()),
                                             static_cast<DWORD>(guid.size() + 1));
    if (result != ERROR_SUCCESS) {
        Report().Event("The new GUID " + guid + " could not be stored: " +
                       CSystemError(static_cast<DWORD>(result)).GetErrorText());
        return false;
    }
    Report().GuidStored(old, guid);
    return true;
}
} // namespace

bool CReconfiguration::CreateGuidKey(std::string& guid) {
    try {
        if (GenerateAndStoreGuid(guid))
            return true;
        (void)ViewMessageBox(m_view, LoadResString(IDS_GUID_KEY_FAILED),
                             LoadResString(IDS_ERROR_CAPTION).c_str(), MB_ICONERROR);
    } catch (const CSystemError& error) {
        ShowSystemError(error);
    }
    return false;
}

bool CReconfiguration::GenerateAndStoreGuid(std::string& guid) {
    ShowStatusNow(IDS_CREATING_GUID_KEY);
    Os& os = Sys();
    os.Sleep(kGuidPauseMs);

    GUID value{};
    HRESULT const result = os.CoCreateGuid(&value);
    if (result != S_OK)
        throw CSystemError(static_cast<DWORD>(result), {}, 0);
    // The caller has the text even when the write below fails.
    guid = FormatGuid(value);

    const char* const keyPath =
        GetPlatformId() == VER_PLATFORM_WIN32_NT ? kClientKeyNT : kClientKey9x;
    // The key was there when the client was found installed. One that has
    // gone since (an uninstall under way) is not made again for a GUID of
    // its own: the GUID is not stored and the next logon finds no client.
    unique_hkey key;
    std::string old;
    if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        old = ReadRegString(key.get(), kValueGuid);
    if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, key.put()) ==
        ERROR_SUCCESS)
        return WriteGuid(key.get(), guid, old);
    if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS)
        return WriteGuid(key.get(), guid, old);
    Report().Event("The new GUID " + guid +
                   " could not be stored: the client's key does not "
                   "open for writing");
    return false;
}
