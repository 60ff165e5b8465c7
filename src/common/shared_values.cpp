#include "common/shared_values.h"

#include "common/handles.h"

#include <cstdint>
#include <cstring>

port::DWORD ReadSharedValue(const std::string& name) {
    port::Os& os = port::Sys();
    unique_handle mapping(os.OpenFileMappingA(port::FILE_MAP_READ, port::FALSE, name.c_str()));
    if (!mapping)
        return 0;
    unique_mapview view(os.MapViewOfFile(mapping.get(), port::FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return 0;
    port::DWORD value = 0;
    std::memcpy(&value, view.get(), sizeof value);
    return value;
}

port::HWND ReadSharedHandle(const std::string& name) {
    // Window handles are 32-bit values, widened with their sign as the
    // system does when a 32-bit program hands one to a 64-bit one.
    auto const value = static_cast<std::int32_t>(ReadSharedValue(name));
    return reinterpret_cast<port::HWND>(static_cast<std::intptr_t>(value));
}
