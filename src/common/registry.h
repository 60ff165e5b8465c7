// Readers of values under a key the caller has opened. They never raise and
// never show anything: a value that cannot be read is "" or 0.
#pragma once

#include "port/port.h"

#include <string>

// The value's bytes up to the first zero byte (any type; values of any
// length are read whole).
std::string ReadRegString(port::HKEY key, const char* name);

// The value's first four bytes as a number; 0 when it cannot be read.
port::DWORD ReadRegDword(port::HKEY key, const char* name);
