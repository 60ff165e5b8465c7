// Platform queries on the in-memory Windows.
#include "common/platform.h"
#include "common/secure_folder.h"
#include "fake_system.h"

#include <cerrno>

using namespace port;

class Platform : public FakeSystemTest {
protected:
    void UseWindows9x() {
        os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        os.version.dwMajorVersion = 4;
        os.version.dwMinorVersion = 10;
    }
    void SetNtDomain(const std::string& name) {
        os.SetString(HKEY_LOCAL_MACHINE,
                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                     "CachePrimaryDomain", name);
    }
    void SetWorkgroup(const std::string& name) {
        os.SetString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP",
                     "Workgroup", name);
    }
};

TEST_F(Platform, PlatformIdIsReportedUnchanged) {
    EXPECT_EQ(GetPlatformId(), 2);
    UseWindows9x();
    EXPECT_EQ(GetPlatformId(), 1);
    os.version.dwPlatformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(GetPlatformId(), 0);
}

TEST_F(Platform, AdministratorIsFoundAmongTheTokenGroups) {
    EXPECT_TRUE(IsAdministrator());
    os.isAdministrator = false;
    EXPECT_FALSE(IsAdministrator());
    // A filtered (User Account Control) token holds the group for deny only.
    os.isAdministrator = true;
    os.adminDenyOnly = true;
    EXPECT_FALSE(IsAdministrator());
    os.adminDenyOnly = false;
    os.openTokenFails = true;
    EXPECT_FALSE(IsAdministrator());
}

TEST_F(Platform, GroupsThatGrowBetweenCallsAreAskedOnceMore) {
    os.tokenGroupsGrowth = {64};
    EXPECT_TRUE(IsAdministrator()) << "one retry with the larger size";
    EXPECT_TRUE(os.tokenGroupsGrowth.empty());
    os.tokenGroupsGrowth = {64, 128};
    EXPECT_FALSE(IsAdministrator()) << "a second growth ends the test";
}

TEST_F(Platform, ComputerNameFallsBackToTheRegistry) {
    EXPECT_EQ(GetComputerNameString(), "MASTER01");
    os.computerNameFails = true;
    EXPECT_EQ(GetComputerNameString(), "");
    os.SetString(HKEY_LOCAL_MACHINE,
                 "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
                 "FROMREG");
    EXPECT_EQ(GetComputerNameString(), "FROMREG");
}

TEST_F(Platform, WorkgroupComesFromThePlatformsKey) {
    SetNtDomain("NTDOMAIN");
    SetWorkgroup("WORKGRP");
    EXPECT_EQ(GetWorkgroupName(), "NTDOMAIN");
    UseWindows9x();
    EXPECT_EQ(GetWorkgroupName(), "WORKGRP");
}

TEST_F(Platform, DomainOnNtIsTheNetworkParent) {
    SetNtDomain("CACHED");
    os.network.parentName = "HALVEXNET";
    EXPECT_EQ(GetDomainName(), "HALVEXNET");
    ASSERT_FALSE(os.network.remoteNamesAsked.empty());
    EXPECT_EQ(os.network.remoteNamesAsked.back(), "\\\\MASTER01");
    EXPECT_EQ(os.network.loads, os.network.frees);
}

TEST_F(Platform, DomainKeepsTheCachedNameWhenTheProviderCannotHelp) {
    SetNtDomain("CACHED");
    os.network.informationProbeResult = ERROR_NO_NETWORK;
    EXPECT_EQ(GetDomainName(), "CACHED");
    os.network.informationProbeResult = ERROR_MORE_DATA;
    os.network.provider = "Novell Netware Services";
    EXPECT_EQ(GetDomainName(), "CACHED") << "a Netware provider never replaces the name";
    os.network.provider = "Microsoft Windows Network";
    os.network.libraryPresent = false;
    EXPECT_EQ(GetDomainName(), "CACHED");
    os.network.libraryPresent = true;
    os.network.hasResourceParent = false;
    EXPECT_EQ(GetDomainName(), "CACHED");
    os.network.hasResourceParent = true;
    os.network.parentResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(GetDomainName(), "CACHED");
}

TEST_F(Platform, Windows9xAsksTheProviderOnlyWithoutAWorkgroup) {
    UseWindows9x();
    SetWorkgroup("WORKGRP");
    EXPECT_EQ(GetDomainName(), "WORKGRP");
    EXPECT_TRUE(os.network.remoteNamesAsked.empty());
    SetWorkgroup("");
    EXPECT_EQ(GetDomainName(), "HALVEXNET");
    auto asked = os.network.remoteNamesAsked.size();
    EXPECT_GT(asked, 0u);
    os.version.dwPlatformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(GetDomainName(), "");
    EXPECT_EQ(os.network.remoteNamesAsked.size(), asked);
}

TEST_F(Platform, LongParentNamesAreFetchedWithALargerBuffer) {
    SetNtDomain("CACHED");
    os.network.parentName = std::string(200, 'P');
    EXPECT_EQ(GetDomainName(), std::string(200, 'P'));

    DWORD size = 10;
    char small[10] = "untouched";
    DWORD error = 0;
    EXPECT_FALSE(GetNetworkParentName("MASTER01", &size, small, &error));
    EXPECT_EQ(error, ERROR_MORE_DATA);
    EXPECT_EQ(size, 201u);
    EXPECT_STREQ(small, "untouched");
}

TEST_F(Platform, RemoteNameIsPrefixedOnlyWhenNeeded) {
    char buffer[128] = {};
    DWORD size = sizeof buffer;
    DWORD error = 1;
    EXPECT_TRUE(GetNetworkParentName("\\\\ALREADY", &size, buffer, &error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(os.network.remoteNamesAsked.back(), "\\\\ALREADY");
    EXPECT_STREQ(buffer, "HALVEXNET");
}

TEST_F(Platform, LowColourDisplays) {
    os.rasterCaps = RC_PALETTE;
    os.sizePalette = 16;
    EXPECT_TRUE(IsLowColorDisplay());
    os.sizePalette = 256;
    EXPECT_FALSE(IsLowColorDisplay()) << "256 is not below 256";
    os.rasterCaps = 0;
    os.numColors = 16;
    EXPECT_TRUE(IsLowColorDisplay());
    os.numColors = -1;
    EXPECT_FALSE(IsLowColorDisplay()) << "true colour";
}

TEST_F(Platform, FoldersAndModulePath) {
    EXPECT_EQ(GetWindowsFolder(), "C:\\WINDOWS");
    EXPECT_EQ(GetProgramFilesFolder(), "");
    os.SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                 "ProgramFilesDir", "C:\\Program Files");
    EXPECT_EQ(GetProgramFilesFolder(), "C:\\Program Files");
    os.modulePath = "C:\\" + std::string(300, 'd') + "\\norvane.exe";
    EXPECT_EQ(GetModulePath(), os.modulePath) << "a long path is never cut";
}

TEST_F(Platform, LocalAddressIsDottedAndFitsTheBuffer) {
    char buffer[128] = {};
    EXPECT_TRUE(GetLocalIPAddress(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "192.168.0.10");
    char tiny[8] = {};
    EXPECT_TRUE(GetLocalIPAddress(tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "192.168");
    os.hostAddresses.clear();
    EXPECT_FALSE(GetLocalIPAddress(buffer, sizeof buffer));
}

TEST_F(Platform, CountFilesRecursesAndExcludes) {
    os.AddFile("C:\\Data\\a.txt");
    os.AddFile("C:\\Data\\b.log");
    os.AddFile("C:\\Data\\README");
    os.AddFile("C:\\Data\\Sub.dir\\c.txt");
    os.AddFile("C:\\Data\\.hidden.dir\\d.txt");
    std::atomic<long> counter{10};
    EXPECT_EQ(CountFiles("C:\\Data", "*.*", 0, &counter, false, ""), 3);
    EXPECT_EQ(counter.load(), 13);
    EXPECT_EQ(CountFiles("C:\\Data", "*.*", 0, nullptr, true, ""), 4)
        << "folders beginning with a dot are not searched";
    EXPECT_EQ(CountFiles("C:\\Data", "*.*", 0, nullptr, true, ".log;.ini"), 3);
    EXPECT_EQ(CountFiles("C:\\Missing", "*.*", 0, nullptr, true, ""), 0);
}

TEST_F(Platform, CountFilesRaisesForAnInvalidSearch) {
    os.AddFolder("C:\\Data");
    try {
        CountFiles("C:\\Data", "a|b", 0, nullptr, false, "");
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::hardIO);
        EXPECT_EQ(e.m_lOsError, -1);
    }
}

// What lets others change a file or folder: an owner outside Administrators
// and the system, no DACL, an allowed right to write, delete or change the
// permissions (on a folder also to add or delete entries). Read rights,
// entries only passed on to children, and denials (never weighed against
// allowed rights) let nobody in; a descriptor that cannot be read counts as
// open.
TEST_F(Platform, OthersMayChangeWhatTheirOwnerOrDaclLets) {
    const std::string folder = "C:\\Program Files\\Norvane";
    const std::string file = folder + "\\norvane.exe";
    std::string why;
    EXPECT_FALSE(OthersMayChange(folder, &why)) << why;
    EXPECT_FALSE(OthersMayChange(file, &why)) << why;

    FakeFile& entry = os.files.at(folder);
    entry.dacl.push_back({ACCESS_DENIED_ACE_TYPE, 0, FILE_ALL_ACCESS, kSidEveryone});
    entry.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE,
                          FILE_WRITE_DATA, kSidUsers});
    EXPECT_FALSE(OthersMayChange(folder, &why)) << why;
    entry.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_DELETE_CHILD, kSidInteractive});
    EXPECT_TRUE(OthersMayChange(folder, &why));
    EXPECT_EQ(why, "INTERACTIVE may change it");
    os.files.at(file).dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, 0x40 /* execute */, kSidUsers});
    EXPECT_FALSE(OthersMayChange(file, &why)) << "on a file 0x40 is execute: " << why;

    entry.dacl = FakeFile::DefaultFakeDacl();
    entry.nullDacl = true;
    EXPECT_TRUE(OthersMayChange(folder, &why));
    EXPECT_EQ(why, "it has no DACL: everyone may change it");
    entry.nullDacl = false;
    entry.owner = "S-1-5-21-1111-2222-3333-1001";
    EXPECT_TRUE(OthersMayChange(folder, &why));
    entry.owner = os.tokenUser;
    EXPECT_FALSE(OthersMayChange(folder, &why)) << "the administrator running it: " << why;
    os.isAdministrator = false;
    EXPECT_TRUE(OthersMayChange(folder, &why)) << "a standard user's own folder";
    EXPECT_TRUE(OthersMayChange("C:\\Missing", &why));
    EXPECT_EQ(why.rfind("its security cannot be read: (2) ", 0), 0u) << why;
}

// Each right that changes a file's bytes, its permissions or its owner, or
// deletes it, lets others change it on its own; an entry for OWNER RIGHTS
// or CREATOR OWNER on the file itself stands for its (trusted) owner or for
// nobody. A descriptor with no owner, or with no DACL at all, is open.
TEST_F(Platform, EachRightThatChangesAFileCountsAlone) {
    const std::string file = "C:\\Program Files\\Norvane\\norvane.exe";
    FakeFile& entry = os.files.at(file);
    std::string why;
    for (DWORD right : {FILE_WRITE_DATA, FILE_APPEND_DATA, DELETE, WRITE_DAC, WRITE_OWNER,
                        GENERIC_WRITE, GENERIC_ALL}) {
        entry.dacl = FakeFile::DefaultFakeDacl();
        entry.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, right, kSidUsers});
        EXPECT_TRUE(OthersMayChange(file, &why)) << std::hex << right;
        EXPECT_EQ(why, "Users may change it") << std::hex << right;
    }
    entry.dacl = FakeFile::DefaultFakeDacl();
    entry.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-3-4"});
    entry.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-3-0"});
    EXPECT_FALSE(OthersMayChange(file, &why)) << why;
    entry.owner.clear();
    EXPECT_TRUE(OthersMayChange(file, &why));
    EXPECT_EQ(why, "it is owned by nobody");

    SecurityDescriptor sd;
    sd.owner = kSidAdministrators;
    EXPECT_EQ(Exposure(sd, false, FolderUse::Program, ""),
              "it has no DACL: everyone may change it");
}

// Descriptor bytes are read no further than they go: a cut descriptor, an
// offset or an entry outside the bytes is refused, never read past.
TEST_F(Platform, SecurityDescriptorBytesAreReadWithinTheirLength) {
    std::vector<BYTE> const bytes = ProtectedFolderDescriptor();
    SecurityDescriptor sd;
    ASSERT_TRUE(DecodeSecurityDescriptor(bytes.data(), bytes.size(), &sd));
    EXPECT_EQ(sd.owner, kSidAdministrators);
    EXPECT_EQ(sd.control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);
    ASSERT_EQ(sd.dacl.size(), 3u);
    EXPECT_EQ(sd.dacl[2].sid, kSidUsers);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<BYTE> const part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        EXPECT_FALSE(DecodeSecurityDescriptor(part.data(), part.size(), &sd)) << cut;
    }
    std::vector<BYTE> const installer = SidBytes(kSidTrustedInstaller);
    EXPECT_EQ(installer.size(), 32u);
    EXPECT_EQ(SidText(installer.data(), installer.size()), kSidTrustedInstaller);
    EXPECT_EQ(SidText(installer.data(), installer.size() - 1), "");
    EXPECT_TRUE(SidBytes("S-1-5-x").empty());
    EXPECT_TRUE(SidBytes("S-2-5").empty());
}
