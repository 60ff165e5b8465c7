// The registry string reader, fed by a value that another program may change
// between the size query and the read.
//
// Input: one byte for the value's type ('s' REG_SZ, 'e' REG_EXPAND_SZ, 'm'
// REG_MULTI_SZ, 'b' REG_BINARY, 'd' REG_DWORD, any other byte that type
// number); then the value as each query of the reader finds it, separated by
// '|': raw bytes, "-" for no value, or "#N" for N bytes 'v' without a zero.
// The first stands for the size query, the next for the first read, and so
// on; the last one stays.
//
// Checked: a reader that finds a value reads it; the result is what the last
// query returned: the bytes up to the first zero when it read the value, ""
// when it failed; bytes the system did not write (the rest of the reader's
// block, poisoned here) never reach the result; a growing value is read again
// at most four times, and given up only after the fourth.
#include "common/handles.h"
#include "common/registry.h"
#include "fuzz_support.h"

#include <algorithm>
#include <optional>

namespace {

const char* const kKey = "SOFTWARE\\Norvane\\Fuzz";

class ChangingValueOs : public port::FakeOs {
public:
    struct Query {
        bool read;
        port::LONG result;
        std::size_t version;
    };

    port::DWORD type = port::REG_SZ;
    std::vector<std::optional<std::vector<port::BYTE>>> versions;
    std::vector<Query> queries;

    port::LONG RegQueryValueExA(port::HKEY key, const char* name, port::DWORD* reserved,
                                port::DWORD* valueType, port::BYTE* data,
                                port::DWORD* size) override {
        std::size_t v = std::min(queries.size(), versions.size() - 1);
        auto& values = Key(port::HKEY_LOCAL_MACHINE, kKey).values;
        if (versions[v])
            values["Value"] = port::FakeRegValue{type, *versions[v]};
        else
            values.erase("Value");
        port::DWORD const room = size ? *size : 0;
        port::LONG result = FakeOs::RegQueryValueExA(key, name, reserved, valueType, data, size);
        queries.push_back({data != nullptr, result, v});
        if (data) {
            // The system promises nothing about the bytes behind the ones it
            // reports (not even the zero the fake adds behind a text): a
            // reader must not use them.
            port::DWORD written = result == port::ERROR_SUCCESS ? *size : 0;
            for (port::DWORD i = written; i < room; ++i)
                data[i] = 'P';
        }
        return result;
    }
};

port::DWORD TypeOf(std::uint8_t c) {
    switch (c) {
    case 's':
        return port::REG_SZ;
    case 'e':
        return port::REG_EXPAND_SZ;
    case 'm':
        return port::REG_MULTI_SZ;
    case 'b':
        return port::REG_BINARY;
    case 'd':
        return port::REG_DWORD;
    default:
        return c;
    }
}

std::optional<std::vector<port::BYTE>> Version(std::string_view text) {
    if (text == "-")
        return std::nullopt;
    if (!text.empty() && text[0] == '#')
        return std::vector<port::BYTE>(LeadingNumber(text.substr(1), 70000), 'v');
    return std::vector<port::BYTE>(text.begin(), text.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    FreshFake<ChangingValueOs> fake;
    auto& os = fake.os;
    os.type = TypeOf(data[0]);
    for (const auto& version : Split(AsText(data + 1, size - 1), '|'))
        os.versions.push_back(Version(version));

    std::string result;
    {
        unique_hkey key;
        os.Key(port::HKEY_LOCAL_MACHINE, kKey);
        FUZZ_CHECK(os.RegOpenKeyExA(port::HKEY_LOCAL_MACHINE, kKey, 0, port::KEY_READ, key.put()) ==
                   port::ERROR_SUCCESS);
        result = ReadRegString(key.get(), "Value");
    }

    const auto& queries = os.queries;
    FUZZ_CHECK(!queries.empty() && !queries[0].read);
    const std::size_t reads = queries.size() - 1;
    FUZZ_CHECK(os.versions[0].has_value() == (reads > 0));
    FUZZ_CHECK(reads <= 4);

    const auto& last = queries.back();
    if (last.read && last.result == port::ERROR_SUCCESS) {
        const auto& bytes = *os.versions[last.version];
        FUZZ_CHECK(result == std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0)));
    } else {
        FUZZ_CHECK(result.empty());
    }
    if (last.read && last.result == port::ERROR_MORE_DATA)
        FUZZ_CHECK(reads == 4);
    return 0;
}
