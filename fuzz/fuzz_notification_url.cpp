// The request object of the installation notification, for any domain or
// workgroup name and any reading of the clock.
//
// Input, six fields separated by NUL bytes (names may hold CR and LF):
//   the clock: "year month day hour minute second millisecond uptime",
//   folded into a valid local time of a four-digit year, plus the uptime in
//   milliseconds since then;
//   the platform ("1" Windows 9x, anything else NT), followed by any of
//   'x' (no network provider library), 'w' (a NetWare provider), 'f' (the
//   computer name cannot be read);
//   the workgroup as the registry holds it ("-": no value);
//   the network's name for the computer's container;
//   the computer name;
//   16 bytes of the GUID (missing bytes are zero).
//
// Checked: the object is exactly
//   /Wardline/cgi/cgiOnInst.exe?UID=<guid>&DATE=yyyymmdd&TIME=hhmmss
//   &DOMAIN=<field>&DEFAULT_CFG=1
// with the GUID in its 36-character form, the date and time of the clock's
// reading, the DOMAIN field of the computer's domain name, and only
// printable characters: no blank, CR or LF anywhere.
#include "common/guid.h"
#include "common/platform.h"
#include "fuzz_support.h"
#include "notify/notification.h"

#include <cstring>

namespace {

std::uint32_t Field(std::string_view line, int index) {
    for (int i = 0; i < index; ++i) {
        std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            return 0;
        line.remove_prefix(blank + 1);
    }
    return LeadingNumber(line, 0xFFFFFFFF);
}

bool IsGuidText(std::string_view text) {
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::string TwoDigits(unsigned value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// Takes `prefix` off the front of text, or fails the run.
void Expect(std::string_view& text, std::string_view prefix) {
    FUZZ_CHECK(text.substr(0, prefix.size()) == prefix);
    text.remove_prefix(prefix.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields = Split(AsText(data, size), '\0');
    fields.resize(std::max<std::size_t>(fields.size(), 6));
    FreshFake<> fake;
    auto& os = fake.os;

    const std::string& clock = fields[0];
    os.startTime.wYear = static_cast<port::WORD>(1601 + Field(clock, 0) % (9999 - 1601 + 1));
    os.startTime.wMonth = static_cast<port::WORD>(1 + Field(clock, 1) % 12);
    os.startTime.wDay = static_cast<port::WORD>(1 + Field(clock, 2) % 31);
    os.startTime.wHour = static_cast<port::WORD>(Field(clock, 3) % 24);
    os.startTime.wMinute = static_cast<port::WORD>(Field(clock, 4) % 60);
    os.startTime.wSecond = static_cast<port::WORD>(Field(clock, 5) % 60);
    os.startTime.wMilliseconds = static_cast<port::WORD>(Field(clock, 6) % 1000);
    os.now = Field(clock, 7);

    const std::string& platform = fields[1];
    os.version.dwPlatformId =
        platform.starts_with('1') ? port::VER_PLATFORM_WIN32_WINDOWS : port::VER_PLATFORM_WIN32_NT;
    os.network.libraryPresent = platform.find('x') == std::string::npos;
    if (platform.find('w') != std::string::npos)
        os.network.provider = "Netware Services";
    os.computerNameFails = platform.find('f') != std::string::npos;
    if (fields[2] != "-") {
        os.SetString(port::HKEY_LOCAL_MACHINE,
                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                     "CachePrimaryDomain", fields[2]);
        os.SetString(port::HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP",
                     "Workgroup", fields[2]);
    }
    os.network.parentName = fields[3];
    os.computerName = fields[4];
    port::GUID guid{};
    std::memcpy(&guid, fields[5].data(), std::min(fields[5].size(), sizeof guid));
    const std::string uid = FormatGuid(guid);

    const std::string url = BuildNotificationUrl(kNotificationPath, uid, port::FALSE);

    for (char c : url)
        FUZZ_CHECK(c > ' ' && c < 0x7F);
    port::SYSTEMTIME now{};
    os.GetLocalTime(&now);
    std::string_view rest = url;
    Expect(rest, "/Wardline/cgi/cgiOnInst.exe?UID=");
    FUZZ_CHECK(IsGuidText(rest.substr(0, 36)));
    Expect(rest, uid);
    Expect(rest, "&DATE=");
    Expect(rest, std::to_string(now.wYear) + TwoDigits(now.wMonth) + TwoDigits(now.wDay));
    Expect(rest, "&TIME=");
    Expect(rest, TwoDigits(now.wHour) + TwoDigits(now.wMinute) + TwoDigits(now.wSecond));
    Expect(rest, "&DOMAIN=");
    Expect(rest, EncodeDomainField(GetDomainName()));
    FUZZ_CHECK(rest == "&DEFAULT_CFG=1");
    return 0;
}
