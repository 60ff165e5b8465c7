// The machine-wide Run key: writer, remover and presence test of its values.
#pragma once

#include "port/port.h"

#include <string>

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kOwnRunValue = "Halvex Wardline Norvane";
inline constexpr const char* kHideWindowOption = "-HideWindow";

// Stores command (with " -HideWindow" appended unless it contains
// "-HideWindow") as REG_SZ value valueName. TRUE only when the value was
// written. FALSE otherwise, with the thread's last error saying why: an
// empty argument (ERROR_INVALID_PARAMETER), a command too long for the
// 1024-byte command buffer (ERROR_FILENAME_EXCED_RANGE; a cut command would
// start something else at the next logon, so nothing is stored), or the
// registry's own code when the key cannot be created or the value written.
[[nodiscard]] port::BOOL SetRunValue(const std::string& command, const std::string& valueName);

// Deletes value valueName. TRUE when the value is gone: deleted, or there was
// none. FALSE when the name is empty, the key cannot be opened, or the value
// exists and cannot be deleted (the thread's last error then says why).
[[nodiscard]] port::BOOL DeleteRunValue(const std::string& valueName);

// TRUE exactly when the key opens with full access and holds a value of that
// name, of any type and content.
[[nodiscard]] port::BOOL RunValueExists(const std::string& valueName);
