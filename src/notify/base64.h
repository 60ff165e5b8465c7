// CBase64Codec: standard Base64 (RFC 4648, "=" padding, one line), used for
// the Basic credential headers. The codec keeps its blocks between encodings.
#pragma once

#include "port/port.h"

#include <memory>

class CBase64Codec {
public:
    CBase64Codec();
    CBase64Codec(const CBase64Codec&) = delete;
    CBase64Codec& operator=(const CBase64Codec&) = delete;
    virtual ~CBase64Codec();

    // Nothing for null; otherwise the text's bytes up to its NUL.
    virtual void EncodeString(const char* text);
    // Throws std::bad_alloc when a block cannot be had (also when its size
    // would not fit in 32 bits).
    virtual void Encode(const port::BYTE* bytes, port::DWORD n);
    // The NUL-terminated Base64 text of the last encoding ("" before any);
    // valid until the next encoding or the codec's end.
    virtual const char* GetEncoded() const;

protected:
    // Make room for `size` bytes (a new block of the next multiple of 4096
    // strictly above size when the old one is smaller), zero the whole block
    // and set its length to 0.
    virtual void PrepareText(port::DWORD size);
    virtual void PreparePlain(port::DWORD size);
    virtual void LoadPlain(const port::BYTE* bytes, port::DWORD n);
    // A group of count (1-3) bytes, zero behind the count, into four characters.
    virtual void EncodeBlock(const port::BYTE group[3], int count, char* out);
    virtual void SplitTriplet(port::BYTE b0, port::BYTE b1, port::BYTE b2, port::BYTE out[4]);

private:
    std::unique_ptr<port::BYTE[]> m_pPlain;
    std::unique_ptr<char[]> m_pText;
    port::DWORD m_nPlainCapacity;
    port::DWORD m_nTextCapacity;
    port::DWORD m_nPlainLength;
    port::DWORD m_nTextLength;
};
