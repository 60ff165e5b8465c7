#include "notify/base64.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// ((size / 4096) + 1) * 4096, refused when it does not fit in 32 bits, or,
// in a 32-bit program, in the largest object its address space can hold.
port::DWORD RoundedBlockSize(std::uint64_t size) {
    std::uint64_t rounded = (size / 4096 + 1) * 4096;
    if (rounded > UINT32_MAX || rounded > std::uint64_t{PTRDIFF_MAX})
        throw std::bad_alloc();
    return static_cast<port::DWORD>(rounded);
}

template <class T>
void Prepare(std::unique_ptr<T[]>& block, port::DWORD& capacity, port::DWORD& length,
             port::DWORD size) {
    length = 0;
    if (capacity < size) {
        port::DWORD rounded = RoundedBlockSize(size);
        block.reset();
        capacity = 0;
        block = std::make_unique<T[]>(rounded);
        capacity = rounded;
    }
    if (block)
        std::memset(block.get(), 0, capacity);
}

} // namespace

CBase64Codec::CBase64Codec()
    : m_nPlainCapacity(0), m_nTextCapacity(0), m_nPlainLength(0), m_nTextLength(0) {}

CBase64Codec::~CBase64Codec() = default;

void CBase64Codec::EncodeString(const char* text) {
    if (!text)
        return;
    Encode(reinterpret_cast<const port::BYTE*>(text), static_cast<port::DWORD>(std::strlen(text)));
}

void CBase64Codec::Encode(const port::BYTE* bytes, port::DWORD n) {
    // The text block is sized at twice the input, which is always more than
    // the 4 characters per 3 bytes written, so the text keeps a NUL behind
    // it. A size that does not fit in 32 bits is refused before anything is
    // allocated.
    std::uint64_t textSize = 2 * std::uint64_t{n};
    if (textSize > UINT32_MAX)
        throw std::bad_alloc();
    LoadPlain(bytes, n);
    PrepareText(static_cast<port::DWORD>(textSize));
    port::DWORD i = 0;
    for (; n - i >= 3; i += 3) {
        EncodeBlock(m_pPlain.get() + i, 3, m_pText.get() + m_nTextLength);
        m_nTextLength += 4;
    }
    if (n - i > 0) {
        port::BYTE group[3] = {0, 0, 0};
        std::memcpy(group, m_pPlain.get() + i, n - i);
        EncodeBlock(group, static_cast<int>(n - i), m_pText.get() + m_nTextLength);
        m_nTextLength += 4;
    }
}

const char* CBase64Codec::GetEncoded() const {
    return m_pText ? m_pText.get() : "";
}

void CBase64Codec::PrepareText(port::DWORD size) {
    Prepare(m_pText, m_nTextCapacity, m_nTextLength, size);
}

void CBase64Codec::PreparePlain(port::DWORD size) {
    Prepare(m_pPlain, m_nPlainCapacity, m_nPlainLength, size);
}

void CBase64Codec::LoadPlain(const port::BYTE* bytes, port::DWORD n) {
    PreparePlain(n);
    if (n > 0)
        std::memcpy(m_pPlain.get(), bytes, n);
    m_nPlainLength = n;
}

void CBase64Codec::EncodeBlock(const port::BYTE group[3], int count, char* out) {
    port::BYTE values[4];
    SplitTriplet(group[0], count > 1 ? group[1] : 0, count > 2 ? group[2] : 0, values);
    for (int k = 0; k < 4; ++k)
        out[k] = kAlphabet[values[k]];
    if (count == 1)
        out[2] = '=';
    if (count < 3)
        out[3] = '=';
}

void CBase64Codec::SplitTriplet(port::BYTE b0, port::BYTE b1, port::BYTE b2, port::BYTE out[4]) {
    out[0] = static_cast<port::BYTE>(b0 >> 2);
    out[1] = static_cast<port::BYTE>(((b0 << 4) & 0x3F) | (b1 >> 4));
    out[2] = static_cast<port::BYTE>(((b1 << 2) & 0x3F) | (b2 >> 6));
    out[3] = static_cast<port::BYTE>(b2 & 0x3F);
}
