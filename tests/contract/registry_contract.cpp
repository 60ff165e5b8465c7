// Registry calls: dispositions, missing keys, the size protocol of
// RegQueryValueExA, exact bytes and types, the rights a handle carries and
// the machine's keys that a standard user's token may only read.
#include "contract_test.h"

#include <cstring>

using namespace port;

namespace contract {
namespace {

class RegistryContract : public ContractTest {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = "Software\\NorvaneContract-" + RunTag() + "-" + info->name();
        env->DeleteKeyTree(HKEY_CURRENT_USER, path);
        ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key) {
            EXPECT_EQ(os.RegCloseKey(key), ERROR_SUCCESS);
        }
        env->DeleteKeyTree(HKEY_CURRENT_USER, path);
        env->DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
        ContractTest::TearDown();
    }

    LONG Create(HKEY root, REGSAM access, HKEY* out, DWORD* disposition = nullptr,
                const std::string& below = "") {
        std::string sub = below.empty() ? path : path + "\\" + below;
        return os.RegCreateKeyExA(root, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                  nullptr, out, disposition);
    }
    LONG Set(HKEY k, const char* name, DWORD type, const void* data, DWORD size) {
        return os.RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
    }

    std::string path;
    HKEY key = nullptr;
};

TEST_F(RegistryContract, CreateTellsNewFromExistingAndOpenFindsOnlyWhatExists) {
    HKEY child = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_ALL_ACCESS, &child, &disposition, "A\\B"),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY) << "intermediate keys are created too";
    EXPECT_EQ(os.RegCloseKey(child), ERROR_SUCCESS);
    ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_READ, &child, &disposition, "A\\B"), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(os.RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(child), LONG(ERROR_INVALID_HANDLE));

    std::string missing = path + "\\Missing";
    HKEY none = nullptr;
    EXPECT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, missing.c_str(), 0, KEY_READ, &none),
              LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os.RegOpenKeyA(HKEY_CURRENT_USER, missing.c_str(), &none),
              LONG(ERROR_FILE_NOT_FOUND));
    std::string found = path + "\\a\\b"; // names compare without case
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, found.c_str(), 0, KEY_READ, &child),
              ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(child), ERROR_SUCCESS);
}

TEST_F(RegistryContract, OldOpenWithEmptyNameHandsBackTheSameKeyWithWriteRights) {
    HKEY same = nullptr;
    ASSERT_EQ(os.RegOpenKeyA(key, "", &same), ERROR_SUCCESS);
    EXPECT_EQ(same, key);
    ASSERT_EQ(os.RegOpenKeyA(HKEY_CURRENT_USER, nullptr, &same), ERROR_SUCCESS);
    EXPECT_EQ(same, HKEY_CURRENT_USER);

    HKEY opened = nullptr;
    ASSERT_EQ(os.RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &opened), ERROR_SUCCESS);
    DWORD one = 1;
    EXPECT_EQ(Set(opened, "viaOldOpen", REG_DWORD, &one, 4), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(opened), ERROR_SUCCESS);
}

TEST_F(RegistryContract, SizeQueryThenMoreDataThenExactBytes) {
    ASSERT_EQ(Set(key, "Text", REG_SZ, "hello", 6), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(os.RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);

    BYTE small[3] = {};
    size = sizeof small;
    EXPECT_EQ(os.RegQueryValueExA(key, "Text", nullptr, &type, small, &size),
              LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, 6u) << "the needed size comes back with ERROR_MORE_DATA";

    BYTE exact[6];
    size = sizeof exact;
    ASSERT_EQ(os.RegQueryValueExA(key, "text", nullptr, nullptr, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::memcmp(exact, "hello", 6), 0);

    size = 0;
    EXPECT_EQ(os.RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size),
              LONG(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryContract, DwordAndBinaryKeepTypeAndBytes) {
    DWORD value = 0x12345678;
    ASSERT_EQ(Set(key, "Number", REG_DWORD, &value, 4), ERROR_SUCCESS);
    const BYTE blob[5] = {0x00, 0x01, 0xFF, 0x80, 0x00};
    ASSERT_EQ(Set(key, "Blob", REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);

    BYTE half[2];
    DWORD type = 0, size = sizeof half;
    EXPECT_EQ(os.RegQueryValueExA(key, "Number", nullptr, &type, half, &size),
              LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, 4u);

    DWORD read = 0;
    size = 4;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(read, 0x12345678u);

    BYTE out[16];
    std::memset(out, 0xAA, sizeof out);
    size = sizeof out;
    ASSERT_EQ(os.RegQueryValueExA(key, "Blob", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(out, blob, 5), 0);
    EXPECT_EQ(out[5], 0xAA) << "nothing written past a binary value";
}

TEST_F(RegistryContract, StringStoredWithoutTerminatorReadsWithItsOwnLength) {
    const char bytes[] = "abcd";
    ASSERT_EQ(Set(key, "Bare", REG_SZ, bytes, 3), ERROR_SUCCESS); // "abc", no zero byte
    DWORD size = 0;
    ASSERT_EQ(os.RegQueryValueExA(key, "Bare", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);

    char out[10];
    std::memset(out, 'x', sizeof out);
    size = sizeof out;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(out, 3), "abc");
    // With room left the system ends the text with a zero byte of its own.
    EXPECT_EQ(out[3], '\0');

    // Exactly the stored length: no room for a terminator, none written.
    std::memset(out, 'x', sizeof out);
    size = 3;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(out, 4), "abcx");
}

TEST_F(RegistryContract, StringSizeThatLeavesOutTheTerminatorIsExtendedToIt) {
    // The zero byte right after the given size is taken in, as NT does.
    ASSERT_EQ(Set(key, "Counted", REG_SZ, "abc", 3), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(os.RegQueryValueExA(key, "Counted", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    // Not for binary data.
    ASSERT_EQ(Set(key, "Raw", REG_BINARY, "abc", 3), ERROR_SUCCESS);
    ASSERT_EQ(os.RegQueryValueExA(key, "Raw", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
}

TEST_F(RegistryContract, DeleteKeyRemovesAKeyWithItsValuesOnce) {
    HKEY child = nullptr;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_ALL_ACCESS, &child, nullptr, "Leaf"), ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(Set(child, "Value", REG_DWORD, &one, 4), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(os.RegDeleteKeyA(key, "Leaf"), ERROR_SUCCESS);
    std::string const leaf = path + "\\Leaf";
    EXPECT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, leaf.c_str(), 0, KEY_READ, &child),
              LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os.RegDeleteKeyA(key, "Leaf"), LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os.RegDeleteKeyA(HKEY_CURRENT_USER, (leaf + "\\Deeper").c_str()),
              LONG(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryContract, DeleteValueAndRightsOfTheHandle) {
    EXPECT_EQ(os.RegDeleteValueA(key, "NeverSet"), LONG(ERROR_FILE_NOT_FOUND));
    DWORD one = 1;
    ASSERT_EQ(Set(key, "Gone", REG_DWORD, &one, 4), ERROR_SUCCESS);
    EXPECT_EQ(os.RegDeleteValueA(key, "Gone"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(os.RegQueryValueExA(key, "Gone", nullptr, nullptr, nullptr, &size),
              LONG(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(Set(key, "Kept", REG_DWORD, &one, 4), ERROR_SUCCESS);

    HKEY reader = nullptr;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(reader, "Refused", REG_DWORD, &one, 4), LONG(ERROR_ACCESS_DENIED));
    EXPECT_EQ(os.RegDeleteValueA(reader, "Kept"), LONG(ERROR_ACCESS_DENIED));
    size = 0;
    EXPECT_EQ(os.RegQueryValueExA(reader, "Kept", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(reader), ERROR_SUCCESS);

    ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(Set(reader, "Refused", REG_DWORD, &one, 4), LONG(ERROR_ACCESS_DENIED));
    EXPECT_EQ(os.RegCloseKey(reader), ERROR_SUCCESS);

    HKEY writer = nullptr;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(os.RegQueryValueExA(writer, "Kept", nullptr, nullptr, nullptr, &size),
              LONG(ERROR_ACCESS_DENIED));
    EXPECT_EQ(os.RegCloseKey(writer), ERROR_SUCCESS);
}

TEST_F(RegistryContract, NumbersOfOneTwoOrEightBytesIntoFourBytes) {
    const BYTE bytes[8] = {0x2A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ASSERT_EQ(Set(key, "One", REG_DWORD, bytes, 1), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Two", REG_DWORD, bytes, 2), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Eight", REG_DWORD, bytes, 8), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "None", REG_DWORD, bytes, 0), ERROR_SUCCESS);

    // Shorter numbers fill the low bytes and say how many they were.
    DWORD value = 0, size = 4;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "One", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(value, 0x2Au);
    value = 0;
    size = 4;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "Two", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(value, 0x012Au);
    value = 0;
    size = 4;
    ASSERT_EQ(
        os.RegQueryValueExA(key, "None", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(value, 0u);
    // A longer one does not fit: only its size comes back.
    size = 4;
    EXPECT_EQ(
        os.RegQueryValueExA(key, "Eight", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, 8u);
}

TEST_F(RegistryContract, AKeyDeletedWhileOpenAnswersThatItIsGone) {
    HKEY doomed = nullptr;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, KEY_ALL_ACCESS, &doomed, nullptr, "Doomed"), ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(Set(doomed, "Value", REG_DWORD, &one, 4), ERROR_SUCCESS);
    env->DeleteKeyTree(HKEY_CURRENT_USER, path + "\\Doomed");

    DWORD size = 0;
    EXPECT_EQ(os.RegQueryValueExA(doomed, "Value", nullptr, nullptr, nullptr, &size),
              LONG(ERROR_KEY_DELETED));
    EXPECT_EQ(Set(doomed, "Value", REG_DWORD, &one, 4), LONG(ERROR_KEY_DELETED));
    EXPECT_EQ(os.RegCloseKey(doomed), ERROR_SUCCESS);
    HKEY again = nullptr;
    EXPECT_EQ(os.RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\Doomed").c_str(), 0, KEY_READ, &again),
              LONG(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryContract, MachineKeyTakesValuesLikeTheUserKey) {
    HKEY machine = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS, &machine, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(Set(machine, "Path", REG_SZ, "C:\\x", 5), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(machine), ERROR_SUCCESS);

    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &machine),
              ERROR_SUCCESS);
    char out[8] = {};
    DWORD size = sizeof out;
    ASSERT_EQ(
        os.RegQueryValueExA(machine, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(out, "C:\\x");
    EXPECT_EQ(os.RegDeleteValueA(machine, "Path"), ERROR_SUCCESS);
    EXPECT_EQ(os.RegCloseKey(machine), ERROR_SUCCESS);

    // A standard user's token (on the side that can make one) reads the
    // machine's keys and writes its own.
    if (env->UseStandardUserToken()) {
        EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_WRITE, &machine),
                  LONG(ERROR_ACCESS_DENIED));
        EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, KEY_READ, &machine, nullptr, "Below"),
                  LONG(ERROR_ACCESS_DENIED));
        ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &machine),
                  ERROR_SUCCESS);
        EXPECT_EQ(os.RegCloseKey(machine), ERROR_SUCCESS);
        EXPECT_EQ(Set(key, "Mine", REG_SZ, "x", 2), ERROR_SUCCESS);
    }
}

} // namespace
} // namespace contract
