// A folder through a handle on the folder itself: opened as itself with
// backup semantics, its security read and set there without reaching what
// lies in it; held so with a right that reads and without shared deletion,
// it is neither renamed nor removed, while a handle that only reads or sets
// its security holds nothing. A file held without any sharing takes no
// other writer.
#include "contract_test.h"

#include "port/security_descriptor.h"

#include <vector>

using namespace port;

namespace contract {
namespace {

using ObjectSecurityContract = ContractTest;

constexpr DWORD kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
constexpr DWORD kAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kSecurity = READ_CONTROL | WRITE_DAC | WRITE_OWNER;

SecurityDescriptor ReadByHandle(Os& os, HANDLE object) {
    DWORD needed = 0;
    EXPECT_FALSE(os.GetKernelObjectSecurity(object, kOwnerAndDacl, nullptr, 0, &needed));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed, 0);
    SecurityDescriptor sd;
    EXPECT_TRUE(os.GetKernelObjectSecurity(object, kOwnerAndDacl, buffer.data(), needed, &needed))
        << os.GetLastError();
    EXPECT_TRUE(DecodeSecurityDescriptor(buffer.data(), buffer.size(), &sd));
    return sd;
}

SecurityDescriptor ReadByPath(Os& os, const std::string& path) {
    std::vector<BYTE> buffer(4096, 0);
    DWORD needed = 0;
    SecurityDescriptor sd;
    EXPECT_TRUE(os.GetFileSecurityA(path.c_str(), kOwnerAndDacl, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &needed))
        << os.GetLastError();
    EXPECT_TRUE(DecodeSecurityDescriptor(buffer.data(), buffer.size(), &sd));
    return sd;
}

// What anyone but the system and Administrators is allowed.
DWORD OthersRights(const SecurityDescriptor& sd) {
    DWORD rights = 0;
    for (const auto& entry : sd.dacl)
        if (entry.type == ACCESS_ALLOWED_ACE_TYPE && !(entry.flags & INHERIT_ONLY_ACE) &&
            entry.sid != kSidLocalSystem && entry.sid != kSidAdministrators &&
            entry.sid != sd.owner)
            rights |= entry.mask;
    return rights;
}

TEST_F(ObjectSecurityContract, AFolderHeldThroughItsHandle) {
    std::string const folder = env->ScratchFolder() + "\\held";
    std::string const file = folder + "\\inside.txt";
    env->MakeFolder(folder);
    env->WriteFile(file, "x");
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE const held =
        os.CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | kSecurity,
                       share, OPEN_EXISTING, kAsItself);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << os.GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(os.GetFileInformationByHandle(held, &info));
    EXPECT_NE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_FALSE(ReadByHandle(os, held).owner.empty());

    // The DACL set on the folder is the one read back, by handle and by
    // path; the file inside keeps its own.
    DWORD const inside = OthersRights(ReadByPath(os, file));
    SecurityDescriptor closed;
    closed.control = SE_DACL_PROTECTED;
    closed.daclPresent = true;
    BYTE const both = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    closed.dacl = {{ACCESS_ALLOWED_ACE_TYPE, both, FILE_ALL_ACCESS, kSidLocalSystem},
                   {ACCESS_ALLOWED_ACE_TYPE, both, FILE_ALL_ACCESS, kSidAdministrators}};
    std::vector<BYTE> const bytes = EncodeSecurityDescriptor(closed);
    ASSERT_TRUE(os.SetKernelObjectSecurity(held, DACL_SECURITY_INFORMATION, bytes.data()))
        << os.GetLastError();
    EXPECT_EQ(OthersRights(ReadByHandle(os, held)), 0u);
    EXPECT_EQ(OthersRights(ReadByPath(os, folder)), 0u);
    EXPECT_NE(inside, 0u) << "a file made the usual way lets others read it";
    EXPECT_EQ(OthersRights(ReadByPath(os, file)), inside);

    std::string const moved = folder + ".moved";
    EXPECT_FALSE(os.MoveFileExA(folder.c_str(), moved.c_str(), 0));
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(os.RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(os.CloseHandle(held));

    HANDLE const loose = os.CreateFileA(folder.c_str(), kSecurity, share, OPEN_EXISTING, kAsItself);
    ASSERT_NE(loose, INVALID_HANDLE_VALUE) << os.GetLastError();
    EXPECT_TRUE(os.MoveFileExA(folder.c_str(), moved.c_str(), 0)) << os.GetLastError();
    EXPECT_TRUE(os.MoveFileExA(moved.c_str(), folder.c_str(), 0)) << os.GetLastError();
    EXPECT_TRUE(os.CloseHandle(loose));

    HANDLE const reader =
        os.CreateFileA(file.c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE) << os.GetLastError();
    EXPECT_EQ(os.CreateFileA(file.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             share | FILE_SHARE_DELETE, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(os.CloseHandle(reader));
}

} // namespace
} // namespace contract
