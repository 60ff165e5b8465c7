#include "app/system_uuid.h"

#include "common/handles.h"
#include "common/text.h"

#include <algorithm>
#include <vector>

using namespace port;

namespace {
constexpr std::size_t kHeaderSize = 8; // calling method, version, revision, length
constexpr BYTE kSystemInformation = 1;
constexpr BYTE kEndOfTable = 127;
constexpr std::size_t kUuidOffset = 8;
constexpr std::size_t kUuidSize = 16;

// Firmware left unconfigured by the board's maker gives every machine these
// bytes: they tell nothing apart.
constexpr BYTE kPlaceholder[kUuidSize] = {0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05,
                                          0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09};

bool NoUuid(const BYTE* u) {
    return std::all_of(u, u + kUuidSize, [](BYTE b) { return b == 0x00; }) ||
           std::all_of(u, u + kUuidSize, [](BYTE b) { return b == 0xFF; }) ||
           std::equal(u, u + kUuidSize, kPlaceholder);
}

std::string UuidText(const BYTE* u, bool littleEndianFields) {
    unsigned f[16];
    for (std::size_t i = 0; i < kUuidSize; ++i)
        f[i] = u[i];
    if (littleEndianFields) {
        std::swap(f[0], f[3]);
        std::swap(f[1], f[2]);
        std::swap(f[4], f[5]);
        std::swap(f[6], f[7]);
    }
    return Format("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", f[0],
                  f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12], f[13],
                  f[14], f[15]);
}
} // namespace

std::string SmbiosSystemUuid(const BYTE* data, std::size_t size) {
    if (!data || size < kHeaderSize)
        return "";
    BYTE const major = data[1];
    BYTE const minor = data[2];
    std::size_t const length = static_cast<std::size_t>(data[4]) | data[5] << 8 | data[6] << 16 |
                               static_cast<std::size_t>(data[7]) << 24;
    // The structures end where the data given ends, whatever the header says.
    const BYTE* at = data + kHeaderSize;
    const BYTE* const end = at + std::min(length, size - kHeaderSize);
    while (end - at >= 4) {
        BYTE const type = at[0];
        std::size_t const formatted = at[1];
        if (formatted < 4 || formatted > static_cast<std::size_t>(end - at))
            return "";
        if (type == kSystemInformation) {
            if (formatted < kUuidOffset + kUuidSize || NoUuid(at + kUuidOffset))
                return "";
            return UuidText(at + kUuidOffset, major > 2 || (major == 2 && minor >= 6));
        }
        if (type == kEndOfTable)
            return "";
        // The strings behind the formatted part end with two zero bytes.
        const BYTE* p = at + formatted;
        while (end - p >= 2 && !(p[0] == 0 && p[1] == 0))
            ++p;
        if (end - p < 2)
            return "";
        at = p + 2;
    }
    return "";
}

std::string GetSystemUuid() {
    Os& os = Sys();
    unique_hmodule kernel(os.LoadLibraryA("kernel32.dll"));
    if (!kernel)
        return "";
    auto table = reinterpret_cast<PFN_GetSystemFirmwareTable>(
        os.GetProcAddress(kernel.get(), "GetSystemFirmwareTable"));
    if (!table)
        return "";
    UINT const needed = table(kFirmwareProviderRsmb, 0, nullptr, 0);
    if (needed == 0 || needed > (1u << 20))
        return "";
    std::vector<BYTE> buffer(needed);
    UINT const got = table(kFirmwareProviderRsmb, 0, buffer.data(), needed);
    if (got == 0 || got > needed)
        return "";
    return SmbiosSystemUuid(buffer.data(), got);
}
