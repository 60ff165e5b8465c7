// System information: version, NetBIOS adapter status, module and computer
// names, the Windows folder, code page, sockets and the display.
#include "contract_test.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace port;

namespace contract {
namespace {

using SystemContract = ContractTest;

TEST_F(SystemContract, VersionAcceptsOnlyTheStructureSize) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(os.GetVersionExA(&info));
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_GE(info.dwMajorVersion, 5u);

    // The extended structure's size (156) is accepted too.
    struct {
        OSVERSIONINFOA base;
        BYTE extension[8];
    } extended{};
    extended.base.dwOSVersionInfoSize = 156;
    EXPECT_TRUE(os.GetVersionExA(&extended.base));
    EXPECT_EQ(extended.base.dwPlatformId, VER_PLATFORM_WIN32_NT);

    OSVERSIONINFOA wrong{};
    wrong.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(os.GetVersionExA(&wrong));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// NCB fields not named are zero, as the program sets them. Windows stores the
// result in ncb_retcode too; Wine leaves it 0 when the LANA is unknown (the
// program reads only the returned value).
UCHAR Call(Os& os, bool wine, UCHAR command, UCHAR lana, void* buffer, WORD length) {
    NCB ncb{};
    ncb.ncb_command = command;
    ncb.ncb_lana_num = lana;
    ncb.ncb_buffer = buffer;
    ncb.ncb_length = length;
    if (command == NCBASTAT)
        std::memcpy(ncb.ncb_callname, "*               ", NCBNAMSZ);
    UCHAR result = os.Netbios(&ncb);
    if (!wine || result == NRC_GOODRET) {
        EXPECT_EQ(ncb.ncb_retcode, result) << "command " << int(command) << " lana " << int(lana);
    }
    return result;
}

TEST_F(SystemContract, NetbiosReportsTheMachinesAdapterAddress) {
    LANA_ENUM lanas{};
    ASSERT_EQ(Call(os, env->IsWine(), NCBENUM, 0, &lanas, sizeof lanas), NRC_GOODRET);
    ASSERT_GE(lanas.length, 1);
    const UCHAR lana = lanas.lana[0];
    EXPECT_EQ(Call(os, env->IsWine(), NCBRESET, lana, nullptr, 0), NRC_GOODRET);

    BYTE block[600];
    std::memset(block, 0, sizeof block);
    ASSERT_EQ(Call(os, env->IsWine(), NCBASTAT, lana, block, sizeof block), NRC_GOODRET);
    MacAddress mac;
    std::memcpy(mac.data(), block, 6);
    auto known = env->MachineAddresses();
    EXPECT_NE(std::find(known.begin(), known.end(), mac), known.end())
        << "the address is none of the machine's adapters";

    // A LANA that the enumeration did not list is refused.
    UCHAR unused = 200;
    while (std::find(lanas.lana, lanas.lana + lanas.length, unused) != lanas.lana + lanas.length)
        ++unused;
    EXPECT_EQ(Call(os, env->IsWine(), NCBRESET, unused, nullptr, 0), NRC_BRIDGE);
    EXPECT_EQ(Call(os, env->IsWine(), NCBASTAT, unused, block, sizeof block), NRC_BRIDGE);
}

TEST_F(SystemContract, ModuleFileNameIsCutAndTerminatedWhenTheBufferIsShort) {
    char full[260];
    DWORD n = os.GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(n, 6u);
    ASSERT_LT(n, 260u);
    EXPECT_EQ(std::strlen(full), n);
    EXPECT_EQ(full[1], ':');
    std::string path = full;
    std::transform(path.begin(), path.end(), path.begin(), ::tolower);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");

    std::string exact(n, '#');
    os.SetLastError(0);
    EXPECT_EQ(os.GetModuleFileNameA(nullptr, exact.data(), n), n);
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    // Windows since Vista ends the cut text with a zero byte; Wine still
    // keeps the old form (the first n characters, no terminator).
    EXPECT_EQ(exact.back(), env->IsWine() ? full[n - 1] : '\0');
    EXPECT_EQ(exact.substr(0, n - 1), std::string(full, n - 1));

    char roomy[260];
    EXPECT_EQ(os.GetModuleFileNameA(nullptr, roomy, n + 1), n);
    EXPECT_STREQ(roomy, full);
}

TEST_F(SystemContract, ComputerNameReportsTheSizeItNeeds) {
    char buffer[100];
    DWORD size = 1;
    EXPECT_FALSE(os.GetComputerNameA(buffer, &size));
    EXPECT_EQ(os.GetLastError(), 111u /* ERROR_BUFFER_OVERFLOW */);
    ASSERT_GT(size, 1u) << "the size including the terminating zero";
    const DWORD needed = size;
    ASSERT_LE(needed, sizeof buffer);
    ASSERT_TRUE(os.GetComputerNameA(buffer, &size));
    EXPECT_EQ(size, needed - 1);
    EXPECT_EQ(std::strlen(buffer), size);
}

TEST_F(SystemContract, WindowsFolderIsAFullPathOrTheSizeItNeeds) {
    char buffer[260];
    UINT n = os.GetWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_GT(n, 3u);
    EXPECT_EQ(std::strlen(buffer), n);
    EXPECT_EQ(buffer[1], ':');
    EXPECT_NE(buffer[n - 1], '\\');
    char small[3];
    EXPECT_EQ(os.GetWindowsDirectoryA(small, sizeof small), n + 1);
}

// The lead bytes of the code pages the program meets. The Wine runner runs
// this test a second time with code page 932 and names it in
// NORVANE_EXPECT_ACP, so that each pass proves which table it checked.
TEST_F(SystemContract, CodePageLeadBytes) {
    if (const char* expected = std::getenv("NORVANE_EXPECT_ACP")) {
        EXPECT_EQ(os.GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    int checked = 0;
    for (UINT cp : {1252u, 932u}) {
        if (!env->UseCodePage(cp))
            continue;
        ++checked;
        EXPECT_EQ(os.GetACP(), cp);
        for (int c = 0; c <= 0xFF; ++c) {
            bool lead = cp == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
            EXPECT_EQ(os.IsDBCSLeadByte(static_cast<BYTE>(c)) != 0, lead)
                << "code page " << cp << ", byte " << c;
        }
    }
    if (checked == 0)
        GTEST_SKIP() << "code page " << os.GetACP() << " has no table here";
}

TEST_F(SystemContract, SocketsNameTheHostAndResolveLocalhost) {
    ASSERT_EQ(os.WSAStartup(0x0101), 0);
    char name[256] = {};
    ASSERT_EQ(os.gethostname(name, sizeof name), 0);
    EXPECT_GT(std::strlen(name), 0u);
    char tiny[1];
    EXPECT_NE(os.gethostname(tiny, sizeof tiny), 0);

    DWORD address = 0;
    ASSERT_TRUE(os.GetHostFirstAddress("localhost", &address));
    const BYTE loopback[4] = {127, 0, 0, 1};
    EXPECT_EQ(std::memcmp(&address, loopback, 4), 0) << std::hex << address;
    EXPECT_FALSE(os.GetHostFirstAddress("no-such-host.invalid", &address));
}

TEST_F(SystemContract, ScreenCapabilitiesArePlausible) {
    HDC dc = os.GetDC(nullptr);
    ASSERT_NE(dc, nullptr);
    const int bits = os.GetDeviceCaps(dc, BITSPIXEL);
    EXPECT_TRUE(bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 ||
                bits == 32)
        << bits;
    if (bits > 8) {
        EXPECT_EQ(os.GetDeviceCaps(dc, NUMCOLORS), -1);
        EXPECT_EQ(os.GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
    }
    EXPECT_EQ(os.ReleaseDC(nullptr, dc), 1);
}

TEST_F(SystemContract, ClockAdvancesAcrossASleep) {
    const DWORD before = os.GetTickCount();
    os.Sleep(50);
    const DWORD after = os.GetTickCount();
    // The tick count may step in units of the timer interrupt (about 16 ms);
    // the fake's clock is virtual and moves by exactly the time slept.
    EXPECT_GE(after - before, 34u);
    if (env->IsFake()) {
        EXPECT_EQ(after - before, 50u);
    }
    SYSTEMTIME t{};
    os.GetLocalTime(&t);
    EXPECT_GE(t.wYear, 2020);
    EXPECT_TRUE(t.wMonth >= 1 && t.wMonth <= 12);
    EXPECT_TRUE(t.wDay >= 1 && t.wDay <= 31);
    EXPECT_LT(t.wHour, 24);
}

// The firmware's raw SMBIOS data (kernel32, found at run time): the size it
// needs for a buffer too small, the data itself for one large enough, and a
// type-1 structure (the system information) among its structures.
TEST_F(SystemContract, FirmwareTableGivesTheSmbiosData) {
    HMODULE kernel = os.LoadLibraryA("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    auto table = reinterpret_cast<PFN_GetSystemFirmwareTable>(
        os.GetProcAddress(kernel, "GetSystemFirmwareTable"));
    ASSERT_NE(table, nullptr);
    BYTE small[4] = {0xAB, 0xAB, 0xAB, 0xAB};
    UINT const needed = table(kFirmwareProviderRsmb, 0, small, sizeof small);
    ASSERT_GT(needed, 8u);
    EXPECT_EQ(small[0], 0xAB) << "a buffer too small is left alone";
    std::vector<BYTE> data(needed);
    ASSERT_EQ(table(kFirmwareProviderRsmb, 0, data.data(), needed), needed);
    DWORD length = 0;
    std::memcpy(&length, &data[4], 4);
    EXPECT_LE(length + 8, needed);
    bool systemInformation = false;
    for (std::size_t at = 8; at + 4 <= 8 + length && !systemInformation;) {
        systemInformation = data[at] == 1 && data[at + 1] >= 24;
        std::size_t strings = at + data[at + 1];
        while (strings + 1 < 8 + length && (data[strings] || data[strings + 1]))
            ++strings;
        at = strings + 2;
    }
    EXPECT_TRUE(systemInformation);
    EXPECT_EQ(table(0x41424344, 0, data.data(), needed), 0u) << "no such provider";
    EXPECT_TRUE(os.FreeLibrary(kernel));
}

// The error mode: each call answers the mode it replaces.
TEST_F(SystemContract, ErrorModeAnswersTheOneItReplaces) {
    UINT const original = os.SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(os.SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
              SEM_FAILCRITICALERRORS);
    EXPECT_EQ(os.SetErrorMode(original), SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

} // namespace
} // namespace contract
