#include "app/master_host.h"

#include "app/host_identity.h"
#include "app/system_uuid.h"
#include "common/handles.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/syserror.h"
#include "common/text.h"

#include <algorithm>
#include <cctype>

using namespace port;

namespace {

constexpr std::size_t kMostAdapters = 255;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A list as the values hold it: blank-separated.
std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        std::size_t const end = std::min(text.find(' ', at), text.size());
        words.push_back(Lower(text.substr(at, end - at)));
        at = end;
    }
    return words;
}

// The addresses of an identity: 12 digits each.
std::vector<std::string> IdentityAddresses(const std::string& identity) {
    std::vector<std::string> addresses;
    if (IsHostIdentity(identity))
        for (std::size_t at = 0; at < identity.size(); at += 12)
            addresses.push_back(Lower(identity.substr(at, 12)));
    return addresses;
}

std::string ListText(const std::vector<std::string>& items) {
    return items.empty() ? "none" : Joined(items);
}

std::string Described(const HostAddresses& host) {
    return "NetBIOS " + ListText(host.netbios) + ", IP helper " + ListText(host.adapters) +
           ", system UUID " + (host.uuid.empty() ? "none" : host.uuid);
}

LONG SetText(HKEY key, const char* name, const std::string& text) {
    return Sys().RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
}

} // namespace

HostAddresses ReadHostAddresses() {
    HostAddresses host;
    (void)EnumAdapterAddresses(host.netbios);
    (void)EnumPhysicalAdapters(host.adapters);
    host.uuid = GetSystemUuid();
    return host;
}

std::string IdentityOf(const HostAddresses& host) {
    std::string identity;
    for (const auto& address : host.netbios.empty() ? host.adapters : host.netbios)
        identity += address;
    return identity;
}

MasterHost KnownMaster(const std::string& registeredIdentity) {
    MasterHost master;
    master.addresses = IdentityAddresses(registeredIdentity);
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return master;
    // Values left by another registration (a run cut short before it removed
    // them) describe another master.
    std::string const identity = ReadRegString(key.get(), kMasterIdentityValue);
    if (identity.empty() || MbsICmp(identity, registeredIdentity) != 0)
        return master;
    master.recorded = true;
    for (const char* name : {kMasterNetbiosValue, kMasterAdaptersValue})
        for (const auto& address : Words(ReadRegString(key.get(), name)))
            if (std::find(master.addresses.begin(), master.addresses.end(), address) ==
                master.addresses.end())
                master.addresses.push_back(address);
    master.uuid = ReadRegString(key.get(), kMasterUuidValue);
    return master;
}

HostVerdict DecideHost(const MasterHost& master, const HostAddresses& host, std::string* why) {
    std::vector<std::string> here = host.netbios;
    here.insert(here.end(), host.adapters.begin(), host.adapters.end());
    auto const isMasters = [&master](const std::string& address) {
        return std::find(master.addresses.begin(), master.addresses.end(), Lower(address)) !=
               master.addresses.end();
    };
    bool const shared = std::any_of(here.begin(), here.end(), isMasters);
    bool const uuidsKnown = !master.uuid.empty() && !host.uuid.empty();
    auto const verdict = [why](HostVerdict v, const char* text) {
        if (why)
            *why = text;
        return v;
    };
    // A machine's UUID stays what it is; a clone of a virtual machine may
    // keep an adapter's address but gets a UUID of its own.
    if (shared && uuidsKnown && MbsICmp(master.uuid, host.uuid) != 0)
        return verdict(HostVerdict::Copy, "it has one of the master's adapter addresses but "
                                          "another system UUID");
    if (shared)
        return verdict(HostVerdict::Master, "one of its adapter addresses is the master's");
    // A matching UUID alone decides nothing: some firmware, and hypervisors,
    // give every machine the same one (Wine gives every prefix of a host its
    // machine id), so copies started before their network would all be the
    // master.
    if (!here.empty())
        return verdict(HostVerdict::Copy, "none of its adapter addresses is the master's");
    return verdict(HostVerdict::Undecided, "it reports no adapter address yet");
}

bool RecordMasterHost(const std::string& identity) {
    HostAddresses const host = ReadHostAddresses();
    Os& os = Sys();
    unique_hkey key;
    LONG result =
        os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key.put(), nullptr);
    // The identity last: a record cut short belongs to no registration.
    if (result == ERROR_SUCCESS)
        result = SetText(key.get(), kMasterNetbiosValue, Joined(host.netbios));
    if (result == ERROR_SUCCESS)
        result = SetText(key.get(), kMasterAdaptersValue, Joined(host.adapters));
    if (result == ERROR_SUCCESS && !host.uuid.empty())
        result = SetText(key.get(), kMasterUuidValue, host.uuid);
    else if (result == ERROR_SUCCESS)
        (void)os.RegDeleteValueA(key.get(), kMasterUuidValue);
    if (result == ERROR_SUCCESS)
        result = SetText(key.get(), kMasterIdentityValue, identity);
    if (result != ERROR_SUCCESS) {
        Report().Event("The master's adapters could not be recorded (its copies are told from "
                       "it by the registered identity alone): " +
                       ErrorLine(static_cast<DWORD>(result)));
        return false;
    }
    Report().Event("The master's adapters are recorded: " + Described(host));
    return true;
}

std::string RecordedMasterIdentity() {
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return {};
    std::string const identity = ReadRegString(key.get(), kMasterIdentityValue);
    return IsHostIdentity(identity) ? identity : std::string();
}

void ForgetMasterHost() {
    Os& os = Sys();
    unique_hkey key;
    if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS)
        return;
    bool removed = false;
    for (const char* name :
         {kMasterIdentityValue, kMasterNetbiosValue, kMasterAdaptersValue, kMasterUuidValue})
        removed = os.RegDeleteValueA(key.get(), name) == ERROR_SUCCESS || removed;
    if (removed)
        Report().Event("The master's recorded adapters are removed with the registration");
}

HostVerdict DecideThisHost(const std::string& registeredIdentity, bool atBoot) {
    HostAddresses host = ReadHostAddresses();
    std::string why;
    HostVerdict verdict = HostVerdict::Copy;
    // More addresses than NetBIOS has adapter numbers is no preparation's.
    bool const identity =
        IsHostIdentity(registeredIdentity) && registeredIdentity.size() <= kMostAdapters * 12;
    if (!identity) {
        // Started by hand, or with an argument no preparation writes: the
        // master only where it is this host's identity, letter for letter.
        // An empty one never is: every machine would look like the master.
        bool const same =
            !registeredIdentity.empty() && MbsICmp(IdentityOf(host), registeredIdentity) == 0;
        verdict = same ? HostVerdict::Master : HostVerdict::Copy;
        why = same ? "the argument is this host's identity" : "the argument is no identity of it";
    } else {
        MasterHost const master = KnownMaster(registeredIdentity);
        verdict = DecideHost(master, host, &why);
        // Early in a start the adapters may not be reported yet.
        if (atBoot && verdict == HostVerdict::Undecided) {
            Report().Event(Format("No network adapter is reported yet: waiting up to %u s for them",
                                  kAdapterWaitPasses * kAdapterWaitPauseMs / 1000));
            for (int pass = 0; verdict == HostVerdict::Undecided && pass < kAdapterWaitPasses;
                 ++pass) {
                Sys().Sleep(kAdapterWaitPauseMs);
                host = ReadHostAddresses();
                verdict = DecideHost(master, host, &why);
            }
        }
        // A logon without any adapter stays undecided too: the master with
        // its adapter disabled or unplugged would otherwise take itself for
        // a copy, and the job waits for a start that reports one.
        Report().Event("The master's adapters (" +
                       std::string(master.recorded ? "recorded at its preparation"
                                                   : "from its registered identity") +
                       "): " + ListText(master.addresses) + ", system UUID " +
                       (master.uuid.empty() ? "none" : master.uuid) +
                       "; this host's: " + Described(host));
    }
    if (verdict != HostVerdict::Undecided)
        Report().SetMode(verdict == HostVerdict::Master ? RunMode::SameHost : RunMode::Copy);
    const char* const outcome = verdict == HostVerdict::Master ? "the master itself"
                                : verdict == HostVerdict::Copy
                                    ? "a copy, it gets an identity of its own"
                                    : "undecided";
    Report().Event(Format("Registered for host \"%s\", this host is \"%s\": %s (%s)",
                          registeredIdentity.c_str(), IdentityOf(host).c_str(), outcome,
                          why.c_str()));
    return verdict;
}
