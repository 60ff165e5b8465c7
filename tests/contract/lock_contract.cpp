// The machine-wide lock's objects: a mutex made from a descriptor written as
// text and its owner, and a private namespace whose boundary holds the
// Administrators group, with a mutex inside it.
#include "contract_test.h"

using namespace port;

namespace contract {
namespace {

using LockContract = ContractTest;

constexpr const char* kGuarded = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

PSID Admins(Os& os) {
    PSID sid = nullptr;
    EXPECT_TRUE(os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                            DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid));
    return sid;
}

// Made once, found by the next; the Administrators group owns it.
TEST_F(LockContract, AGuardedMutexIsOwnedByTheAdministrators) {
    void* descriptor = nullptr;
    ASSERT_TRUE(os.ConvertStringSecurityDescriptorToSecurityDescriptorA(kGuarded, &descriptor))
        << os.GetLastError();
    std::string const name = "Global\\NorvaneContract." + RunTag();
    HANDLE first = os.CreateMutexSecuredA(descriptor, FALSE, name.c_str());
    ASSERT_NE(first, nullptr) << os.GetLastError();
    EXPECT_NE(os.GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE second = os.CreateMutexSecuredA(descriptor, FALSE, name.c_str());
    ASSERT_NE(second, nullptr) << os.GetLastError();
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);

    PSID owner = nullptr;
    void* ownerBlock = nullptr;
    ASSERT_EQ(os.GetKernelObjectOwner(second, &owner, &ownerBlock), 0u);
    PSID admins = Admins(os);
    EXPECT_TRUE(owner && os.EqualSid(owner, admins));
    os.FreeSid(admins);
    os.LocalFree(ownerBlock);
    EXPECT_TRUE(os.CloseHandle(second));
    EXPECT_TRUE(os.CloseHandle(first));
    os.LocalFree(descriptor);

    EXPECT_FALSE(
        os.ConvertStringSecurityDescriptorToSecurityDescriptorA("no such text", &descriptor));
}

TEST_F(LockContract, APrivateNamespaceIsMadeOnceAndOpenedByTheNext) {
    std::string const boundaryName = "NorvaneContract." + RunTag();
    HANDLE boundary = os.CreateBoundaryDescriptorA(boundaryName.c_str(), 0);
    if (env->IsWine()) {
        // Wine 8 has none of them: found missing, as on a system before
        // Vista (the lock then is the guarded "Global\" mutex).
        EXPECT_EQ(boundary, nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_PROC_NOT_FOUND);
        EXPECT_EQ(os.OpenPrivateNamespaceA(nullptr, "NvAlias"), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_PROC_NOT_FOUND);
        return;
    }
    ASSERT_NE(boundary, nullptr) << os.GetLastError();
    PSID admins = Admins(os);
    ASSERT_TRUE(os.AddSIDToBoundaryDescriptor(&boundary, admins)) << os.GetLastError();
    void* descriptor = nullptr;
    ASSERT_TRUE(os.ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;;GA;;;SY)(A;;GA;;;BA)", &descriptor));

    HANDLE space = os.CreatePrivateNamespaceA(descriptor, boundary, "NvAlias");
    ASSERT_NE(space, nullptr) << os.GetLastError();
    EXPECT_EQ(os.CreatePrivateNamespaceA(descriptor, boundary, "NvAlias"), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE again = os.OpenPrivateNamespaceA(boundary, "NvAlias");
    ASSERT_NE(again, nullptr) << os.GetLastError();

    HANDLE mutex = os.CreateMutexSecuredA(descriptor, FALSE, "NvAlias\\Run");
    ASSERT_NE(mutex, nullptr) << os.GetLastError();
    EXPECT_NE(os.GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE found = os.CreateMutexSecuredA(descriptor, FALSE, "NvAlias\\Run");
    ASSERT_NE(found, nullptr) << os.GetLastError();
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    // An alias no namespace of this process has names nothing.
    EXPECT_EQ(os.CreateMutexSecuredA(descriptor, FALSE, "NvOther\\Run"), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);

    EXPECT_TRUE(os.CloseHandle(found));
    EXPECT_TRUE(os.CloseHandle(mutex));
    EXPECT_TRUE(os.ClosePrivateNamespace(again, 0));
    EXPECT_TRUE(os.ClosePrivateNamespace(space, 0));
    // Gone with its last handle: nothing to open any more.
    EXPECT_EQ(os.OpenPrivateNamespaceA(boundary, "NvAlias"), nullptr);
    os.DeleteBoundaryDescriptor(boundary);
    os.LocalFree(descriptor);
    os.FreeSid(admins);
}

} // namespace
} // namespace contract
