// FakeOs: reading a file through an open handle.
#include "port/fake/fake_os.h"

#include <algorithm>
#include <cstring>

namespace port {

BOOL FakeOs::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) {
    if (read)
        *read = 0;
    auto it = m_files.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_files.end() || !files.count(it->second.path) || !read) {
        m_lastError = it == m_files.end() || read ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!(it->second.access & (GENERIC_READ | FILE_READ_DATA))) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    const std::string& bytes = profileFiles[it->second.path];
    std::size_t const at = std::min(it->second.position, bytes.size());
    std::size_t const n = std::min<std::size_t>(size, bytes.size() - at);
    if (n)
        std::memcpy(buffer, bytes.data() + at, n);
    it->second.position = at + n;
    *read = static_cast<DWORD>(n);
    m_lastError = 0;
    return TRUE;
}

} // namespace port
