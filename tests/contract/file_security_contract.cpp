// File-system security: a folder made with a descriptor, descriptors read
// (size query, then fill) and set, attributes of what a path names, copies
// and removal of folders, and the token's user.
#include "contract_test.h"

#include "port/security_descriptor.h"

#include <cstring>
#include <vector>

using namespace port;

namespace contract {
namespace {

using FileSecurityContract = ContractTest;

constexpr BYTE kBothInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

std::vector<BYTE> Descriptor(std::vector<AccessEntry> dacl, WORD control = 0,
                             const std::string& owner = {}) {
    SecurityDescriptor sd;
    sd.control = control;
    sd.owner = owner;
    sd.daclPresent = true;
    sd.dacl = std::move(dacl);
    return EncodeSecurityDescriptor(sd);
}

SecurityDescriptor Read(Os& os, const std::string& path) {
    DWORD needed = 0;
    DWORD const info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    EXPECT_FALSE(os.GetFileSecurityA(path.c_str(), info, nullptr, 0, &needed));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed, 0);
    SecurityDescriptor sd;
    EXPECT_TRUE(os.GetFileSecurityA(path.c_str(), info, buffer.data(), needed, &needed))
        << os.GetLastError();
    EXPECT_TRUE(DecodeSecurityDescriptor(buffer.data(), buffer.size(), &sd));
    return sd;
}

DWORD RightsOf(const SecurityDescriptor& sd, const char* sid) {
    DWORD rights = 0;
    for (const auto& entry : sd.dacl)
        if (entry.type == ACCESS_ALLOWED_ACE_TYPE && entry.sid == sid &&
            !(entry.flags & INHERIT_ONLY_ACE))
            rights |= entry.mask;
    return rights;
}

TEST_F(FileSecurityContract, AFolderMadeWithADescriptorHasItsDacl) {
    std::string const folder = env->ScratchFolder() + "\\made";
    std::vector<BYTE> const protectedDacl =
        Descriptor({{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
                    {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators},
                    {ACCESS_ALLOWED_ACE_TYPE, kBothInherit,
                     FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, kSidUsers}},
                   SE_DACL_PROTECTED, kSidAdministrators);
    ASSERT_TRUE(os.CreateDirectoryWithSecurityA(folder.c_str(), protectedDacl.data()))
        << os.GetLastError();
    EXPECT_FALSE(os.CreateDirectoryWithSecurityA(folder.c_str(), protectedDacl.data()));
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    DWORD const attributes = os.GetFileAttributesA(folder.c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    SecurityDescriptor const sd = Read(os, folder);
    EXPECT_FALSE(sd.owner.empty());
    ASSERT_TRUE(sd.daclPresent);
    EXPECT_FALSE(sd.nullDacl);
    EXPECT_EQ(RightsOf(sd, kSidLocalSystem), FILE_ALL_ACCESS);
    EXPECT_EQ(RightsOf(sd, kSidEveryone) & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE), 0u);
    EXPECT_EQ(RightsOf(sd, kSidUsers) & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE), 0u);
    // Wine keeps no descriptor of its own: it shows the Unix owner and
    // mode, so neither the owner asked for nor the protection is seen.
    if (!env->IsWine()) {
        EXPECT_EQ(sd.owner, kSidAdministrators);
        EXPECT_NE(sd.control & SE_DACL_PROTECTED, 0);
        EXPECT_EQ(RightsOf(sd, kSidAdministrators), FILE_ALL_ACCESS);
    }
}

TEST_F(FileSecurityContract, ADaclSetIsTheOneReadBack) {
    std::string const folder = env->ScratchFolder();
    std::vector<BYTE> const open =
        Descriptor({{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidEveryone}});
    ASSERT_TRUE(os.SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, open.data()))
        << os.GetLastError();
    EXPECT_NE(RightsOf(Read(os, folder), kSidEveryone) & FILE_WRITE_DATA, 0u);

    std::vector<BYTE> const closed =
        Descriptor({{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
                    {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators}},
                   SE_DACL_PROTECTED);
    ASSERT_TRUE(os.SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, closed.data()))
        << os.GetLastError();
    SecurityDescriptor const sd = Read(os, folder);
    EXPECT_EQ(RightsOf(sd, kSidEveryone), 0u);
    EXPECT_EQ(RightsOf(sd, kSidLocalSystem), FILE_ALL_ACCESS);

    EXPECT_FALSE(os.SetFileSecurityA((folder + "\\missing").c_str(), DACL_SECURITY_INFORMATION,
                                     closed.data()));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSecurityContract, AttributesOfWhatIsNotThere) {
    std::string const folder = env->ScratchFolder();
    EXPECT_EQ(os.GetFileAttributesA((folder + "\\missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(os.GetFileAttributesA((folder + "\\missing\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
    DWORD needed = 0;
    EXPECT_FALSE(os.GetFileSecurityA((folder + "\\missing").c_str(), DACL_SECURITY_INFORMATION,
                                     nullptr, 0, &needed));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSecurityContract, CopiesAndFolderRemoval) {
    std::string const folder = env->ScratchFolder();
    std::string const source = folder + "\\a.exe";
    std::string const copy = folder + "\\sub\\b.exe";
    std::string const bytes("MZ\x90\0\x03\0\0\0 program", 17);
    env->WriteFile(source, bytes);
    EXPECT_FALSE(os.CopyFileA(source.c_str(), copy.c_str(), TRUE));
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
    env->MakeFolder(folder + "\\sub");
    ASSERT_TRUE(os.CopyFileA(source.c_str(), copy.c_str(), TRUE)) << os.GetLastError();
    EXPECT_EQ(env->ReadFile(copy), bytes);
    EXPECT_EQ(os.GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(os.CopyFileA(source.c_str(), copy.c_str(), TRUE));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_FALSE(os.CopyFileA((folder + "\\none.exe").c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_FALSE(os.RemoveDirectoryA((folder + "\\sub").c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_DIR_NOT_EMPTY);
    ASSERT_TRUE(os.DeleteFileA(copy.c_str()));
    EXPECT_TRUE(os.RemoveDirectoryA((folder + "\\sub").c_str())) << os.GetLastError();
    EXPECT_EQ(os.GetFileAttributesA((folder + "\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileSecurityContract, TheTokensUserSizeQueryThenFill) {
    HANDLE token = nullptr;
    ASSERT_TRUE(os.OpenProcessToken(TOKEN_QUERY, &token)) << os.GetLastError();
    DWORD needed = 0;
    EXPECT_FALSE(os.GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, sizeof(SID_AND_ATTRIBUTES));
    std::vector<BYTE> block(needed, 0);
    ASSERT_TRUE(os.GetTokenInformation(token, TokenUser, block.data(), needed, &needed));
    SID_AND_ATTRIBUTES user{};
    std::memcpy(&user, block.data(), sizeof user);
    auto const* sid = static_cast<const BYTE*>(user.Sid);
    ASSERT_TRUE(sid >= block.data() && sid < block.data() + block.size());
    std::string const text =
        SidText(sid, static_cast<std::size_t>(block.data() + block.size() - sid));
    EXPECT_EQ(text.rfind("S-1-5-", 0), 0u) << text;
    EXPECT_TRUE(os.CloseHandle(token));
}

TEST_F(FileSecurityContract, ThePrivilegesThatTakeAFolderAreEnabledAndDisabled) {
    LUID luid{};
    ASSERT_TRUE(os.LookupPrivilegeValueA("SeTakeOwnershipPrivilege", &luid)) << os.GetLastError();
    EXPECT_EQ(luid.LowPart, 9u);
    EXPECT_EQ(luid.HighPart, 0);
    // The two that open a folder whatever its DACL, with backup semantics.
    LUID backup{}, restore{};
    ASSERT_TRUE(os.LookupPrivilegeValueA("SeBackupPrivilege", &backup));
    ASSERT_TRUE(os.LookupPrivilegeValueA("SeRestorePrivilege", &restore));
    EXPECT_EQ(backup.LowPart, 17u);
    EXPECT_EQ(restore.LowPart, 18u);
    LUID none{};
    EXPECT_FALSE(os.LookupPrivilegeValueA("SeNoSuchPrivilege", &none));
    EXPECT_EQ(os.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);

    HANDLE token = nullptr;
    ASSERT_TRUE(os.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    // An administrator's token holds it (every token under Wine is one).
    EXPECT_TRUE(os.AdjustTokenPrivilege(token, luid, SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(os.GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(os.AdjustTokenPrivilege(token, luid, 0));
    EXPECT_EQ(os.GetLastError(), ERROR_SUCCESS);
    for (const LUID& other : {backup, restore}) {
        EXPECT_TRUE(os.AdjustTokenPrivilege(token, other, SE_PRIVILEGE_ENABLED));
        EXPECT_EQ(os.GetLastError(), ERROR_SUCCESS);
        EXPECT_TRUE(os.AdjustTokenPrivilege(token, other, 0));
    }
    EXPECT_TRUE(os.CloseHandle(token));
}

} // namespace
} // namespace contract
