// The host identity: the MAC addresses of the NetBIOS adapters as lowercase
// hexadecimal, 12 digits per answering LANA, in enumeration order.
#pragma once

#include "port/port.h"

#include <string>
#include <vector>

// Appends one 12-digit entry per LANA that answers the status query.
port::BOOL EnumAdapterAddresses(std::vector<std::string>& addresses);

// The identity of this machine; empty when no adapter answers.
std::string GetHostIdentity();
