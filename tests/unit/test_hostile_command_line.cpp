// Hostile input, the command line: what a hand-edited Run value or a careless
// shortcut may start the utility with. Only the switches and a host identity
// as the preparation writes it are taken; anything else is refused and
// changes nothing. Registered, only this machine's identity (in any letter
// case, StartUp.SameHostComparesWithoutLetterCase) means "the master
// itself"; another identity means another machine, and the copy's steps run.
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

// No argument at all, or only blanks: on the master registered without a
// record of its adapters (one that could not be written, an earlier
// version's registration), the registered command's identity tells it is
// the master, which stays prepared; unregistered, a preparation.
TEST_F(HostileCommandLine, AnEmptyCommandLineLeavesTheMasterOrPreparesIt) {
    for (const char* blank : {"", " \t  \t "}) {
        EXPECT_EQ(Registered(blank), -1);
        EXPECT_EQ(RunValue(kOwnRunValue), Program() + " \"/000c293a4b5c\" -HideWindow");
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
        ExpectPrepared(blank);
    }
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

// What no preparation writes is refused, whether or not the machine is
// prepared: a quote left open (the identity flag then holds the rest of the
// line), an identity of the wrong length, characters that are no hex digits
// (a double-byte lead byte at the very end too, read without running past
// the text). Nothing runs, the Run value stays, no outcome value is written.
TEST_F(HostileCommandLine, WhatNoPreparationWritesIsRefused) {
    os.codePage = 932;
    for (const std::string arguments :
         {" \"/000c293a4b5c -HideWindow", " /000c293a4b5", " /000c293a4b5c0", " /000c293a4b5g",
          " /00-0c-29-3a-4b-5c", " /000c293a4b5\x81", " /000c293a4b\x81\x40"}) {
        EXPECT_EQ(Registered(Program() + arguments), -1) << arguments;
        EXPECT_EQ(RunValue(kOwnRunValue), Program() + " \"/000c293a4b5c\" -HideWindow");
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
        EXPECT_EQ(Start(Program() + arguments), -1) << arguments;
        EXPECT_EQ(RunValue(kOwnRunValue), "<missing>") << "nothing prepared";
    }
    EXPECT_EQ(os.Key(HKEY_LOCAL_MACHINE, kOutcomeKey).values.count("LastResult"), 0u);
    // The program's own quote left open ends at the identity's opening
    // quote, which then opens its rest; a quote after the last argument adds
    // an empty one, which is no flag.
    EXPECT_EQ(Registered("\"" + os.modulePath + " \"/000c293a4b5c\" -HideWindow"), -1);
    EXPECT_EQ(Registered(Program() + " \"/000c293a4b5c\" -HideWindow \""), -1);
    EXPECT_EQ(Registered(Program() + " \"/000c293a4b5c\" -HideWindow"), 1);
}

// The identity of this machine before it got a second adapter is still
// this machine's; so is one in upper case.
TEST_F(HostileCommandLine, AnEarlierIdentityOfThisMachineIsThisMachines) {
    os.lanas.push_back({1, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true});
    EXPECT_EQ(Registered(Program() + " /000c293a4b5c"), 1);
    EXPECT_EQ(Registered(Program() + " /000C293A4B5C005056C00008"), 1);
}

// Asked for its usage or given what it does not know, on the prepared
// master: its box, exit code 9 and nothing changed, not even the outcome
// values, which travel into the image. Started without an identity (a
// double-click, a task sequence's step run twice) it leaves the master
// prepared and says so; on a copy the same double-click finishes the copy.
TEST_F(HostileCommandLine, ATypoOrADoubleClickLeavesThePreparedMasterAsItIs) {
    Prepare();
    auto const state = [this] {
        return RunValue(kOwnRunValue) + Guid() + Outcome("LastMode") + Outcome("LastResult") +
               std::to_string(os.services["hxlisten"].startType);
    };
    std::string const before = state();
    std::string const guid = Guid();
    struct Case {
        const char* arguments;
        int code;
        const char* box; // the start of its text; nullptr: none
    };
    for (const Case& c :
         {Case{" /?", kExitUsage, "Usage: norvane.exe [/silent]"},
          Case{" -HELP /quiet", kExitUsage, nullptr},
          Case{" /x -h", kExitUsage, "Usage: norvane.exe"},
          Case{" /silent /x", kExitUsage,
               "The command line holds the switch \"x\", which this program"},
          Case{" plain", kExitUsage, "The command line holds the argument \"plain\""},
          Case{"", kExitAlreadyPrepared, "This computer is prepared for imaging"},
          Case{" /service /quiet", kExitAlreadyPrepared, nullptr}}) {
        os.messageBoxes.clear();
        EXPECT_EQ(RunProgram(c.arguments), c.code) << c.arguments;
        EXPECT_EQ(state(), before) << c.arguments;
        ASSERT_EQ(os.messageBoxes.size(), c.box ? 1u : 0u) << c.arguments;
        if (c.box) {
            EXPECT_EQ(os.messageBoxes[0].text.rfind(c.box, 0), 0u) << os.messageBoxes[0].text;
        }
    }
    EXPECT_EQ(dialogs, 0);

    os.lanas = {{0, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, true}};
    EXPECT_EQ(RunProgram(""), kExitDone);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_NE(Guid(), guid);
    EXPECT_EQ(Outcome("LastMode"), "copy");
}
