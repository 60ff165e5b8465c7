// A copy's first logon on the in-memory Windows: the steps in their order
// with their pauses on the virtual clock, the worst cases, what each failure
// shows and what it leaves behind.
#include "common/message_box.h"
#include "common/delayed_delete.h"
#include "common/guid.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "fake_system.h"
#include "reconfigure/reconfiguration.h"

#include <utility>

using namespace port;

namespace {

const char* kFolder = "C:\\Program Files\\Halvex\\Sentova NT";
const char* kIni = "C:\\Program Files\\Halvex\\Sentova NT\\Wdlscan.ini";
const char* kMonitor = "C:\\Program Files\\Halvex\\Sentova NT\\stvmon.exe";
const char* kClientRunValue = "Sentova NT Monitor";
const char* kTitle = "Wardline Norvane Utility";
const char* kMasterGuid = "{6F1C2A4E-3B5D-4C7E-9A8B-1D2E3F405162}";
HWND const kDialog = reinterpret_cast<HWND>(std::uintptr_t{0xD1A0});

using Statuses = std::vector<std::pair<DWORD, std::string>>; // (virtual ms, text)
using Pauses = std::vector<std::pair<DWORD, int>>; // (length, service requests sent by its end)

// The dialog as the steps see it; its own boxes go to the fake's recorder
// with the dialog as owner.
class DialogView : public ProgressView {
public:
    explicit DialogView(FakeOs& os) : m_os(os) {}
    void SetStatusText(const char* text) override { statuses.emplace_back(m_os.now, text); }
    void RepaintStatus() override { repainted.push_back(statuses.back().second); }
    int ShowMessageBox(const char* text, const char* caption, UINT type) override {
        return m_os.MessageBoxA(kDialog, text, caption, type);
    }
    void Hide() override { hidden = true; }
    void Done() override {}

    Statuses statuses;
    std::vector<std::string> repainted;
    bool hidden = false;

private:
    FakeOs& m_os;
};

// The steps with the notification replaced by a counter.
class CountingSteps : public CReconfiguration {
public:
    using CReconfiguration::CReconfiguration;
    BOOL NotifyServer(const std::string& guid) override {
        notified.push_back(guid);
        return TRUE;
    }
    std::vector<std::string> notified;
};

} // namespace

class Copy : public FakeSystemTest {
protected:
    Copy() : view(os) {
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", kFolder);
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", kFolder);
        os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", 1);
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID", kMasterGuid);
        os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                "NT_RUN_KEY=Sentova NT Monitor\r\n"
                                "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n"
                                "NT_HXLISTEN_SERVICE_FILENAME=hxlisten.exe\r\n"
                                "NT_REAL_TIME_SERVICE_FILENAME=rtguard.exe\r\n";
        os.services["hxlisten"].startType = SERVICE_DEMAND_START; // as prepared
        os.services["rtguard"];
        os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue,
                     "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/000c293a4b5c\" -HideWindow");
        os.AddFile(kMonitor);
        os.AddFile(os.modulePath);
        AfxSetAppName(kTitle);
        AfxSetMainWnd(kDialog);
    }
    ~Copy() override {
        AfxSetMainWnd(nullptr);
        AfxSetAppName(nullptr);
    }

    void StartClientPrograms(DWORD closeDelayMs = 0) {
        os.AddWindow("STVNTClassName", WM_COMMAND, 32824, closeDelayMs);
        os.AddWindow("STVNT_UPDATE32", WM_USER + 102, 0, closeDelayMs);
        os.AddWindow("StvNTMonClass", WM_USER + 1201, 0, closeDelayMs);
    }
    void MakeWindows98() {
        os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        os.version.dwMajorVersion = 4;
        os.version.dwMinorVersion = 10;
        os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "Application Path", "C:\\WARDLINE");
        os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "Program Version", "4.7");
        os.AddFile("C:\\WARDLINE\\STVWIN97.EXE");
        os.AddFile("C:\\WARDLINE\\WARDLINE.EXE");
        os.profileFiles["C:\\WINDOWS\\Wdlscan.ini"] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                                      "95_RUN_KEY=Wardline Client\r\n"
                                                      "95_MENU_MAIN_ITEM_FILENAME=WARDLINE.EXE\r\n"
                                                      "95_RUN_KEY_FILE_NAME=WARDLINE.EXE\r\n";
    }
    void Run(bool sameHost = false) {
        data.m_bSameHost = sameHost;
        CountingSteps steps(view, data);
        steps.Run();
        notified = steps.notified;
    }

    std::string Guid() { return os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"); }
    std::string RunValue(const char* name) {
        const FakeRegValue* v = os.Value(HKEY_LOCAL_MACHINE, kRunKey, name);
        return v ? std::string(v->data.begin(), v->data.end() - 1) : "<missing>";
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : os.messageBoxes) {
            EXPECT_EQ(box.owner, kDialog) << box.text;
            texts.push_back(box.caption + ": " + box.text);
        }
        return texts;
    }
    // The machine as the copy's steps left it, for "nothing changed" checks.
    std::string Snapshot() {
        std::string s;
        for (const auto& [name, v] : os.Key(HKEY_LOCAL_MACHINE, kRunKey).values)
            s += name + "=" + std::string(v.data.begin(), v.data.end()) + ";";
        for (const auto& [name, svc] : os.services)
            s += name + ":" + std::to_string(svc.startType) + "/" + std::to_string(svc.state) +
                 "/" + std::to_string(svc.stopRequests + svc.startRequests) + ";";
        return s + Guid() + ";" + std::to_string(os.PendingDeletes().size()) + ";" +
               std::to_string(os.launches.size());
    }

    DialogView view;
    ReconfigurationData data;
    std::vector<std::string> notified;
};

// ---------------------------------------------------------------- the order

TEST_F(Copy, NtCopyWithTheWholeClientRunning) {
    StartClientPrograms();
    Run();
    EXPECT_EQ(view.statuses, (Statuses{{0, "Checking for installed Wardline client..."},
                                       {0, "Waiting ..."},
                                       {3000, "Stopping the main program..."},
                                       {6000, "Stopping background update..."},
                                       {9000, "Stopping the Real-time Monitor..."},
                                       {12000, "Stopping services..."},
                                       {14000, "Stopping services..."},
                                       {16000, ""},
                                       {16000, "Creating GUID key..."},
                                       {17000, "Opening services..."},
                                       {17000, "Starting services..."},
                                       {17000, "Waiting for service to start..."},
                                       {21000, "Opening services..."},
                                       {21000, "Starting services..."},
                                       {21000, "Waiting for service to start..."},
                                       {25000, "Loading program..."}}));
    EXPECT_EQ(os.now, 26000u) << "the sum of the pauses, nothing more";
    EXPECT_EQ(view.repainted, (std::vector<std::string>{"Waiting ...", "Creating GUID key...",
                                                        "Loading program..."}));
    EXPECT_TRUE(BoxTexts().empty());

    // Each program got its message; both services stopped and started again.
    ASSERT_EQ(os.postedMessages.size(), 3u);
    EXPECT_EQ(os.postedMessages[0].message, WM_COMMAND);
    EXPECT_EQ(os.postedMessages[0].wParam, 32824u);
    EXPECT_EQ(os.postedMessages[1].message, WM_USER + 102);
    EXPECT_EQ(os.postedMessages[2].message, WM_USER + 1201);
    for (const char* name : {"hxlisten", "rtguard"}) {
        EXPECT_EQ(os.services[name].stopRequests, 1) << name;
        EXPECT_EQ(os.services[name].startRequests, 1) << name;
        EXPECT_EQ(os.services[name].state, SERVICE_RUNNING) << name;
    }

    // A new identity; the client restored; the utility gone at the restart.
    EXPECT_EQ(Guid().size(), 36u);
    EXPECT_NE(Guid(), kMasterGuid);
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID")->data.size(), 37u);
    EXPECT_TRUE(notified.empty()) << "the key has \"Application Path\"";
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services["rtguard"].configChanges, 0);
    EXPECT_EQ(RunValue(kClientRunValue), std::string("\"") + kMonitor + "\" -HideWindow");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.PendingDeletes(), std::vector<std::string>{os.modulePath});
    ASSERT_EQ(os.launches.size(), 1u);
    EXPECT_EQ(os.launches[0].application, kMonitor);
    EXPECT_EQ(os.launches[0].creationFlags, CREATE_DEFAULT_ERROR_MODE);
    EXPECT_TRUE(view.hidden);
}

TEST_F(Copy, NtCopyWithNothingRunningPausesBeforeTheMonitorInstead) {
    os.services["hxlisten"].state = SERVICE_STOPPED;
    Run();
    Statuses head(view.statuses.begin(), view.statuses.begin() + 5);
    EXPECT_EQ(head, (Statuses{{0, "Checking for installed Wardline client..."},
                              {0, "Waiting ..."},
                              {3000, "Waiting ..."},
                              {6000, "Stopping services..."},
                              {7000, "Stopping services..."}}));
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 0) << "a stopped service gets no request";
    EXPECT_TRUE(os.postedMessages.empty());
    EXPECT_EQ(os.now, 3000u + 3000 + 1000 + 2000 + 1000 + 8000 + 1000);
}

// Each service is asked to stop only after its second of pause, so that the
// programs closed just before have let it go.
TEST_F(Copy, EachServiceStopRequestComesAfterItsOneSecondPause) {
    Pauses pauses; // the second: stop requests
    os.onSleep = [this, &pauses](DWORD) {
        pauses.emplace_back(os.sleeps.back(), os.services["hxlisten"].stopRequests +
                                                  os.services["rtguard"].stopRequests);
    };
    Run();
    ASSERT_GE(pauses.size(), 6u);
    EXPECT_EQ(Pauses(pauses.begin(), pauses.begin() + 6),
              (Pauses{{3000, 0}, {3000, 0}, {1000, 0}, {1000, 1}, {1000, 1}, {1000, 2}}));
}

TEST_F(Copy, TheMasterItselfOnlyRestores) {
    StartClientPrograms();
    Run(true);
    EXPECT_EQ(view.statuses.front().second, "Checking for installed Wardline client...");
    EXPECT_EQ(view.statuses[1].second, "Opening services...");
    EXPECT_EQ(Guid(), kMasterGuid);
    EXPECT_TRUE(os.postedMessages.empty());
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 0);
    EXPECT_TRUE(notified.empty());
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.now, 4000u + 4000 + 1000);
}

// A service that does not answer yet (its manager still busy after the
// restart) is asked to start only once it does.
TEST_F(Copy, AServiceIsAskedToStartOnlyOnceItCanBeQueried) {
    os.services["hxlisten"].state = SERVICE_STOPPED;
    os.services["hxlisten"].failingQueries = 2;
    Pauses pauses; // the second: start requests
    os.onSleep = [this, &pauses](DWORD) {
        pauses.emplace_back(os.sleeps.back(), os.services["hxlisten"].startRequests);
    };
    Run(true);
    EXPECT_EQ(pauses, (Pauses{{1000, 0}, {1000, 0}, {4000, 1}, {4000, 1}, {1000, 1}}));
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_RUNNING);
}

TEST_F(Copy, Windows98CopyStopsItsMainProgramByItsSharedValues) {
    MakeWindows98();
    DWORD const pid = os.AddProcess();
    HWND const main = os.AddWindow("WardlineCorpMainClass", WM_USER + 1000, 0, 500, pid);
    os.mappings["WardlineCorp_MemoryMappedFile_MainWnd"] = {
        {static_cast<BYTE>(reinterpret_cast<std::uintptr_t>(main)),
         static_cast<BYTE>(reinterpret_cast<std::uintptr_t>(main) >> 8),
         static_cast<BYTE>(reinterpret_cast<std::uintptr_t>(main) >> 16), 0},
        pid};
    os.mappings["WardlineCorp_MemoryMappedFile_ProcessID"] = {
        {static_cast<BYTE>(pid), static_cast<BYTE>(pid >> 8), 0, 0}, pid};
    os.profileFiles["C:\\WINDOWS\\wininit.ini"] = "[Rename]\r\nNUL=C:\\OTHER\\OLD.EXE\r\n";
    os.shortNames[os.modulePath] = "C:\\PROGRA~1\\NORVANE\\NORVANE.EXE";
    Run();

    std::vector<std::string> texts;
    for (const auto& [at, text] : view.statuses)
        texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Checking for installed Wardline client...",
                                               "Waiting ...", "Stopping the main program...", "",
                                               "Creating GUID key...", "Loading program..."}));
    ASSERT_EQ(os.postedMessages.size(), 2u);
    EXPECT_EQ(os.postedMessages[0].message, WM_USER + 1000);
    EXPECT_EQ(os.postedMessages[1].message, WM_QUIT);
    EXPECT_EQ(os.now, 3000u + 500 + 1000 + 1000 + 1000) << "waited on the process, not polled";
    EXPECT_EQ(os.services["hxlisten"].configChanges + os.services["hxlisten"].stopRequests, 0);
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kClientKey9x, "GUID").size(), 36u);
    EXPECT_EQ(RunValue("Wardline Client"), "\"C:\\WARDLINE\\WARDLINE.EXE\" -HideWindow");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.profileFiles["C:\\WINDOWS\\wininit.ini"],
              "[Rename]\r\nNUL=C:\\OTHER\\OLD.EXE\r\nNUL=C:\\PROGRA~1\\NORVANE\\NORVANE.EXE\r\n");
    EXPECT_EQ(os.launches.at(0).application, "C:\\WARDLINE\\WARDLINE.EXE");
}

// ---------------------------------------------------------------- bounds

TEST_F(Copy, NothingThatRefusesToStopOrStartHoldsItLongerThanItsTwentyTries) {
    for (const char* cls : {"STVNTClassName", "STVNT_UPDATE32", "StvNTMonClass"})
        os.AddWindow(cls, 0, 0, 0); // never closes
    for (const char* name : {"hxlisten", "rtguard"})
        os.services[name].stopDelayMs =
            100000000; // stopping for ever: never stopped, never running
    Run();
    // 3 s waiting, 20 s per program, 1 s + 20 s per service stop, 1 s GUID,
    // 4 s + 20 s per service start, 1 s before the launch.
    EXPECT_EQ(os.now, 3000u + 3 * 20000 + 2 * 21000 + 1000 + 2 * 24000 + 1000);
    EXPECT_EQ(Guid().size(), 36u) << "the sequence went on";
}

TEST_F(Copy, A98ProgramWhoseProcessCannotBeOpenedIsPolledByItsWindowValue) {
    MakeWindows98();
    DWORD const pid = os.AddProcess();
    HWND const main = os.AddWindow("WardlineCorpMainClass", WM_USER + 1000, 0, 2500, pid);
    auto const h = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(main));
    os.mappings["WardlineCorp_MemoryMappedFile_MainWnd"] = {
        {static_cast<BYTE>(h), static_cast<BYTE>(h >> 8), static_cast<BYTE>(h >> 16), 0}, pid};
    os.mappings["WardlineCorp_MemoryMappedFile_ProcessID"] = {{0x39, 0x30, 0, 0}, pid}; // 12345
    Run();
    // Polled a second at a time until the value went (after 2.5 s), then 10 s.
    EXPECT_EQ(os.now, 3000u + 3000 + 10000 + 1000 + 1000);
}

// A 9x main program that never ends and whose window value never clears.
TEST_F(Copy, A98MainProgramThatNeverEndsHoldsTheStepForTwentyPassesOfEachWait) {
    MakeWindows98();
    DWORD const pid = os.AddProcess();
    HWND const main = os.AddWindow("WardlineCorpMainClass", 0, 0, 0, pid); // never closes
    auto const h = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(main));
    os.mappings["WardlineCorp_MemoryMappedFile_MainWnd"] = {
        {static_cast<BYTE>(h), static_cast<BYTE>(h >> 8), static_cast<BYTE>(h >> 16), 0}, pid};
    os.mappings["WardlineCorp_MemoryMappedFile_ProcessID"] = {
        {static_cast<BYTE>(pid), static_cast<BYTE>(pid >> 8), 0, 0}, pid};
    Run();
    // 3 s waiting, 20 waits of a second on the process, 20 polls of the
    // window value, 1 s GUID, 1 s before the launch.
    EXPECT_EQ(os.now, 3000u + 20000 + 20000 + 1000 + 1000);
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kClientKey9x, "GUID").size(), 36u)
        << "the sequence went on";
}

// ---------------------------------------------------------------- failures

TEST_F(Copy, ClientNotInstalledShowsOneBoxAndChangesNothing) {
    os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kClientKeyNT);
    std::string const before = Snapshot();
    Run();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "Error: The Wardline client has not yet been installed on this "
                              "computer."});
    EXPECT_EQ(os.messageBoxes[0].type, MB_ICONERROR);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(os.now, 0u);
}

// On Windows 9x the key is not enough: the client's program must be in the
// folder the key names.
TEST_F(Copy, A98ClientKeyWithoutItsProgramFileIsNotInstalled) {
    MakeWindows98();
    os.files.erase("C:\\WARDLINE\\STVWIN97.EXE");
    std::string const before = Snapshot();
    Run();
    ASSERT_EQ(os.messageBoxes.size(), 1u);
    EXPECT_NE(os.messageBoxes[0].text.find("not yet been installed"), std::string::npos);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kClientKey9x, "GUID"), nullptr);
    EXPECT_EQ(os.now, 0u);
}

TEST_F(Copy, NoNewIdentityMeansNothingIsRestoredAndTheNextLogonTriesAgain) {
    os.systemMessages[0x8007000E] =
        "Not enough memory resources are available to complete this operation.\r\n";
    os.guidResult = static_cast<HRESULT>(0x8007000E);
    Run();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              std::string(kTitle) +
                              ": (-2147024882) Not enough memory resources are available to "
                              "complete this operation.\r\n"});
    EXPECT_EQ(RunValue(kOwnRunValue).substr(0, 1), "\"");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);

    os.messageBoxes.clear();
    os.guidResult = S_OK;
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = ERROR_ACCESS_DENIED;
    Run();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error: Unable for create a GUID key."});
    EXPECT_EQ(Guid(), kMasterGuid);
    EXPECT_EQ(RunValue(kOwnRunValue).substr(0, 1), "\"");
    EXPECT_TRUE(os.PendingDeletes().empty());
    EXPECT_TRUE(notified.empty());
}

TEST_F(Copy, A98CopyWithoutItsNewGuidNeitherRestoresNorUnregisters) {
    MakeWindows98();
    os.Key(HKEY_LOCAL_MACHINE, kClientKey9x).valueWriteError = ERROR_ACCESS_DENIED;
    Run();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error: Unable for create a GUID key."});
    EXPECT_EQ(RunValue("Wardline Client"), "<missing>");
    EXPECT_EQ(RunValue(kOwnRunValue).substr(0, 1), "\"") << "the next logon tries again";
    EXPECT_EQ(os.profileFiles.count("C:\\WINDOWS\\wininit.ini"), 0u) << "nothing queued";
    EXPECT_TRUE(os.launches.empty());
}

TEST_F(Copy, WithoutAdministratorRightsTheRestoreIsRefused) {
    os.isAdministrator = false;
    Run();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              std::string(kTitle) +
                              ": You do not have administrator privileges. Only administrators "
                              "can install this program."});
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
}

TEST_F(Copy, AMissingListenerKeepsTheUtilityRegisteredUntilItIsBack) {
    os.services.erase("hxlisten");
    Run(true);
    std::string const missing = std::string(kTitle) +
                                ": (1060) The specified service does not exist as an installed "
                                "service.\r\n";
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{missing});
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.launches.empty());

    // Installed again: the next logon finishes the job.
    os.messageBoxes.clear();
    os.services["hxlisten"].startType = SERVICE_DEMAND_START;
    Run(true);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
}

TEST_F(Copy, AFirstServiceMissingAtTheStopIsShownOnceAndTheRestGoesOn) {
    os.services.erase("hxlisten");
    Run();
    ASSERT_GE(os.messageBoxes.size(), 1u);
    EXPECT_NE(os.messageBoxes[0].text.find("(1060)"), std::string::npos);
    EXPECT_EQ(os.services["rtguard"].stopRequests, 0) << "the second service is not stopped";
    EXPECT_EQ(Guid().size(), 36u) << "the sequence went on";
    // The restore meets the same missing listener and keeps the utility.
    EXPECT_EQ(os.messageBoxes.size(), 2u);
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
}

TEST_F(Copy, AMissingMainProgramIsShownAndTheDialogStaysUp) {
    os.files.erase(kMonitor);
    Run();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{std::string(kTitle) +
                                       ": (2) The system cannot find the file specified.\r\n"});
    EXPECT_FALSE(view.hidden);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
}

TEST_F(Copy, AClientRunValueThatCannotBeWrittenKeepsTheUtilityForTheNextLogon) {
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
    Run();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{std::string(kTitle) + ": (5) Access is denied.\r\n"});
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.PendingDeletes().empty()) << "the utility must be there at the next logon";
    EXPECT_EQ(os.launches.size(), 1u) << "the client still starts now";

    // No Run value name configured: nothing to write, and no failure.
    os.messageBoxes.clear();
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = 0;
    os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n";
    Run(true);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(RunValue(kClientRunValue), "<missing>");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.PendingDeletes().size(), 1u);
}

// ---------------------------------------------------------------- the notification

TEST_F(Copy, TheServerIsToldOnlyWhenAllThreeConditionsHold) {
    struct Case {
        bool appPath;
        int mode; // -1: no value
        bool guidStored;
        bool notified;
    };
    for (const Case& c :
         {Case{false, 1, true, true}, Case{true, 1, true, false}, Case{false, 0, true, false},
          Case{false, -1, true, false}, Case{false, 1, false, false}}) {
        auto& key = os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT);
        if (!c.appPath)
            key.values.erase("Application Path");
        key.values.erase("Mode");
        if (c.mode >= 0)
            os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", static_cast<DWORD>(c.mode));
        key.valueWriteError = c.guidStored ? 0 : ERROR_ACCESS_DENIED;
        Run();
        ASSERT_EQ(notified.size(), c.notified ? 1u : 0u)
            << "path " << c.appPath << " mode " << c.mode << " stored " << c.guidStored;
        if (c.notified) {
            EXPECT_EQ(notified[0], Guid());
        }
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", kFolder);
    }
}

// ---------------------------------------------------------------- pieces

TEST(GuidText, LeadingZerosAndData4InMemoryOrder) {
    EXPECT_EQ(
        FormatGuid({0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}}),
        "6b29fc40-ca47-1067-b31d-00dd010662da");
    EXPECT_EQ(FormatGuid({0xABCD, 0x1, 0x2, {0, 1, 2, 3, 4, 5, 6, 7}}),
              "0000abcd-0001-0002-0001-020304050607");
}

// An account whose rights on the client's key allow setting its values but
// not full control of it (no right to change its permissions).
class NoFullControlOs : public FakeOs {
public:
    LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override {
        if (access == KEY_ALL_ACCESS)
            return ERROR_ACCESS_DENIED;
        return FakeOs::RegOpenKeyExA(key, subKey, options, access, result);
    }
};

TEST(GuidKey, AClientKeyThatOpensOnlyForWritingStillGetsItsGuid) {
    NoFullControlOs os;
    SetSys(&os);
    Report().Reset();
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID", kMasterGuid);
    {
        DialogView view(os);
        ReconfigurationData data;
        CReconfiguration steps(view, data);
        std::string guid;
        EXPECT_TRUE(steps.CreateGuidKey(guid));
        EXPECT_EQ(guid.size(), 36u);
        EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"), guid);
        EXPECT_TRUE(os.messageBoxes.empty());
    }
    Report().Reset(); // the run ends: its log's folder is let go
    EXPECT_EQ(os.OpenHandleCount(), 0);
    SetSys(nullptr);
}

class RestartDeletion : public FakeSystemTest {
protected:
    RestartDeletion() {
        os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        os.AddFile("C:\\Program Files\\Norvane\\norvane.exe");
        os.shortNames["C:\\Program Files\\Norvane\\norvane.exe"] =
            "C:\\PROGRA~1\\NORVANE\\NORVANE.EXE";
    }
    std::string& Wininit() { return os.profileFiles["C:\\WINDOWS\\wininit.ini"]; }
};

TEST_F(RestartDeletion, Windows9xAppendsToWininitAndNeverLosesAnEntry) {
    os.profileFiles.erase("C:\\WINDOWS\\wininit.ini");
    DeleteFilesAtRestart({"C:\\Program Files\\Norvane\\norvane.exe"});
    EXPECT_EQ(Wininit(), "[Rename]\r\nNUL=C:\\PROGRA~1\\NORVANE\\NORVANE.EXE\r\n");

    // Existing entries stay first, in order; a path without a short form is
    // written as it is.
    Wininit() = "[Rename]\r\nNUL=C:\\A.EXE\r\nC:\\B.NEW=C:\\B.OLD\r\n";
    DeleteFilesAtRestart({"C:\\Program Files\\Norvane\\norvane.exe", "C:\\Gone\\x.exe"});
    EXPECT_EQ(Wininit(), "[Rename]\r\nNUL=C:\\A.EXE\r\nC:\\B.NEW=C:\\B.OLD\r\n"
                         "NUL=C:\\PROGRA~1\\NORVANE\\NORVANE.EXE\r\nNUL=C:\\Gone\\x.exe\r\n");

    // A section that does not fit the buffer is left whole; the file stays.
    std::string big = "[Rename]\r\n";
    for (int i = 0; i < 1200; ++i)
        big += "NUL=C:\\PENDING\\FILE" + std::to_string(10000 + i) + ".TMP\r\n";
    Wininit() = big;
    DeleteFilesAtRestart({"C:\\Program Files\\Norvane\\norvane.exe"});
    EXPECT_EQ(Wininit(), big);
}

TEST_F(RestartDeletion, NtQueuesEachFileInListOrder) {
    os.version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    DeleteFilesAtRestart({"C:\\a.exe", "C:\\b.exe"});
    EXPECT_EQ(os.PendingDeletes(), (std::vector<std::string>{"C:\\a.exe", "C:\\b.exe"}));
}
