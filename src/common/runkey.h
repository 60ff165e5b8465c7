// The machine-wide Run key: writer, remover and presence test of its values.
#pragma once

#include "port/port.h"

#include <cstddef>
#include <string>

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kOwnRunValue = "Halvex Wardline Norvane";
inline constexpr const char* kHideWindowOption = "-HideWindow";
// The longest value name the registry of every Windows takes.
inline constexpr std::size_t kMaxRunValueName = 255;

// A name the functions below accept: not empty, at most kMaxRunValueName
// characters. A longer one (a name from the client's INI file cut at 259
// characters, for one) names no value the client can have.
[[nodiscard]] bool IsRunValueName(const std::string& valueName);

// Stores command (with " -HideWindow" appended unless it contains
// "-HideWindow") as REG_SZ value valueName. TRUE only when the value was
// written. FALSE otherwise, with the thread's last error saying why: an
// empty argument or a name that is no Run value name
// (ERROR_INVALID_PARAMETER), a command too long for the
// 1024-byte command buffer (ERROR_FILENAME_EXCED_RANGE; a cut command would
// start something else at the next logon, so nothing is stored), or the
// registry's own code when the key cannot be created or the value written.
[[nodiscard]] port::BOOL SetRunValue(const std::string& command, const std::string& valueName);

// The text SetRunValue stores for command.
std::string RunCommandText(const std::string& command);

// Deletes value valueName. TRUE when the value is gone: deleted, or there was
// none. FALSE when the name is empty or too long, the key cannot be opened,
// or the value exists and cannot be deleted (the thread's last error then
// says why).
[[nodiscard]] port::BOOL DeleteRunValue(const std::string& valueName);

// TRUE exactly when the key opens with full access and holds a value of that
// name, of any type and content (never for a name that is no Run value name).
[[nodiscard]] port::BOOL RunValueExists(const std::string& valueName);
