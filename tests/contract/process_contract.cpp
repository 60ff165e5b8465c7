// Other programs' windows, shared values and processes; starting a program;
// GUIDs; delayed deletion and short names: what the copy's steps rely on.
#include "common/handles.h"
#include "contract_test.h"

#include <cstring>

using namespace port;

namespace contract {
namespace {

class ProcessContract : public ContractTest {
protected:
    // Polls what until it holds, sleeping through the port (virtual on the
    // fake), for up to 5 s.
    template <class F> bool Eventually(F what) {
        for (int i = 0; i < 100; ++i) {
            if (what())
                return true;
            os.Sleep(50);
        }
        return what();
    }
};

TEST_F(ProcessContract, WindowsAreFoundByClassAndEndedByTheirMessage) {
    std::string const cls = "NorvaneContract" + RunTag();
    UINT const close = WM_USER + 1201;
    EXPECT_EQ(os.FindWindowA(cls.c_str(), nullptr), nullptr);
    env->OpenWindow(cls, close);
    HWND const window = os.FindWindowA(cls.c_str(), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(os.PostMessageA(window, WM_USER + 7, 0, 0));
    os.Sleep(200);
    EXPECT_EQ(os.FindWindowA(cls.c_str(), nullptr), window) << "another message leaves it";
    EXPECT_TRUE(os.PostMessageA(window, close, 0, 0));
    EXPECT_TRUE(Eventually([&] { return os.FindWindowA(cls.c_str(), nullptr) == nullptr; }));
    EXPECT_FALSE(os.PostMessageA(window, close, 0, 0));
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(ProcessContract, SharedValuesAreReadThroughAView) {
    std::string const name = "NorvaneContract.Value." + RunTag();
    EXPECT_EQ(os.OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
    env->PublishValue(name, 0x12345678);
    unique_handle mapping(os.OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    ASSERT_TRUE(mapping);
    unique_mapview view(os.MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    ASSERT_TRUE(view);
    DWORD value = 0;
    std::memcpy(&value, view.get(), 4);
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(ProcessContract, WaitingOnAProcessNeedsTheRightToSynchronize) {
    DWORD const pid = env->RunningProcessId();
    unique_handle dupOnly(os.OpenProcess(PROCESS_DUP_HANDLE, TRUE, pid));
    ASSERT_TRUE(dupOnly);
    EXPECT_EQ(os.WaitForSingleObject(dupOnly.get(), 10), WAIT_FAILED);
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    unique_handle waitable(os.OpenProcess(PROCESS_DUP_HANDLE | SYNCHRONIZE, TRUE, pid));
    ASSERT_TRUE(waitable);
    EXPECT_EQ(os.WaitForSingleObject(waitable.get(), 10), WAIT_TIMEOUT);
    EXPECT_EQ(os.OpenProcess(SYNCHRONIZE, FALSE, 0xFFFFFFF0u), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessContract, ProgramsStartFromTheirPathAndMissingOnesSayWhy) {
    STARTUPINFOA startup{};
    os.GetStartupInfoA(&startup);
    EXPECT_EQ(startup.cb, sizeof(STARTUPINFOA));
    PROCESS_INFORMATION info{};
    std::string const folder = env->ScratchFolder();
    EXPECT_FALSE(os.CreateProcessA((folder + "\\missing.exe").c_str(), nullptr, FALSE,
                                   CREATE_DEFAULT_ERROR_MODE, nullptr, &startup, &info));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(os.CreateProcessA((folder + "\\no such folder\\x.exe").c_str(), nullptr, FALSE,
                                   CREATE_DEFAULT_ERROR_MODE, nullptr, &startup, &info));
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(os.CreateProcessA(env->QuickProgram().c_str(), nullptr, FALSE,
                                  CREATE_DEFAULT_ERROR_MODE, nullptr, &startup, &info))
        << os.GetLastError();
    unique_handle process(info.hProcess), thread(info.hThread);
    EXPECT_TRUE(thread);
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(os.WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
}

TEST_F(ProcessContract, EveryGuidIsNewAndRandom) {
    GUID a{}, b{};
    ASSERT_EQ(os.CoCreateGuid(&a), S_OK);
    ASSERT_EQ(os.CoCreateGuid(&b), S_OK);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(a.Data3 >> 12, 4) << "version 4: random";
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80) << "the standard variant";
}

TEST_F(ProcessContract, ADelayedDeletionIsListedAsPendingWithAnEmptyTarget) {
    const char* const key = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const char* const value = "PendingFileRenameOperations";
    auto read = [&] {
        unique_hkey k;
        std::vector<BYTE> data;
        if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS)
            return data;
        DWORD type = 0, size = 0;
        if (os.RegQueryValueExA(k.get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return data;
        data.resize(size);
        os.RegQueryValueExA(k.get(), value, nullptr, &type, data.data(), &size);
        data.resize(size);
        return data;
    };
    std::vector<BYTE> const before = read();
    std::string const file = env->ScratchFolder() + "\\doomed.exe";
    env->WriteFile(file, "x");
    ASSERT_TRUE(os.MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    std::vector<BYTE> const after = read();
    std::string const entry = std::string("\\??\\") + file + std::string(2, '\0');
    std::string const text(after.begin(), after.end());
    EXPECT_NE(text.find(entry), std::string::npos) << "source, then an empty destination";
    EXPECT_EQ(env->ReadFile(file), "x") << "nothing happens before the restart";

    // Leave the machine's list as it was.
    unique_hkey k;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, k.put()), 0);
    if (before.empty())
        os.RegDeleteValueA(k.get(), value);
    else
        os.RegSetValueExA(k.get(), value, 0, REG_MULTI_SZ, before.data(),
                          static_cast<DWORD>(before.size()));
}

TEST_F(ProcessContract, AShortNameNamesTheSameFile) {
    std::string const file = env->ScratchFolder() + "\\A Rather Long Program Name.exe";
    env->WriteFile(file, "same bytes");
    char shortName[MAX_PATH] = {};
    DWORD const n = os.GetShortPathNameA(file.c_str(), shortName, MAX_PATH);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, MAX_PATH);
    EXPECT_EQ(std::strlen(shortName), n);
    EXPECT_EQ(env->ReadFile(shortName), "same bytes");
    EXPECT_EQ(os.GetShortPathNameA(file.c_str(), shortName, 4), n + 1) << "the size it needs";
    EXPECT_EQ(os.GetShortPathNameA((file + ".gone").c_str(), shortName, MAX_PATH), 0u);
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace contract
