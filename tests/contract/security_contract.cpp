// The process token's groups (size query, then fill) and the SID helpers.
#include "contract_test.h"

#include <vector>

using namespace port;

namespace contract {
namespace {

using SecurityContract = ContractTest;

PSID Sid(Os& os, DWORD sub0, DWORD sub1) {
    PSID sid = nullptr;
    EXPECT_TRUE(
        os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, 2, sub0, sub1, 0, 0, 0, 0, 0, 0, &sid));
    return sid;
}

TEST_F(SecurityContract, SidsCompareByValue) {
    PSID admins = Sid(os, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    PSID again = Sid(os, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    PSID users = Sid(os, SECURITY_BUILTIN_DOMAIN_RID, 545);
    ASSERT_TRUE(admins && again && users);
    EXPECT_NE(admins, again);
    EXPECT_TRUE(os.EqualSid(admins, again));
    EXPECT_FALSE(os.EqualSid(admins, users));
    os.FreeSid(admins);
    os.FreeSid(again);
    os.FreeSid(users);

    PSID tooLong = nullptr;
    EXPECT_FALSE(
        os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, 9, 1, 2, 3, 4, 5, 6, 7, 8, &tooLong));
    EXPECT_EQ(os.GetLastError(), 1337u /* ERROR_INVALID_SID */);
}

TEST_F(SecurityContract, TokenGroupsSizeQueryThenFillContainsAdministrators) {
    HANDLE token = nullptr;
    ASSERT_TRUE(os.OpenProcessToken(TOKEN_READ, &token)) << os.GetLastError();

    DWORD needed = 0;
    EXPECT_FALSE(os.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, sizeof(TOKEN_GROUPS));

    std::vector<BYTE> block(needed);
    DWORD returned = 0;
    EXPECT_FALSE(os.GetTokenInformation(token, TokenGroups, block.data(), needed - 1, &returned));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, needed);

    ASSERT_TRUE(os.GetTokenInformation(token, TokenGroups, block.data(), needed, &returned))
        << os.GetLastError();
    EXPECT_EQ(returned, needed);
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(block.data());
    ASSERT_GT(groups->GroupCount, 0u);

    PSID admins = Sid(os, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const PSID sid = groups->Groups[i].Sid;
        // Every SID lies inside the block that was handed in.
        EXPECT_GE(static_cast<BYTE*>(sid), block.data());
        EXPECT_LT(static_cast<BYTE*>(sid), block.data() + needed);
        found = found || os.EqualSid(sid, admins);
    }
    EXPECT_TRUE(found) << "the test runs as an administrator (always so under Wine)";
    os.FreeSid(admins);
    EXPECT_TRUE(os.CloseHandle(token));
}

} // namespace
} // namespace contract
