#include "common/registry.h"

#include <algorithm>
#include <vector>

std::string ReadRegString(port::HKEY key, const char* name) {
    auto& os = port::Sys();
    port::DWORD size = 0;
    if (os.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != port::ERROR_SUCCESS)
        return {};
    // The value may grow between the size query and the read; the system then
    // says how much it holds now, and the read is tried again with that.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<port::BYTE> block(size + 1u, 0);
        port::DWORD read = size;
        port::LONG result = os.RegQueryValueExA(key, name, nullptr, nullptr, block.data(), &read);
        if (result == port::ERROR_MORE_DATA && read > size) {
            size = read;
            continue;
        }
        if (result != port::ERROR_SUCCESS)
            return {};
        // Never past the block, whether or not the bytes hold a zero.
        auto end = block.begin() + std::min(read, size);
        return std::string(block.begin(), std::find(block.begin(), end, port::BYTE{0}));
    }
    return {};
}

port::DWORD ReadRegDword(port::HKEY key, const char* name) {
    port::DWORD value = 0;
    port::DWORD size = sizeof value;
    // A failed query (missing, or larger than four bytes) leaves the number
    // undefined on the system's side: it reads as 0.
    if (port::Sys().RegQueryValueExA(key, name, nullptr, nullptr,
                                     reinterpret_cast<port::BYTE*>(&value),
                                     &size) != port::ERROR_SUCCESS)
        return 0;
    return value;
}
