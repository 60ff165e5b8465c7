#include "notify/byte_buffer.h"

#include <cstdint>
#include <cstring>
#include <new>

CByteBuffer::CByteBuffer() : m_nCapacity(0), m_nLength(0), m_nGrowBy(32768) {}

void CByteBuffer::KeepAtMost(port::DWORD bytes) {
    m_bLimited = true;
    m_nLimit = bytes;
}

void CByteBuffer::Append(const void* source, port::DWORD n) {
    if (m_bLimited) {
        port::DWORD const room = m_nLength < m_nLimit ? m_nLimit - m_nLength : 0;
        if (n > room) {
            m_nDropped += n - room;
            n = room;
        }
    }
    if (n == 0)
        return;
    if (m_nCapacity - m_nLength >= n) {
        std::memcpy(m_pData.get() + m_nLength, source, n);
        m_nLength += n;
        return;
    }
    // The capacity is a 32-bit count: work it out in 64 bits and refuse what
    // would wrap, rather than allocate a small block and copy past its end.
    std::uint64_t wanted =
        std::uint64_t{m_nGrowBy} * ((std::uint64_t{m_nCapacity} + n) / m_nGrowBy + 1);
    if (m_bLimited && wanted > m_nLimit)
        wanted = m_nLimit; // still room for n: n was cut to the room left
    if (wanted > UINT32_MAX)
        throw std::bad_alloc();
    auto capacity = static_cast<port::DWORD>(wanted);
    auto block = std::make_unique<port::BYTE[]>(capacity);
    if (m_nLength > 0)
        std::memcpy(block.get(), m_pData.get(), m_nLength);
    std::memcpy(block.get() + m_nLength, source, n);
    m_pData = std::move(block);
    m_nCapacity = capacity;
    m_nLength += n;
}
