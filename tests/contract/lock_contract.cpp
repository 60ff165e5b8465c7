// The machine-wide lock's objects: a mutex made from a descriptor written as
// text, its owner and who may open it, and a private namespace whose
// boundary holds the Administrators group, with a mutex inside it; what a
// standard user's token may do with them (on the side that can make one).
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

// A boundary descriptor of this name holding one SID (S-1-5-<sub0>[-<sub1>]).
HANDLE Boundary(Os& os, const std::string& name, BYTE count, DWORD sub0, DWORD sub1) {
    HANDLE boundary = os.CreateBoundaryDescriptorA(name.c_str(), 0);
    PSID sid = nullptr;
    EXPECT_TRUE(os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, count, sub0, sub1, 0, 0, 0, 0,
                                            0, 0, &sid));
    EXPECT_TRUE(boundary && os.AddSIDToBoundaryDescriptor(&boundary, sid)) << os.GetLastError();
    os.FreeSid(sid);
    return boundary;
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

// A mutex opens only for a token its DACL lets in; its maker holds it all
// the same. Wine keeps no DACLs on its objects. A standard user may neither
// name the Administrators group as owner nor open the guarded mutex.
TEST_F(LockContract, AMutexOpensOnlyForTheTokensItsDaclLetsIn) {
    void* systemOnly = nullptr;
    ASSERT_TRUE(
        os.ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;GA;;;SY)", &systemOnly));
    std::string const name = "Global\\NorvaneContract.System." + RunTag();
    HANDLE mine = os.CreateMutexSecuredA(systemOnly, FALSE, name.c_str());
    ASSERT_NE(mine, nullptr) << os.GetLastError();
    HANDLE again = os.CreateMutexSecuredA(systemOnly, FALSE, name.c_str());
    if (!env->IsWine()) {
        EXPECT_EQ(again, nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    } else if (again) {
        EXPECT_TRUE(os.CloseHandle(again));
    }
    EXPECT_TRUE(os.CloseHandle(mine));
    os.LocalFree(systemOnly);

    void* guarded = nullptr;
    ASSERT_TRUE(os.ConvertStringSecurityDescriptorToSecurityDescriptorA(kGuarded, &guarded));
    std::string const lock = "Global\\NorvaneContract.Guarded." + RunTag();
    HANDLE held = os.CreateMutexSecuredA(guarded, FALSE, lock.c_str());
    ASSERT_NE(held, nullptr) << os.GetLastError();
    if (env->UseStandardUserToken()) {
        EXPECT_EQ(os.CreateMutexA(FALSE, lock.c_str()), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
        std::string const other = lock + ".2";
        EXPECT_EQ(os.CreateMutexSecuredA(guarded, FALSE, other.c_str()), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_INVALID_OWNER);
    }
    EXPECT_TRUE(os.CloseHandle(held));
    os.LocalFree(guarded);
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

// One name with another boundary is another namespace, with objects of its
// own; only a token within the boundary makes one (the system's SID is in
// no other token), and a standard user opens no namespace whose descriptor
// keeps users out.
TEST_F(LockContract, ANamespaceIsItsNameAndItsBoundary) {
    if (env->IsWine())
        return; // no private namespaces (see above)
    std::string const name = "NorvaneContract.Bounds." + RunTag();
    HANDLE admins = Boundary(os, name, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    HANDLE users = Boundary(os, name, 2, SECURITY_BUILTIN_DOMAIN_RID, 545);
    HANDLE system = Boundary(os, name, 1, SECURITY_LOCAL_SYSTEM_RID, 0);
    void* descriptor = nullptr;
    ASSERT_TRUE(os.ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;;GA;;;SY)(A;;GA;;;BA)", &descriptor));
    HANDLE first = os.CreatePrivateNamespaceA(descriptor, admins, "NvFirst");
    ASSERT_NE(first, nullptr) << os.GetLastError();
    HANDLE second = os.CreatePrivateNamespaceA(descriptor, users, "NvSecond");
    ASSERT_NE(second, nullptr) << os.GetLastError();
    HANDLE a = os.CreateMutexSecuredA(descriptor, FALSE, "NvFirst\\Run");
    ASSERT_NE(a, nullptr) << os.GetLastError();
    HANDLE b = os.CreateMutexSecuredA(descriptor, FALSE, "NvSecond\\Run");
    ASSERT_NE(b, nullptr) << os.GetLastError();
    EXPECT_NE(os.GetLastError(), ERROR_ALREADY_EXISTS) << "another namespace's object";
    EXPECT_EQ(os.CreatePrivateNamespaceA(descriptor, system, "NvSystem"), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    if (env->UseStandardUserToken()) {
        EXPECT_EQ(os.OpenPrivateNamespaceA(admins, "NvUser"), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(os.CreatePrivateNamespaceA(nullptr, admins, "NvUser"), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    }
    EXPECT_TRUE(os.CloseHandle(b));
    EXPECT_TRUE(os.CloseHandle(a));
    EXPECT_TRUE(os.ClosePrivateNamespace(second, 0));
    EXPECT_TRUE(os.ClosePrivateNamespace(first, 0));
    for (HANDLE boundary : {admins, users, system})
        os.DeleteBoundaryDescriptor(boundary);
    os.LocalFree(descriptor);
}

} // namespace
} // namespace contract
