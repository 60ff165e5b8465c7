#include "app/host_identity.h"

#include "common/handles.h"
#include "common/report.h"
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <iterator>

using namespace port;

namespace {
// The adapter status and the name table that NCBASTAT returns behind it.
struct AdapterStatusBlock {
    ADAPTER_STATUS status;
    NAME_BUFFER names[30];
};
static_assert(sizeof(AdapterStatusBlock) == 600);

// An adapter's 6-byte address as 12 lowercase hexadecimal digits.
std::string AddressText(const UCHAR* a) {
    return Format("%02x%02x%02x%02x%02x%02x", unsigned{a[0]}, unsigned{a[1]}, unsigned{a[2]},
                  unsigned{a[3]}, unsigned{a[4]}, unsigned{a[5]});
}
} // namespace

port::BOOL EnumAdapterAddresses(std::vector<std::string>& addresses) {
    auto& os = Sys();
    LANA_ENUM lanas{};
    NCB ncb{};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = &lanas;
    ncb.ncb_length = sizeof lanas;
    if (os.Netbios(&ncb) != NRC_GOODRET || lanas.length == 0)
        return TRUE;

    for (int i = 0; i < lanas.length; ++i) {
        UCHAR lana = lanas.lana[i];
        ncb = NCB{};
        ncb.ncb_command = NCBRESET;
        ncb.ncb_lana_num = lana;
        os.Netbios(&ncb);

        AdapterStatusBlock block{};
        ncb = NCB{};
        ncb.ncb_command = NCBASTAT;
        ncb.ncb_lana_num = lana;
        std::fill(std::begin(ncb.ncb_callname), std::end(ncb.ncb_callname), UCHAR{' '});
        ncb.ncb_callname[0] = '*';
        ncb.ncb_buffer = &block;
        ncb.ncb_length = sizeof block;
        if (os.Netbios(&ncb) != NRC_GOODRET)
            continue;
        addresses.push_back(AddressText(block.status.adapter_address));
    }
    return TRUE;
}

port::BOOL EnumPhysicalAdapters(std::vector<std::string>& addresses) {
    Os& os = Sys();
    // Found at run time: Windows before XP has no such list.
    unique_hmodule helper(os.LoadLibraryA("iphlpapi.dll"));
    if (!helper)
        return FALSE;
    auto list = reinterpret_cast<PFN_GetAdaptersAddresses>(
        os.GetProcAddress(helper.get(), "GetAdaptersAddresses"));
    if (!list)
        return FALSE;
    // The list may grow between the two calls (an adapter plugged in): a
    // few tries with the size the last one asked for.
    std::vector<IP_ADAPTER_ADDRESSES> buffer(4);
    DWORD result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(IP_ADAPTER_ADDRESSES));
        result = list(0 /* AF_UNSPEC */, kAdapterListFlags, nullptr, buffer.data(), &size);
        if (result == ERROR_BUFFER_OVERFLOW)
            buffer.resize(size / sizeof(IP_ADAPTER_ADDRESSES) + 1);
    }
    if (result == ERROR_NO_DATA)
        return TRUE; // no adapter at all
    if (result != ERROR_SUCCESS)
        return FALSE;
    for (const IP_ADAPTER_ADDRESSES* a = buffer.data(); a; a = a->Next) {
        const BYTE* b = a->PhysicalAddress;
        bool const physical = a->IfType == kIfTypeEthernet || a->IfType == kIfTypeWireless;
        bool const zero = std::all_of(b, b + 6, [](BYTE x) { return x == 0; });
        if (!physical || a->PhysicalAddressLength != 6 || zero)
            continue;
        addresses.push_back(AddressText(b));
    }
    return TRUE;
}

std::string GetHostIdentity() {
    std::string identity;
    std::vector<std::string> addresses;
    // NetBIOS first, so that masters prepared with its identity keep
    // matching; the IP helper's physical adapters where NetBIOS reports
    // none (NetBIOS over TCP/IP turned off, adapters without an address).
    const char* source = "NetBIOS";
    if (!EnumAdapterAddresses(addresses) || addresses.empty()) {
        source = "the IP helper";
        if (!EnumPhysicalAdapters(addresses))
            source = "nothing (the IP helper gave no list)";
    }
    for (const auto& address : addresses)
        identity += address;
    Report().Event(Format("Host identity from %s: \"%s\"", source, identity.c_str()));
    return identity;
}

bool IsHostIdentity(const std::string& text) {
    return !text.empty() && text.size() % 12 == 0 &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}
