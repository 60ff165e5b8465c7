// CByteBuffer: one growing block that collects the body of an HTTP answer.
#pragma once

#include "port/port.h"

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

    const port::BYTE* Data() const { return m_pData.get(); }
    port::DWORD Length() const { return m_nLength; }
    port::DWORD Capacity() const { return m_nCapacity; }

private:
    port::DWORD m_nCapacity;
    port::DWORD m_nLength;
    port::DWORD m_nGrowBy;
    std::unique_ptr<port::BYTE[]> m_pData;
};
