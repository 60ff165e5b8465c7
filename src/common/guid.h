// The text form of a GUID as the client stores and the server receives it.
#pragma once

#include "port/port.h"

#include <string>

// 36 characters: lower-case hexadecimal in groups of 8, 4, 4, 4 and 12
// separated by dashes, no braces; Data4 in memory order.
std::string FormatGuid(const port::GUID& guid);
