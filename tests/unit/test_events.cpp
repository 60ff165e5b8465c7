// The run's event in the Application log beyond the endings' table
// (test_record.cpp): the message table has every event the record reports,
// with its severity; a run refused for its token leaves its event and
// nothing else; the preparation registers the source, a failed one leaves
// none, and a copy's run takes it away with the program.
#include "client_machine.h"
#include "common/event_source.h"
#include "common/report.h"
#include "common/run_event.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace port;

namespace {

// MessageId -> (Severity, text) of the message file.
std::map<DWORD, std::pair<std::string, std::string>> MessageFile() {
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "src" / "res" /
                       "norvane_events.mc");
    std::map<DWORD, std::pair<std::string, std::string>> messages;
    DWORD id = 0;
    std::string severity, line;
    bool inText = false;
    while (std::getline(file, line)) {
        if (inText) {
            if (line == ".")
                inText = false;
            else
                messages[id].second += line;
        } else if (line.rfind("MessageId=", 0) == 0) {
            id = static_cast<DWORD>(std::stoul(line.substr(10)));
        } else if (line.rfind("Severity=", 0) == 0) {
            severity = line.substr(9);
        } else if (line.rfind("Language=", 0) == 0) {
            messages[id].first = severity;
            inText = true;
        }
    }
    return messages;
}

} // namespace

TEST(RunEvents, TheMessageTableHoldsEveryEventWithItsSeverity) {
    std::map<DWORD, DWORD> reported; // number -> full identifier
    for (int code = 0; code <= kExitCodeLast; ++code) {
        RunEnd end;
        end.mode = RunMode::Copy;
        end.exitCode = code;
        reported[RunEventNumber(end)] = RunEventId(RunEventNumber(end));
        EXPECT_EQ(RunEventNumber(end), 1000u + static_cast<DWORD>(code));
        EXPECT_NE(ExitCodeMeaning(static_cast<ExitCode>(code)), std::string("unknown")) << code;
    }
    RunEnd undecided;
    undecided.exitCode = kExitCopyNotFinished;
    RunEnd fault;
    fault.fault = true;
    fault.exitCode = kExitUnexpectedError;
    for (const RunEnd& end : {undecided, fault})
        reported[RunEventNumber(end)] = RunEventId(RunEventNumber(end));
    EXPECT_EQ(reported.count(kEventUndecidedStart) + reported.count(kEventUncaughtFault), 2u);

    auto const messages = MessageFile();
    ASSERT_EQ(messages.size(), reported.size());
    const char* const severities[] = {"Success", "Informational", "Warning", "Error"};
    for (const auto& [number, id] : reported) {
        auto const message = messages.find(number);
        ASSERT_NE(message, messages.end()) << number;
        EXPECT_EQ(message->second.first, severities[id >> 30]) << number;
        EXPECT_EQ(id & 0x3FFF0000u, 0u) << "no customer bit, no facility: " << number;
        for (const char* insert : {"%1", "%2", "%3", "%4"})
            EXPECT_NE(message->second.second.find(insert), std::string::npos) << number;
    }
}

namespace {

class Events : public ClientMachine {
protected:
    static constexpr const char* kNotAdministrator =
        "You do not have administrator privileges. Only administrators can install this "
        "program.";

    void Master() { os.lanas = {{0, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true}}; }
    void OtherHardware() { os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}}; }
    bool SourceRegistered() {
        return os.Value(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported") != nullptr;
    }
    // A run refused for its token, on a copy whose log folder an
    // administrator's run made: its event, and nothing else changed.
    void ExpectOnlyTheRefusalsEvent(int code) {
        EXPECT_EQ(code, kExitRefused);
        ASSERT_EQ(os.events.size(), 1u);
        EXPECT_EQ(os.events[0].id, 0xC0000000u | 1002u);
        EXPECT_EQ(os.events[0].type, EVENTLOG_ERROR_TYPE);
        EXPECT_EQ(os.events[0].strings,
                  (std::vector<std::string>{"mode: refused",
                                            "exit code: 2 (refused on this system or for this "
                                            "user)",
                                            std::string("reason: ") + kNotAdministrator, ""}));
        EXPECT_EQ(Boxes(),
                  std::vector<std::string>{std::string(kTitle) + ": " + kNotAdministrator});
        EXPECT_TRUE(os.Key(HKEY_LOCAL_MACHINE, kOutcomeKey).values.empty());
        EXPECT_EQ(os.files, m_files) << "a file was made or changed";
        EXPECT_EQ(RunValue(kOwnRunValue), m_runValue);
    }
    // The log's folder as an administrator's run leaves it; what is on the
    // disk from then on.
    void AfterAnAdministratorsRun() {
        AsPrepared();
        OtherHardware();
        Report().Event("An administrator's run");
        Report().Reset();
        ASSERT_FALSE(Log().empty());
        os.version.dwMajorVersion = 6;
        m_files = os.files;
        m_runValue = RunValue(kOwnRunValue);
    }

    std::map<std::string, FakeFile, CaseLess> m_files;
    std::string m_runValue;
};

} // namespace

// A filtered token whose consent prompt was declined, and an account without
// administrator rights at a copy's logon: neither may write the outcome
// values or the log, and each still tells the Application log.
TEST_F(Events, ARunRefusedForItsTokenLeavesItsEventAndNothingElse) {
    AfterAnAdministratorsRun();
    os.elevationType = TokenElevationTypeLimited;
    os.adminDenyOnly = true;
    os.shellExecuteError = ERROR_CANCELLED;
    ExpectOnlyTheRefusalsEvent(StartRegistered());
}

TEST_F(Events, ARunWithoutAdministratorRightsLeavesItsEventAndNothingElse) {
    AfterAnAdministratorsRun();
    os.isAdministrator = false;
    os.tokenUser = "S-1-5-21-1111-2222-3333-1001";
    ExpectOnlyTheRefusalsEvent(StartRegistered());
}

// The source names the program registered, for Event Viewer's texts; a copy
// takes it away with the program (its event goes out without it).
TEST_F(Events, ThePreparationRegistersTheSourceAndTheCopyRemovesIt) {
    Master();
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    const FakeRegValue* file = os.Value(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->type, REG_EXPAND_SZ);
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile"),
              os.modulePath);
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported")->data,
              (std::vector<BYTE>{7, 0, 0, 0}));

    OtherHardware();
    os.events.clear();
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_FALSE(SourceRegistered());
    ASSERT_EQ(os.events.size(), 1u);
    EXPECT_EQ(os.events[0].id & 0xFFFF, 1000u);
}

TEST_F(Events, AFailedPreparationLeavesNoSource) {
    Master();
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunProgram(" /silent"), kExitPreparationFailed);
    EXPECT_FALSE(SourceRegistered());
    ASSERT_EQ(os.events.size(), 1u);
    EXPECT_EQ(os.events[0].id & 0xFFFF, 1004u);
}
