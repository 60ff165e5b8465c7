// The system UUID read from the firmware's raw SMBIOS data.
//
// Input: the data as GetSystemFirmwareTable ('RSMB') would give it (its
// 8-byte header, then the structures), any bytes.
//
// Checked: the parser reads only the bytes given (ASan watches a buffer of
// exactly that size); its result is "" or a UUID of the form
// XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX in upper-case hexadecimal that is
// none of the values that mark no UUID (all 0, all F); and the machine's
// UUID read through the port from firmware giving these bytes is the same.
#include "app/system_uuid.h"
#include "fuzz_support.h"

#include <cctype>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<port::BYTE> const bytes(data, data + size);
    std::string const uuid = SmbiosSystemUuid(bytes.data(), bytes.size());
    if (!uuid.empty()) {
        FUZZ_CHECK(uuid.size() == 36);
        std::string digits;
        for (std::size_t i = 0; i < uuid.size(); ++i) {
            bool const dash = i == 8 || i == 13 || i == 18 || i == 23;
            FUZZ_CHECK(dash ? uuid[i] == '-'
                            : std::isxdigit(static_cast<unsigned char>(uuid[i])) &&
                                  !std::islower(static_cast<unsigned char>(uuid[i])));
            if (!dash)
                digits += uuid[i];
        }
        FUZZ_CHECK(digits != std::string(32, '0') && digits != std::string(32, 'F'));
    }
    // The port reads at most 1 MiB of firmware data.
    if (size <= (1u << 20)) {
        FreshFake<> fake;
        fake.os.smbios = bytes;
        FUZZ_CHECK(GetSystemUuid() == uuid);
    }
    return 0;
}
