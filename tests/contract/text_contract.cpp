// ANSI to UTF-16 conversion on the code pages the notification meets, and the
// desktop window that owns the credential dialog.
#include "contract_test.h"

#include <cstdlib>
#include <vector>

using namespace port;

namespace contract {
namespace {

using TextContract = ContractTest;

std::vector<WCHAR> Convert(Os& os, const char* text, int bytes) {
    int n = os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, nullptr, 0);
    std::vector<WCHAR> wide(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (n > 0) {
        EXPECT_EQ(os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, wide.data(), n), n);
    }
    return wide;
}

TEST_F(TextContract, CodePageConversionToUtf16) {
    if (const char* expected = std::getenv("NORVANE_EXPECT_ACP")) {
        EXPECT_EQ(os.GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    int checked = 0;
    if (env->UseCodePage(1252)) {
        ++checked;
        EXPECT_EQ(Convert(os, "A\xE9\x80", 3), (std::vector<WCHAR>{0x41, 0xE9, 0x20AC}));
        // -1: up to and including the NUL.
        EXPECT_EQ(Convert(os, "ab", -1), (std::vector<WCHAR>{0x61, 0x62, 0}));
        WCHAR one[1];
        EXPECT_EQ(os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "ab", 2, one, 1), 0);
        EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "ab", 0, one, 1), 0);
        EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
    }
    if (env->UseCodePage(932)) {
        ++checked;
        // Two double-byte characters (one with an 'A' as trail byte), ASCII
        // and a single-byte katakana.
        EXPECT_EQ(Convert(os,
                          "\x83\x41\x93\xFA"
                          "a\xB1",
                          6),
                  (std::vector<WCHAR>{0x30A2, 0x65E5, 0x61, 0xFF71}));
    }
    if (checked == 0)
        GTEST_SKIP() << "code page " << os.GetACP() << " has no table here";
}

TEST_F(TextContract, TheDesktopWindowIsAlwaysThere) {
    HWND desktop = os.GetDesktopWindow();
    EXPECT_NE(desktop, nullptr);
    EXPECT_EQ(os.GetDesktopWindow(), desktop);
}

} // namespace
} // namespace contract
