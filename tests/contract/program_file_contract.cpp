// Reading a file through a handle, and what holding a file open for reading
// without sharing writing or deletion keeps others from: the program holds
// its own file so from its start and copies the bytes it reads there.
#include "contract_test.h"

#include <string>

using namespace port;

namespace contract {
namespace {

using ProgramFileContract = ContractTest;

TEST_F(ProgramFileContract, AFileHeldForReadingIsReadWholeAndKeptFromWritersAndRenames) {
    std::string const folder = env->ScratchFolder();
    std::string const path = folder + "\\norvane.exe";
    std::string const older = folder + "\\started.exe";
    std::string bytes = "MZ";
    for (int i = 0; bytes.size() < 100000; ++i)
        bytes += static_cast<char>(i * 7);
    env->WriteFile(path, bytes);
    HANDLE const held = os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << os.GetLastError();

    // Pieces as asked for, then the end: TRUE with nothing read.
    std::string read;
    char piece[30000];
    DWORD n = 0;
    do {
        ASSERT_TRUE(os.ReadFile(held, piece, sizeof piece, &n)) << os.GetLastError();
        read.append(piece, n);
    } while (n > 0);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(os.SetFilePointer(held, 0, nullptr, FILE_BEGIN), 0u);
    ASSERT_TRUE(os.ReadFile(held, piece, 2, &n));
    EXPECT_EQ(std::string(piece, n), "MZ");
    DWORD high = 7;
    EXPECT_EQ(os.GetFileSize(held, &high), bytes.size());
    EXPECT_EQ(high, 0u);

    // Another reader joins (so does a program's start, which reads and
    // executes); a writer, a rename and a deletion do not.
    HANDLE const reader =
        os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                       FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE) << os.GetLastError();
    EXPECT_TRUE(os.CloseHandle(reader));
    EXPECT_EQ(os.CreateFileA(path.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(os.MoveFileA(path.c_str(), older.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(os.DeleteFileA(path.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);

    // A copy made new, shared with nobody: what may only write reads nothing.
    std::string const copy = folder + "\\copy.exe";
    HANDLE const writer =
        os.CreateFileA(copy.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << os.GetLastError();
    EXPECT_FALSE(os.ReadFile(writer, piece, sizeof piece, &n));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(os.CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(os.CloseHandle(writer));

    EXPECT_TRUE(os.CloseHandle(held));
    EXPECT_TRUE(os.MoveFileA(path.c_str(), older.c_str()));
    EXPECT_EQ(env->ReadFile(older), bytes);
    EXPECT_TRUE(os.DeleteFileA(older.c_str()));
    EXPECT_TRUE(os.DeleteFileA(copy.c_str()));
}

// The running program opens its own file so while it runs, and reads it.
TEST_F(ProgramFileContract, TheRunningProgramHoldsAndReadsItsOwnFile) {
    char name[MAX_PATH] = {};
    ASSERT_NE(os.GetModuleFileNameA(nullptr, name, sizeof name), 0u);
    HANDLE const self =
        os.CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(self, INVALID_HANDLE_VALUE) << name << ": " << os.GetLastError();
    char start[2] = {};
    DWORD n = 0;
    EXPECT_TRUE(os.ReadFile(self, start, sizeof start, &n));
    EXPECT_EQ(std::string(start, n), "MZ");
    EXPECT_TRUE(os.CloseHandle(self));
}

} // namespace
} // namespace contract
