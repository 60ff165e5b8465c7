// Hostile input, the command line: what a hand-edited Run value or a careless
// shortcut may start the utility with. Unregistered, the utility prepares the
// master whatever its arguments (only "silent" counts) and registers this
// machine's own identity. Registered, only this machine's identity (in any
// letter case, StartUp.SameHostComparesWithoutLetterCase) means "the master
// itself"; anything else means another machine, and the copy's steps run.
#include "client_machine.h"

using namespace port;

namespace {

class HostileCommandLine : public ClientMachine {
protected:
    std::string Program() const { return "\"" + os.modulePath + "\""; }
    // Started on the master as prepared: the flag the dialog gets (1: the
    // master itself, 0: another machine).
    int Registered(const std::string& commandLine) {
        AsPrepared();
        return Start(commandLine);
    }
    // Started on an unprepared master: the preparation ran and registered
    // this machine.
    void ExpectPrepared(const std::string& commandLine) {
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
        os.messageBoxes.clear();
        EXPECT_EQ(Start(commandLine), -1);
        EXPECT_EQ(RunValue(kOwnRunValue), Program() + " \"/000c293a4b5c\" -HideWindow");
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    }
};

} // namespace

TEST_F(HostileCommandLine, AnEmptyCommandLineIsAnotherMachineOrAPreparation) {
    EXPECT_EQ(Registered(""), 0);
    ExpectPrepared("");
}

TEST_F(HostileCommandLine, OnlyBlanksAreAnEmptyCommandLine) {
    EXPECT_EQ(Registered(" \t  \t "), 0);
    ExpectPrepared(" \t  \t ");
}

// 32 KB, the most Windows passes: an identity argument that long is another
// machine's, and is never written anywhere.
// Unregistered, an argument shaped like an identity is what the Run key
// starts: the instance finds the job done by another one and prepares
// nothing (a copy prepared as a master would undo its own run).
TEST_F(HostileCommandLine, A32KilobyteArgumentIsAnotherMachinesIdentity) {
    std::string const huge = " \"/000c293a4b5c" + std::string(32 * 1024 - 32, 'c') + "\"";
    EXPECT_EQ(Registered(Program() + huge), 0);
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    EXPECT_EQ(Start(Program() + huge + " /silent"), -1);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.messageBoxes.empty());
    ExpectPrepared(Program() + " /silent");
}

// A quote left open runs to the end of the line: the identity flag then
// holds the rest of it, or (the program's own quote left open) there is no
// argument at all.
TEST_F(HostileCommandLine, UnbalancedQuotesTakeTheRestOfTheLine) {
    EXPECT_EQ(Registered(Program() + " \"/000c293a4b5c -HideWindow"), 0);
    EXPECT_EQ(Registered("\"" + os.modulePath + " \"/000c293a4b5c\" -HideWindow"), 0);
    EXPECT_EQ(Registered(Program() + " \"/000c293a4b5c\" -HideWindow \""), 1)
        << "an open quote after the last argument adds an empty one";
    EXPECT_TRUE(os.messageBoxes.empty());
}

// One digit too few or too many: another machine. The identity of this
// machine before it got a second adapter is still this machine's.
TEST_F(HostileCommandLine, AnIdentityOfTheWrongLengthIsAnotherMachines) {
    EXPECT_EQ(Registered(Program() + " /000c293a4b5"), 0);
    EXPECT_EQ(Registered(Program() + " /000c293a4b5c0"), 0);
    os.lanas.push_back({1, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true});
    EXPECT_EQ(Registered(Program() + " /000c293a4b5c"), 1);
    EXPECT_EQ(Registered(Program() + " /000C293A4B5C005056C00008"), 1);
}

// Letters beyond f, separators, or a double-byte lead byte at the very end
// (code page 932): another machine, compared without reading past the text.
TEST_F(HostileCommandLine, AnIdentityWithCharactersThatAreNoHexDigitsIsAnotherMachines) {
    EXPECT_EQ(Registered(Program() + " /000c293a4b5g"), 0);
    EXPECT_EQ(Registered(Program() + " /00-0c-29-3a-4b-5c"), 0);
    os.codePage = 932;
    EXPECT_EQ(Registered(Program() + " /000c293a4b5\x81"), 0);
    EXPECT_EQ(Registered(Program() + " /000c293a4b\x81\x40"), 0);
}
