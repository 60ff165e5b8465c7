#include "app/host_identity.h"

#include "common/text.h"

#include <algorithm>
#include <iterator>

using namespace port;

namespace {
// The adapter status and the name table that NCBASTAT returns behind it.
struct AdapterStatusBlock {
    ADAPTER_STATUS status;
    NAME_BUFFER names[30];
};
static_assert(sizeof(AdapterStatusBlock) == 600);
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
        const UCHAR* a = block.status.adapter_address;
        addresses.push_back(Format("%02x%02x%02x%02x%02x%02x", unsigned{a[0]}, unsigned{a[1]},
                                   unsigned{a[2]}, unsigned{a[3]}, unsigned{a[4]}, unsigned{a[5]}));
    }
    return TRUE;
}

std::string GetHostIdentity() {
    std::string identity;
    std::vector<std::string> addresses;
    if (EnumAdapterAddresses(addresses)) {
        for (const auto& address : addresses)
            identity += address;
    }
    return identity;
}
