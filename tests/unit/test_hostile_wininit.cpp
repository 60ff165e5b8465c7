// Hostile input, "wininit.ini" (Windows 9x: the utility's own file is deleted
// at the next start through its section "Rename"). Other programs' pending
// operations in that section are never lost. (No file at all, and a section
// longer than the 28 672-byte buffer, which is left whole:
// RestartDeletion.Windows9xAppendsToWininitAndNeverLosesAnEntry.)
#include "common/delayed_delete.h"
#include "fake_system.h"

#include <cstring>

using namespace port;

namespace {

const char* const kWininit = "C:\\WINDOWS\\wininit.ini";
const char* const kUtility = "C:\\Program Files\\Norvane\\norvane.exe";
const char* const kEntry = "NUL=C:\\PROGRA~1\\NORVANE\\NORVANE.EXE";

// A 9x machine with the utility on it.
template <class Os> class Windows9x : public ::testing::Test {
protected:
    Windows9x() {
        os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        os.AddFile(kUtility);
        os.shortNames[kUtility] = "C:\\PROGRA~1\\NORVANE\\NORVANE.EXE";
        SetSys(&os);
    }
    ~Windows9x() override { SetSys(nullptr); }
    std::string& Wininit() { return os.profileFiles[kWininit]; }

    Os os;
};

// A system whose section list comes back without a final zero: its length
// ends with the last entry's last character, and the buffer holds anything
// after it.
class UnterminatedSectionOs : public FakeOs {
public:
    DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                    const char* file) override {
        DWORD const n = FakeOs::GetPrivateProfileSectionA(section, buffer, size, file);
        if (n == 0)
            return 0;
        std::memset(buffer + n - 1, 'x', size - n + 1);
        return n - 1;
    }
};

using HostileWininit = Windows9x<FakeOs>;
using HostileWininitSystem = Windows9x<UnterminatedSectionOs>;

} // namespace

// A section that still fits the buffer but leaves no room for the
// utility's entry: the file is left exactly as it was (the utility's file
// then stays on the disk; nothing else is lost).
TEST_F(HostileWininit, AFullSectionIsLeftAsItWas) {
    std::string full = "[Rename]\r\n";
    for (int i = 0; i < 988; ++i) // 988 entries of 29 bytes: 28 652 of 28 672
        full += "NUL=C:\\PENDING\\FILE" + std::to_string(10000 + i) + ".TMP\r\n";
    Wininit() = full;
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(), full);
}

// A last line without its line end is an entry like the others.
TEST_F(HostileWininit, ALastLineWithoutItsLineEndIsKept) {
    Wininit() = "[Rename]\r\nNUL=C:\\A.EXE\r\nC:\\B.NEW=C:\\B.OLD";
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(), "[Rename]\r\nNUL=C:\\A.EXE\r\nC:\\B.NEW=C:\\B.OLD\r\n" +
                             std::string(kEntry) + "\r\n");
}

// A list handed back without its final zero is read no further than the
// length the system gave (it was read past the buffer's end before), and its
// last entry ends there.
TEST_F(HostileWininitSystem, ASectionWithoutAFinalZeroIsReadOnlyAsFarAsItsLength) {
    Wininit() = "[Rename]\r\nNUL=C:\\A.EXE\r\nNUL=C:\\B.EXE\r\n";
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(),
              "[Rename]\r\nNUL=C:\\A.EXE\r\nNUL=C:\\B.EXE\r\n" + std::string(kEntry) + "\r\n");
}

// The 28 672-byte buffer holds the utility's entry when the entry, its zero
// and the list's closing zero end on its last byte; the list is then written
// with that closing zero, whatever the buffer held behind the section. One
// byte more and there is no room for it: the file is left as it was.
TEST_F(HostileWininitSystem, AnEntryThatExactlyFillsTheBufferKeepsTheListsClosingZero) {
    // 987 entries of 29 bytes and one of lastBytes, zeros included: with 12,
    // 28 635 bytes, then the entry's 35 and two zeros make 28 672.
    auto section = [](std::size_t lastBytes) {
        std::string s = "[Rename]\r\n";
        for (int i = 0; i < 987; ++i)
            s += "NUL=C:\\PENDING\\FILE" + std::to_string(10000 + i) + ".TMP\r\n";
        return s + "NUL=C:\\" + std::string(lastBytes - 8, 'P') + "\r\n";
    };
    Wininit() = section(12);
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(), section(12) + kEntry + "\r\n");

    Wininit() = section(13);
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(), section(13));
}

// Lines that are no key=value pair: a line without "=" is kept as it
// stands; comments and blank lines inside the section are not part of its
// list (as the profile functions read it) and are gone once it is written
// back. Every pending operation stays, in its order.
TEST_F(HostileWininit, LinesThatAreNoKeyValuePairsKeepEveryOperation) {
    Wininit() = "[Rename]\r\njunk without equals\r\n; a comment\r\n\r\nNUL=C:\\A.EXE\r\n"
                "[Other]\r\n; kept\r\n";
    DeleteFilesAtRestart({kUtility});
    EXPECT_EQ(Wininit(), "[Rename]\r\njunk without equals\r\nNUL=C:\\A.EXE\r\n" +
                             std::string(kEntry) + "\r\n[Other]\r\n; kept\r\n");
}
