// Master or copy: the preparation records the master's adapter addresses
// (NetBIOS and the IP helper's physical adapters) and its system UUID under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvane; a run started by the registration
// decides on the adapters this host reports, as sets, not on one string of
// them that changes as adapters come and go.
#pragma once

#include <string>
#include <vector>

enum class HostVerdict { Master, Copy, Undecided };

// What this host reports now.
struct HostAddresses {
    std::vector<std::string> netbios;  // 12 digits per NetBIOS adapter
    std::vector<std::string> adapters; // the IP helper's physical adapters
    std::string uuid;                  // "" when the firmware gives none
};
HostAddresses ReadHostAddresses();
// The host identity these addresses make (as GetHostIdentity forms it).
std::string IdentityOf(const HostAddresses& host);

// What is known of the master that made the registration.
struct MasterHost {
    std::vector<std::string> addresses; // of both sources, lowercase
    std::string uuid;
    bool recorded = false; // false: only the registered identity is known
};
// The recorded values where they belong to this registration (their
// identity is the registered one); otherwise the registered identity's
// addresses alone, as a registration made without them is read.
MasterHost KnownMaster(const std::string& registeredIdentity);

// The master when one of this host's addresses is one of the master's,
// unless both system UUIDs are known and differ (a clone that kept an
// address); a copy when none is and at least one address is reported;
// undecided without any address, whatever the UUIDs. why: a few words for
// the record.
HostVerdict DecideHost(const MasterHost& master, const HostAddresses& host, std::string* why);

// The values names (docs/ADMIN.md).
inline constexpr const char* kMasterIdentityValue = "MasterIdentity";
inline constexpr const char* kMasterNetbiosValue = "MasterNetbiosAddresses";
inline constexpr const char* kMasterAdaptersValue = "MasterAdapterAddresses";
inline constexpr const char* kMasterUuidValue = "MasterSystemUuid";

// The preparation's record of this host as the master of the registered
// identity; false (in the log) when it could not be written.
bool RecordMasterHost(const std::string& identity);
// The identity the master's record belongs to; empty when there is none.
std::string RecordedMasterIdentity();
// Removes that record (the registration it belongs to is gone).
void ForgetMasterHost();

// How long a start before anyone logs on waits for an adapter to be
// reported before it leaves the job to the next start.
inline constexpr int kAdapterWaitPasses = 15;
inline constexpr unsigned kAdapterWaitPauseMs = 2000;

// The decision of a run started with the registered identity, in the
// record; atBoot: a start before any logon, which waits (bounded) while it
// cannot decide.
HostVerdict DecideThisHost(const std::string& registeredIdentity, bool atBoot);
