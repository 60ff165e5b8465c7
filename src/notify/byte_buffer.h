// CByteBuffer: one growing block that collects the body of an HTTP answer.
#pragma once

#include "port/port.h"

#include <cstdint>
#include <memory>

class CByteBuffer {
public:
    CByteBuffer();
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // Appends n bytes, growing by whole quanta sized from the old capacity plus
    // n. Throws std::bad_alloc when the block cannot be had, also when the new
    // capacity would not fit in 32 bits; the buffer is then unchanged.
    void Append(const void* source, port::DWORD n);

    // From now on at most `bytes` are kept (the block never grows past
    // them); what would go beyond is dropped and only counted.
    void KeepAtMost(port::DWORD bytes);

    const port::BYTE* Data() const { return m_pData.get(); }
    port::DWORD Length() const { return m_nLength; }
    port::DWORD Capacity() const { return m_nCapacity; }
    // Bytes appended but not kept.
    std::uint64_t Dropped() const { return m_nDropped; }

private:
    port::DWORD m_nCapacity;
    port::DWORD m_nLength;
    port::DWORD m_nGrowBy;
    std::unique_ptr<port::BYTE[]> m_pData;
    bool m_bLimited = false;
    port::DWORD m_nLimit = 0;
    std::uint64_t m_nDropped = 0;
};
