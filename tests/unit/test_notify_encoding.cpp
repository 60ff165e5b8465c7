// The answer buffer, Base64 and the DOMAIN field of the notification.
#include "notify/base64.h"
#include "notify/byte_buffer.h"
#include "notify/notification.h"
#include "fake_system.h"

#include <cstring>
#include <new>
#include <vector>

using namespace port;

TEST(Base64, Rfc4648VectorsWithTheirPadding) {
    CBase64Codec codec;
    EXPECT_STREQ(codec.GetEncoded(), "");
    const std::pair<const char*, const char*> vectors[] = {
        {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        codec.EncodeString(plain);
        EXPECT_STREQ(codec.GetEncoded(), encoded) << plain;
    }
    const BYTE high[] = {0xFB, 0xFF, 0xBF};
    codec.Encode(high, 3);
    EXPECT_STREQ(codec.GetEncoded(), "+/+/");
    codec.EncodeString(nullptr); // nothing happens
    EXPECT_STREQ(codec.GetEncoded(), "+/+/");
}

TEST(Base64, LongInputStaysOnOneLineAndASmallerOneReusesTheZeroedBlock) {
    CBase64Codec codec;
    std::vector<BYTE> plain(3000, 0xA5);
    codec.Encode(plain.data(), 3000);
    std::string text = codec.GetEncoded();
    ASSERT_EQ(text.size(), 4000u);
    EXPECT_EQ(text.find_first_not_of("paWl"), std::string::npos); // A5 A5 A5 -> "paWl", no breaks
    const char* block = codec.GetEncoded();

    codec.EncodeString("ab");
    EXPECT_EQ(codec.GetEncoded(), block);
    EXPECT_STREQ(codec.GetEncoded(), "YWI="); // nothing of the old text behind it
}

TEST(Base64, RefusesATextBlockBeyond32Bits) {
    CBase64Codec codec;
    const BYTE few[4] = {1, 2, 3, 4};
    // Twice this count does not fit in 32 bits: refused before any byte is read.
    EXPECT_THROW(codec.Encode(few, 0x80000000u), std::bad_alloc);
    codec.Encode(few, 1);
    EXPECT_STREQ(codec.GetEncoded(), "AQ==");
}

TEST(ByteBuffer, GrowsByWholeQuantaSizedFromTheOldCapacity) {
    CByteBuffer buffer;
    BYTE piece[1024];
    buffer.Append(piece, 0);
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_EQ(buffer.Data(), nullptr);

    std::vector<DWORD> capacities;
    for (int i = 0; i < 33; ++i) {
        std::memset(piece, i, sizeof piece);
        buffer.Append(piece, sizeof piece);
        capacities.push_back(buffer.Capacity());
    }
    EXPECT_EQ(capacities.front(), 32768u);
    EXPECT_EQ(capacities[31], 32768u);
    EXPECT_EQ(capacities[32], 65536u);
    ASSERT_EQ(buffer.Length(), 33u * 1024);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(buffer.Data()[i * 1024 + 1023], i) << "piece " << i;
}

TEST(ByteBuffer, RefusesACapacityBeyond32BitsAndStaysAsItWas) {
    CByteBuffer buffer;
    BYTE piece[100] = {42};
    buffer.Append(piece, sizeof piece);
    const BYTE* data = buffer.Data();
    // Capacity plus count wraps in 32 bits; and a sum that fits whose
    // rounding up to the next quantum does not.
    EXPECT_THROW(buffer.Append(piece, 0xFFFFFFFFu - 50), std::bad_alloc);
    EXPECT_THROW(buffer.Append(piece, 0xFFFF0000u), std::bad_alloc);
    EXPECT_EQ(buffer.Length(), 100u);
    EXPECT_EQ(buffer.Capacity(), 32768u);
    EXPECT_EQ(buffer.Data(), data);
    EXPECT_EQ(buffer.Data()[0], 42);
}

class DomainField : public FakeSystemTest {};

TEST_F(DomainField, CapitalisedLowerCaseWithPunctuationPercentEncoded) {
    EXPECT_EQ(EncodeDomainField("WORKGROUP"), "Workgroup");
    EXPECT_EQ(EncodeDomainField("my-domain"), "My%2ddomain");
    EXPECT_EQ(EncodeDomainField("OFFICE.LOCAL"), "Office%2elocal");
    EXPECT_EQ(EncodeDomainField(""), "");
    // The percent sign passes unchanged; the space, every other punctuation
    // character and the control characters (a line break could start a
    // header of the name's own) are encoded.
    EXPECT_EQ(EncodeDomainField("a%B\x01 C!/:@[`{~\r\n\x7f"),
              "A%b%01%20c%21%2f%3a%40%5b%60%7b%7e%0d%0a%7f");
    // Code page 1252 beyond ASCII: UTF-8, each byte encoded (letters there
    // keep their case).
    EXPECT_EQ(EncodeDomainField("\xC9QUIPE\x80"), "%c3%89quipe%e2%82%ac");
}

TEST_F(DomainField, DoubleByteCharactersAreKeptWholeOnCodePage932) {
    os.codePage = 932;
    // U+30A2 is 0x83 0x41: its trail byte is an 'A' that must stay one (as
    // 0x83 0x61 it would be another character). A leading double-byte
    // character is not upper-cased.
    EXPECT_EQ(EncodeDomainField("\x83\x41NET"), "%e3%82%a2net");
    EXPECT_EQ(EncodeDomainField("\x93\xFA\x96\x7B"), "%e6%97%a5%e6%9c%ac");
    EXPECT_EQ(EncodeDomainField("lan\x82\xA0"), "Lan%e3%81%82");
}
