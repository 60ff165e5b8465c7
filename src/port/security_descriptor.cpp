#include "port/security_descriptor.h"

#include <cstdlib>
#include <cstring>

namespace port {

namespace {

constexpr BYTE kRevision = 1;
constexpr BYTE kAclRevision = 2;
constexpr std::size_t kHeaderSize = 20; // revision, sbz1, control, 4 offsets
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 8; // type, flags, size, mask

void PutWord(std::vector<BYTE>& out, std::size_t at, WORD value) {
    out[at] = static_cast<BYTE>(value);
    out[at + 1] = static_cast<BYTE>(value >> 8);
}
void PutDword(std::vector<BYTE>& out, std::size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<BYTE>(value >> (8 * i));
}
WORD GetWord(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
DWORD GetDword(const BYTE* p) {
    return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}

std::size_t SidSize(const BYTE* sid, std::size_t size) {
    if (size < 8 || sid[0] != kRevision || sid[1] > 15 || size < 8 + 4u * sid[1])
        return 0;
    return 8 + 4u * sid[1];
}

} // namespace

std::vector<BYTE> SidBytes(const std::string& text) {
    if (text.rfind("S-1-", 0) != 0)
        return {};
    std::vector<unsigned long long> parts;
    const char* p = text.c_str() + 4;
    while (true) {
        char* end = nullptr;
        if (*p < '0' || *p > '9')
            return {};
        parts.push_back(std::strtoull(p, &end, 10));
        p = end;
        if (*p == '\0')
            break;
        if (*p != '-')
            return {};
        ++p;
    }
    if (parts.size() > 16 || parts[0] > 0xFFFFFFFFFFFFull)
        return {};
    std::vector<BYTE> sid(8 + 4 * (parts.size() - 1), 0);
    sid[0] = kRevision;
    sid[1] = static_cast<BYTE>(parts.size() - 1);
    for (int i = 0; i < 6; ++i)
        sid[2 + i] = static_cast<BYTE>(parts[0] >> (8 * (5 - i)));
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] > 0xFFFFFFFFull)
            return {};
        PutDword(sid, 8 + 4 * (i - 1), static_cast<DWORD>(parts[i]));
    }
    return sid;
}

std::string SidText(const BYTE* sid, std::size_t size) {
    if (!sid || SidSize(sid, size) == 0)
        return {};
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i)
        authority = (authority << 8) | sid[2 + i];
    std::string text = "S-1-" + std::to_string(authority);
    for (int i = 0; i < sid[1]; ++i)
        text += "-" + std::to_string(GetDword(sid + 8 + 4 * i));
    return text;
}

std::vector<BYTE> EncodeSecurityDescriptor(const SecurityDescriptor& descriptor) {
    std::vector<BYTE> out(kHeaderSize, 0);
    out[0] = kRevision;
    WORD control = descriptor.control | SE_SELF_RELATIVE;
    if (!descriptor.owner.empty()) {
        std::vector<BYTE> const owner = SidBytes(descriptor.owner);
        PutDword(out, 4, static_cast<DWORD>(out.size()));
        out.insert(out.end(), owner.begin(), owner.end());
    }
    if (descriptor.daclPresent) {
        control |= SE_DACL_PRESENT;
        if (!descriptor.nullDacl) {
            std::size_t const acl = out.size();
            PutDword(out, 16, static_cast<DWORD>(acl));
            out.resize(acl + kAclHeaderSize, 0);
            out[acl] = kAclRevision;
            for (const auto& entry : descriptor.dacl) {
                std::vector<BYTE> const sid = SidBytes(entry.sid);
                std::size_t const at = out.size();
                out.resize(at + kAceHeaderSize + sid.size(), 0);
                out[at] = entry.type;
                out[at + 1] = entry.flags;
                PutWord(out, at + 2, static_cast<WORD>(kAceHeaderSize + sid.size()));
                PutDword(out, at + 4, entry.mask);
                std::memcpy(out.data() + at + kAceHeaderSize, sid.data(), sid.size());
            }
            PutWord(out, acl + 2, static_cast<WORD>(out.size() - acl));
            PutWord(out, acl + 4, static_cast<WORD>(descriptor.dacl.size()));
        }
    }
    PutWord(out, 2, control);
    return out;
}

bool DecodeSecurityDescriptor(const void* data, std::size_t size, SecurityDescriptor* descriptor) {
    const auto* bytes = static_cast<const BYTE*>(data);
    if (!bytes || size < kHeaderSize || bytes[0] != kRevision)
        return false;
    SecurityDescriptor result;
    result.control = GetWord(bytes + 2);
    if (!(result.control & SE_SELF_RELATIVE))
        return false;
    DWORD const ownerAt = GetDword(bytes + 4);
    if (ownerAt != 0) {
        if (ownerAt >= size)
            return false;
        result.owner = SidText(bytes + ownerAt, size - ownerAt);
        if (result.owner.empty())
            return false;
    }
    result.daclPresent = (result.control & SE_DACL_PRESENT) != 0;
    DWORD const aclAt = GetDword(bytes + 16);
    result.nullDacl = result.daclPresent && aclAt == 0;
    if (result.daclPresent && aclAt != 0) {
        if (aclAt > size || size - aclAt < kAclHeaderSize)
            return false;
        const BYTE* const acl = bytes + aclAt;
        std::size_t const aclSize = GetWord(acl + 2);
        if (aclSize < kAclHeaderSize || aclSize > size - aclAt)
            return false;
        std::size_t at = kAclHeaderSize;
        for (WORD i = 0, count = GetWord(acl + 4); i < count; ++i) {
            if (aclSize - at < kAceHeaderSize)
                return false;
            const BYTE* const ace = acl + at;
            std::size_t const aceSize = GetWord(ace + 2);
            if (aceSize < kAceHeaderSize || aceSize > aclSize - at)
                return false;
            AccessEntry entry;
            entry.type = ace[0];
            entry.flags = ace[1];
            entry.mask = GetDword(ace + 4);
            // Plain allow and deny entries end in their SID; the others carry
            // more before it and are kept without one.
            if (entry.type == ACCESS_ALLOWED_ACE_TYPE || entry.type == ACCESS_DENIED_ACE_TYPE) {
                entry.sid = SidText(ace + kAceHeaderSize, aceSize - kAceHeaderSize);
                if (entry.sid.empty())
                    return false;
            }
            result.dacl.push_back(entry);
            at += aceSize;
        }
    }
    *descriptor = result;
    return true;
}

} // namespace port
