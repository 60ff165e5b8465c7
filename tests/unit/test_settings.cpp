// Client settings, registry readers and the system-error text.
#include "common/registry.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/handles.h"
#include "fake_system.h"

using namespace port;

class Settings : public FakeSystemTest {};

TEST_F(Settings, JoinPathUsesExactlyOneBackslash) {
    EXPECT_EQ(JoinPath("C:\\A", "B.ini"), "C:\\A\\B.ini");
    EXPECT_EQ(JoinPath("C:\\A\\", "\\B.ini"), "C:\\A\\B.ini");
    EXPECT_EQ(JoinPath("C:\\A\\", "B.ini"), "C:\\A\\B.ini");
    EXPECT_EQ(JoinPath("C:\\A", "\\B.ini"), "C:\\A\\B.ini");
    EXPECT_EQ(JoinPath("C:\\A", ""), "C:\\A");
    EXPECT_EQ(JoinPath("", "B.ini"), "B.ini");
    EXPECT_EQ(JoinPath("C:\\", "Wdlscan.ini"), "C:\\Wdlscan.ini");
    // Only one backslash of the right side is dropped.
    EXPECT_EQ(JoinPath("C:\\A\\", "\\\\B"), "C:\\A\\\\B");
}

TEST_F(Settings, JoinPathKeepsDoubleByteCharactersWhole) {
    os.codePage = 932;
    // U+8868 is 0x95 0x5C in code page 932: its trailing byte is no separator.
    const std::string folder = "C:\\\x95\x5C";
    EXPECT_EQ(JoinPath(folder, "Wdlscan.ini"), folder + "\\Wdlscan.ini");
    EXPECT_EQ(JoinPath(folder, "\\Wdlscan.ini"), folder + "\\Wdlscan.ini");
    EXPECT_EQ(JoinPath(folder, ""), folder);
    // A right side that starts with a lead byte gets a separator too.
    EXPECT_EQ(JoinPath("C:\\A", "\x95\x5C.ini"), "C:\\A\\\x95\x5C.ini");
    EXPECT_EQ(JoinPath("C:\\A\\", "\x95\x5C.ini"), "C:\\A\\\x95\x5C.ini");
    // On a single-byte code page the same bytes end in a backslash.
    os.codePage = 1252;
    EXPECT_EQ(JoinPath(folder, "Wdlscan.ini"), folder + "Wdlscan.ini");
}

TEST_F(Settings, LastCharacterStepsOverDoubleBytes) {
    os.codePage = 932;
    const char* text = "ab\x95\x5C";
    EXPECT_EQ(LastCharacter(text), text + 2);
    const char* empty = "";
    EXPECT_EQ(LastCharacter(empty), empty);
    os.codePage = 1252;
    EXPECT_EQ(LastCharacter(text), text + 3);
}

TEST_F(Settings, IniValuesDefaultsAndTheLengthLimit) {
    const std::string ini = "C:\\Client\\Wdlscan.ini";
    EXPECT_EQ(ReadIniString(kClientIniSection, kIniListenerServiceFile, "hxlisten.exe", ini),
              "hxlisten.exe");
    os.profileFiles[ini] = "[Other]\r\nNT_RUN_KEY=Wrong\r\n[INI_CLIENT_SETUP_SECTION]\r\n"
                           "nt_run_key = Sentova NT Monitor \r\nLONG=" +
                           std::string(300, 'v') + "\r\n";
    EXPECT_EQ(ReadIniString(kClientIniSection, kIniRunKeyNT, "", ini), "Sentova NT Monitor");
    EXPECT_EQ(ReadIniString(kClientIniSection, "LONG", "", ini), std::string(259, 'v'));
    EXPECT_EQ(ReadIniString(kClientIniSection, kIniRunKey9x, "", ini), "");
}

TEST_F(Settings, RegistryReadersNeverFailLoudly) {
    auto& key = os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT);
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Long", std::string(300, 's'));
    os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", 1);
    key.values["Binary"] = FakeRegValue{REG_BINARY, {'a', 'b', 0, 'c'}};
    key.values["Big"] = FakeRegValue{REG_BINARY, {1, 2, 3, 4, 5, 6}};

    unique_hkey open;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKeyNT, 0, KEY_READ, open.put()), 0);
    EXPECT_EQ(ReadRegString(open.get(), "Long"), std::string(300, 's'));
    EXPECT_EQ(ReadRegString(open.get(), "Binary"), "ab");
    EXPECT_EQ(ReadRegString(open.get(), "Missing"), "");
    EXPECT_EQ(ReadRegDword(open.get(), "Mode"), 1u);
    EXPECT_EQ(ReadRegDword(open.get(), "Missing"), 0u);
    EXPECT_EQ(ReadRegDword(open.get(), "Big"), 0u) << "larger than a number: unreadable";
}

TEST_F(Settings, StringWithoutZeroByteIsReadWithinItsBlock) {
    auto& key = os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT);
    key.values["NoZero"] = FakeRegValue{REG_SZ, {'a', 'b', 'c'}};
    key.values["Empty"] = FakeRegValue{REG_SZ, {}};
    unique_hkey open;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKeyNT, 0, KEY_READ, open.put()), 0);
    EXPECT_EQ(ReadRegString(open.get(), "NoZero"), "abc");
    EXPECT_EQ(ReadRegString(open.get(), "Empty"), "");
}

// A value that another program lengthens between the size query and the read.
class GrowingValueOs : public FakeOs {
public:
    int grow = 1;
    std::size_t length = 500;
    LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* size) override {
        if (data && grow > 0) {
            --grow;
            SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Grows", std::string(length, 'g'));
            length += 100;
        }
        return FakeOs::RegQueryValueExA(key, name, reserved, type, data, size);
    }
};

TEST(RegistryReaders, AValueThatGrowsIsReadAgainWhole) {
    GrowingValueOs os;
    SetSys(&os);
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Grows", "short");
    {
        unique_hkey open;
        ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKeyNT, 0, KEY_READ, open.put()), 0);
        EXPECT_EQ(ReadRegString(open.get(), "Grows"), std::string(500, 'g'));
        os.grow = 100; // keeps growing: given up, never overrun
        EXPECT_EQ(ReadRegString(open.get(), "Grows"), "");
    }
    EXPECT_EQ(os.OpenHandleCount(), 0);
    SetSys(nullptr);
}

TEST_F(Settings, SystemErrorTextForms) {
    CSystemError denied(5);
    EXPECT_EQ(denied.GetErrorText(), "(5) Access is denied.\r\n");
    CSystemError located(1060, "svc.cpp", 1912);
    CSystemError copy = located;
    EXPECT_EQ(copy.GetErrorText(),
              "(1060) The specified service does not exist as an installed service.\r\n, "
              "svc.cpp|1912");
    EXPECT_EQ(copy.GetErrorText(), located.GetErrorText());
    EXPECT_EQ(CSystemError(424242).GetErrorText(), "") << "no system text: empty line";
    // The line a message is made of: without its break, and never empty.
    EXPECT_EQ(ErrorLine(5), "(5) Access is denied.");
    EXPECT_EQ(ErrorLine(424242), "error 424242");
    char* raw = denied.FormatSystemText();
    ASSERT_NE(raw, nullptr);
    EXPECT_STREQ(raw, "Access is denied.\r\n");
    os.LocalFree(raw);
}
