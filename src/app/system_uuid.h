// The machine's system UUID, from the firmware's SMBIOS system information
// (structure type 1): one of the marks that tell the master from its copies.
#pragma once

#include "port/port.h"

#include <cstddef>
#include <string>

// The UUID of the first type-1 structure in raw SMBIOS data as
// GetSystemFirmwareTable gives it (its 8-byte header, then the structures),
// as "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (the first three fields read
// little-endian from SMBIOS 2.6 on, as the firmware stores them since); ""
// when there is none, when the data is cut short, and for the values that
// mark no UUID: all 00 or all FF bytes, and the placeholder that
// unconfigured firmware gives every machine alike.
std::string SmbiosSystemUuid(const port::BYTE* data, std::size_t size);

// This machine's system UUID; "" where the firmware gives none or the
// system cannot read its tables (before Windows Vista).
std::string GetSystemUuid();
