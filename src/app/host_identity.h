// The host identity: the MAC addresses of the NetBIOS adapters as lowercase
// hexadecimal, 12 digits per answering LANA, in enumeration order; where
// NetBIOS reports none, those of the physical adapters the IP helper lists.
#pragma once

#include "port/port.h"

#include <string>
#include <vector>

// Appends one 12-digit entry per LANA that answers the status query.
port::BOOL EnumAdapterAddresses(std::vector<std::string>& addresses);

// Appends one 12-digit entry per Ethernet or wireless adapter with a 6-byte
// address that is not all zero, in the IP helper's order; FALSE where the
// system has no such list.
port::BOOL EnumPhysicalAdapters(std::vector<std::string>& addresses);

// The identity of this machine: the NetBIOS adapters, or where NetBIOS
// reports none the IP helper's; empty when neither knows an adapter.
std::string GetHostIdentity();

// Whether a command-line argument has the form of a host identity: 12
// hexadecimal digits per adapter, at least one adapter.
bool IsHostIdentity(const std::string& text);
