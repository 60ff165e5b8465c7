// The machine-wide Run key: writer, remover and presence test of its values.
#pragma once

#include "port/port.h"

#include <string>

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kOwnRunValue = "Halvex Wardline Norvane";
inline constexpr const char* kHideWindowOption = "-HideWindow";

// Stores command (with " -HideWindow" appended unless it contains
// "-HideWindow") as REG_SZ value valueName. FALSE when an argument is empty,
// the command is too long for the 1024-byte command buffer (nothing is then
// stored) or the key cannot be created; TRUE otherwise, even when the value
// itself could not be written.
port::BOOL SetRunValue(const std::string& command, const std::string& valueName);

// Deletes value valueName. FALSE when the name is empty or the key cannot be
// opened; TRUE otherwise, also when there was no such value.
port::BOOL DeleteRunValue(const std::string& valueName);

// TRUE exactly when the key opens with full access and holds a value of that
// name, of any type and content.
port::BOOL RunValueExists(const std::string& valueName);
