// The bytes of a self-relative security descriptor (the form GetFileSecurityA
// gives and SetFileSecurityA takes), read and written without the system:
// the owner and the DACL, SIDs as their texts ("S-1-5-18"). The real port
// hands these bytes to Windows as they are; the fake reads and makes them.
#pragma once

#include "port/port.h"

#include <cstddef>
#include <string>
#include <vector>

namespace port {

inline constexpr const char* kSidLocalSystem = "S-1-5-18";
inline constexpr const char* kSidAdministrators = "S-1-5-32-544";
inline constexpr const char* kSidUsers = "S-1-5-32-545";
inline constexpr const char* kSidEveryone = "S-1-1-0";
inline constexpr const char* kSidAuthenticatedUsers = "S-1-5-11";
inline constexpr const char* kSidInteractive = "S-1-5-4";
inline constexpr const char* kSidTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

struct AccessEntry {
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;
    BYTE flags = 0;
    DWORD mask = 0;
    // Empty for an entry whose body is not a plain SID (object and callback
    // entries): read as "someone".
    std::string sid;
    bool operator==(const AccessEntry&) const = default;
};

struct SecurityDescriptor {
    WORD control = SE_SELF_RELATIVE;
    std::string owner; // empty: not given
    // No DACL present, or a NULL one: everyone may do everything.
    bool daclPresent = false;
    bool nullDacl = false;
    std::vector<AccessEntry> dacl;
};

// The binary SID of "S-1-<authority>-<sub>..." (at most 15 parts below the
// authority); empty when the text is no SID.
std::vector<BYTE> SidBytes(const std::string& text);
// The text of a binary SID of at most size bytes; empty when malformed.
std::string SidText(const BYTE* sid, std::size_t size);

// Self-relative; the control gains SE_SELF_RELATIVE and, with a DACL,
// SE_DACL_PRESENT.
std::vector<BYTE> EncodeSecurityDescriptor(const SecurityDescriptor& descriptor);
// false when the bytes are no self-relative descriptor, or an offset, a SID
// or an entry lies outside them.
bool DecodeSecurityDescriptor(const void* data, std::size_t size, SecurityDescriptor* descriptor);

} // namespace port
