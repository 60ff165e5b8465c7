// The installation notification: tells the management server that a copied
// computer has its new client GUID, with the server and proxy settings the
// client keeps in its registry keys.
#pragma once

#include "common/progress_view.h"
#include "port/port.h"

#include <string>

// Where the NT client keeps its proxy settings (the last component is spelled
// so, with its full stop).
inline constexpr const char* kProxySettingsKeyNT =
    "SOFTWARE\\Halvex\\SentovaNTCorp\\CurrentVersion\\Mics.";
inline constexpr const char* kNotificationPath = "/Wardline/cgi/cgiOnInst.exe";

// Sends the notification for `guid`: writes string 124 into the status line,
// then one GET of the notification path. TRUE when the server answered 200
// and the whole answer was read; FALSE after a failure, which has been shown
// in one error box (caption string 106) through the view.
[[nodiscard]] port::BOOL NotifyServer(ProgressView& view, const std::string& guid);

// The request object: path, then the query with UID, DATE and TIME of one
// clock reading, DOMAIN and DEFAULT_CFG (1 unless custom).
std::string BuildNotificationUrl(const std::string& path, const std::string& uid,
                                 port::BOOL custom);

// The workgroup or domain name as the DOMAIN field carries it: lower-cased,
// first character upper-cased unless it is double-byte, converted to UTF-8
// and percent-encoded ("Office.local" from OFFICE.LOCAL gives
// "Office%2elocal").
std::string EncodeDomainField(const std::string& name);

// A value of a key under HKEY_LOCAL_MACHINE: its first four bytes as a
// number (0 when missing), or its text up to the first NUL ("" when missing).
port::DWORD ReadClientDword(const char* key, const char* value);
std::string ReadClientString(const char* key, const char* value);
