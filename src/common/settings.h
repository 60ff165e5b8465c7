// Where the client keeps its settings (registry keys, "Wdlscan.ini") and the
// two readers every step uses: the INI string reader and the path joiner.
#pragma once

#include "port/port.h"

#include <string>

// Client registry keys under HKEY_LOCAL_MACHINE.
inline constexpr const char* kClientKeyNT = "SOFTWARE\\Halvex\\SentovaNTCorp\\CurrentVersion";
inline constexpr const char* kClientKey9x = "SOFTWARE\\Halvex\\WardlineCorp\\CurrentVersion";
inline constexpr const char* kValueApplicationPath = "Application Path";
inline constexpr const char* kValueInstallPath = "InstallPath";
inline constexpr const char* kValueProgramVersion = "Program Version";
inline constexpr const char* kValueMode = "Mode";
inline constexpr const char* kValueGuid = "GUID";

// The client's INI file and its one section.
inline constexpr const char* kClientIniFile = "Wdlscan.ini";
inline constexpr const char* kClientIniSection = "INI_CLIENT_SETUP_SECTION";
inline constexpr const char* kIniRealTimeServiceFile = "NT_REAL_TIME_SERVICE_FILENAME";
inline constexpr const char* kIniListenerServiceFile = "NT_HXLISTEN_SERVICE_FILENAME";
inline constexpr const char* kIniMonitorItemFile = "NT_MENU_IOMONITOR_ITEM_FILENAME";
inline constexpr const char* kIniRunKeyNT = "NT_RUN_KEY";
inline constexpr const char* kIniMainItemFile9x = "95_MENU_MAIN_ITEM_FILENAME";
inline constexpr const char* kIniRunKey9x = "95_RUN_KEY";
inline constexpr const char* kIniRunKeyFile9x = "95_RUN_KEY_FILE_NAME";
inline constexpr const char* kIniRunKeyFileNT = "NT_RUN_KEY_FILE_NAME";
inline constexpr const char* kIniMonitorItem = "NT_MENU_IOMONITOR_ITEM";
inline constexpr const char* kDefaultRealTimeServiceFile = "rtguard.exe";
inline constexpr const char* kDefaultListenerServiceFile = "hxlisten.exe";

// GetPrivateProfileStringA with a 260-byte buffer: values longer than 259
// characters are cut; a missing file, section or key gives defaultValue.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, const std::string& iniPath);

// left and right joined with exactly one backslash between them; double-byte
// characters are kept whole (a trailing byte 0x5C is no separator).
std::string JoinPath(const std::string& left, const std::string& right);

// A program of the client named by its INI file: a file of the client's
// folder (JoinPath), or, when the name is a full path itself (a drive, or a
// network path), that path as it stands.
std::string ClientProgramPath(const std::string& folder, const std::string& file);

// The first byte of the last character of text (text itself when empty).
const char* LastCharacter(const char* text);

// The client's "Application Path" into a 260-byte buffer; FALSE (buffer
// unchanged) when the key or the value cannot be read.
[[nodiscard]] port::BOOL ReadApplicationPath(char* buffer);

// The client's installation folder on NT, where its "Wdlscan.ini" lies: the
// value "Application Path" of its key, else "InstallPath"; empty when the
// key or both values are missing.
std::string ClientFolderNT();
