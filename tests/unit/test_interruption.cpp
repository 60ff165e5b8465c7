// The power cut at every point: a copy's first logon, and a master's
// preparation, stopped at each of their state-changing calls in turn, then
// run again as the machine's next start would run them, end as an
// uninterrupted run ends (but for the GUID's value) — or, at the one point
// named below, leave only what the test says and lose nothing.
#include "app/norvane_app.h"
#include "app/worker.h"
#include "common/report.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "reconfigure/boot_service.h"
#include "port/fake/fake_internet.h"
#include "strings_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

using namespace port;

namespace {

const char* kFolder = "C:\\Program Files\\Halvex\\Sentova NT";
const char* kIni = "C:\\Program Files\\Halvex\\Sentova NT\\Wdlscan.ini";
const char* kExe = "C:\\Program Files\\Norvane\\norvane.exe";
const char* kClientRunValue = "Sentova NT Monitor";
const char* kClientCommand = "\"C:\\Program Files\\Halvex\\Sentova NT\\stvmon.exe\" -HideWindow";
const char* kMasterGuid = "6f1c2a4e-3b5d-4c7e-9a8b-1d2e3f405162";

class Recorder : public ProgressView {
public:
    explicit Recorder(FakeOs& os) : m_os(os) {}
    void SetStatusText(const char*) override {}
    void RepaintStatus() override {}
    int ShowMessageBox(const char* text, const char* caption, UINT type) override {
        return m_os.MessageBoxA(nullptr, text, caption, type);
    }
    void Hide() override {}
    void Done() override {}

private:
    FakeOs& m_os;
};

// One machine: the in-memory Windows and WinINet with the client stand-in.
// With master, the client as installed (before any preparation); else a
// copy of a prepared master, started on other hardware.
struct Machine {
    explicit Machine(bool master) {
        SetSys(&os);
        SetNet(&net);
        for (const auto& [id, text] : ProgramStringTable())
            os.strings[id] = text;
        os.modulePath = kExe;
        os.AddFile(kExe);
        os.AddFile(std::string(kFolder) + "\\stvmon.exe");
        // The notification is asked for: no "Application Path", "Mode" 1.
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", kFolder);
        os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", 1);
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", "console.example.test");
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID", kMasterGuid);
        os.SetDword(HKEY_LOCAL_MACHINE, std::string(kClientKeyNT) + "\\Mics.", "UseProxy", 0);
        std::string const ini = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                "NT_RUN_KEY=Sentova NT Monitor\r\n"
                                "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n";
        os.profileFiles[kIni] = ini;
        // Found by its bare name when "Application Path" is missing.
        os.profileFiles["C:\\WINDOWS\\Wdlscan.ini"] = ini;
        os.services["hxlisten"].account = "NT AUTHORITY\\LocalService";
        os.services["rtguard"];
        net.responder = [](const FakeSentRequest&) {
            FakeHttpAnswer answer;
            answer.body = "OK";
            return answer;
        };
        if (master) {
            os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue, kClientCommand);
        } else {
            os.services["hxlisten"].startType = SERVICE_DEMAND_START;
            os.services["hxlisten"].state = SERVICE_STOPPED;
            os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue,
                         std::string("\"") + kExe + "\" \"/000c293a4b5c\" -HideWindow");
            os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
        }
    }
    ~Machine() {
        Report().Reset(); // what the last run held goes with its machine
        SetNet(nullptr);
        SetSys(nullptr);
    }

    bool Registered() {
        return os.Value(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue) && os.files.count(kExe);
    }
    // The utility as started by hand (the preparation), by Windows at logon
    // (the registered command) or at boot (the boot-time service). A power
    // cut ends it where it happens.
    void Start(const std::string& commandLine, bool asService = false) {
        CNorvaneApp app;
        app.m_commandLine = commandLine;
        app.m_bRunAsService = asService;
        app.m_runProgressDialog = [this](BOOL sameHost) {
            ReconfigurationData data;
            data.m_bSameHost = sameHost;
            Recorder view(os);
            RunWorkerSequence(&view, data);
        };
        try {
            (void)app.InitInstance();
        } catch (const FakePowerCut&) {
        }
    }
    void Logon() { Start(os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue)); }
    bool ServiceInstalled() {
        auto it = os.services.find(kBootServiceName);
        return it != os.services.end() && !it->second.deletePending;
    }
    // A start without a logon: the boot-time service runs its command.
    void Boot() {
        os.services[kBootServiceName].state = SERVICE_RUNNING;
        Start(os.services[kBootServiceName].binaryPath, true);
    }
    // A copy of a master prepared with /service.
    void WithBootService() {
        auto& service = os.services[kBootServiceName];
        service.binaryPath = std::string("\"") + kExe + "\" \"/000c293a4b5c\" -HideWindow /service";
        service.startType = SERVICE_AUTO_START;
        service.state = SERVICE_STOPPED;
    }
    void Prepare() { Start(std::string("\"") + kExe + "\""); }

    // What outlives a restart, as text: the registry (the client's GUID by
    // its shape only), the services' configuration, the profile files and
    // which files exist. The runs' record (log and outcome values) is not
    // the machine's state: it grows with every run.
    std::string Persistent() {
        std::ostringstream out;
        std::function<void(const FakeRegKey&, const std::string&)> walk =
            [&](const FakeRegKey& key, const std::string& path) {
                if (path == std::string("\\") + kOutcomeKey)
                    return;
                for (const auto& [name, value] : key.values) {
                    std::string data(value.data.begin(), value.data.end());
                    if (path == std::string("\\") + kClientKeyNT && name == "GUID")
                        data = data.size() == 37 && data != std::string(kMasterGuid) + '\0'
                                   ? "<a new GUID>"
                                   : "<" + data + ">";
                    out << path << " [" << name << "] " << value.type << " " << data << "\n";
                }
                for (const auto& [name, sub] : key.subkeys)
                    walk(*sub, path + "\\" + name);
            };
        walk(os.hklm, "");
        for (const auto& [name, s] : os.services)
            out << "service " << name << " " << s.startType << " " << s.errorControl << " "
                << s.account << " " << s.binaryPath << "\n";
        auto const record = [this](const std::string& path) {
            return path.rfind(os.commonAppData + "\\Norvane", 0) == 0;
        };
        for (const auto& [path, text] : os.profileFiles)
            if (!record(path))
                out << "profile " << path << "\n" << text;
        for (const auto& [path, file] : os.files)
            if (!record(path))
                out << "file " << path << "\n";
        return out.str();
    }
    // The GUID the console heard of last.
    std::string LastNotifiedGuid() {
        if (net.sent.empty())
            return "<none>";
        std::string const& object = net.sent.back().object;
        auto at = object.find("UID=");
        return at == std::string::npos ? "<no UID>" : object.substr(at + 4, 36);
    }

    FakeOs os;
    FakeInternet net{os};
};

} // namespace

TEST(Interruption, ACopyStoppedAtAnyPointConvergesAtItsNextLogons) {
    std::string reference;
    int changes = 0;
    {
        Machine m(false);
        m.Logon();
        ASSERT_TRUE(m.os.messageBoxes.empty()) << m.os.messageBoxes[0].text;
        m.os.Reboot();
        reference = m.Persistent();
        changes = m.os.stateChanges;
        // What every interrupted run must end with too.
        EXPECT_EQ(m.LastNotifiedGuid(), m.os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"));
        EXPECT_EQ(m.os.services["hxlisten"].startType, SERVICE_AUTO_START);
        EXPECT_EQ(m.os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue), kClientCommand);
        EXPECT_EQ(m.os.Value(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), nullptr);
        EXPECT_EQ(m.os.files.count(kExe), 0u) << "deleted at the restart";
    }
    ASSERT_GT(changes, 10);

    std::vector<std::string> notConverged;
    for (int n = 0; n < changes; ++n) {
        Machine m(false);
        m.os.powerCutAt = n;
        m.Logon();
        ASSERT_TRUE(m.os.poweredOff) << "no cut at call " << n;
        std::string const cutAt = m.os.changeLog.back();
        m.os.Reboot();
        for (int logon = 0; logon < 3 && m.Registered(); ++logon) {
            m.Logon();
            m.os.Reboot();
        }
        SCOPED_TRACE("power cut at call " + std::to_string(n) + ", " + cutAt);
        if (m.Persistent() == reference) {
            // The console has heard of the GUID the client now has (when the
            // cut came before the request went out, the next logon sent it).
            EXPECT_EQ(m.LastNotifiedGuid(),
                      m.os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"));
            continue;
        }
        notConverged.push_back(cutAt);

        // The one window: the utility's Run value is deleted and its file not
        // yet queued. The client is restored whole; only norvane.exe stays on
        // the disk, unregistered (nothing starts it again).
        EXPECT_EQ(cutAt, "MoveFileExA");
        EXPECT_EQ(m.os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue), kClientCommand);
        EXPECT_EQ(m.os.services["hxlisten"].startType, SERVICE_AUTO_START);
        EXPECT_EQ(m.os.Value(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), nullptr);
        EXPECT_EQ(m.os.files.count(kExe), 1u);
    }
    EXPECT_EQ(notConverged, std::vector<std::string>{"MoveFileExA"});
}

// The boot-time service's run, cut at each of its state-changing calls: the
// next starts (the service at boot while it is installed, the registered
// command at logon while it is registered) end where an uninterrupted run
// ends, with the same one window as a logon's run.
TEST(Interruption, ABootTimeRunStoppedAtAnyPointConvergesAtTheNextStarts) {
    std::string reference;
    int changes = 0;
    {
        Machine m(false);
        m.WithBootService();
        m.Boot();
        ASSERT_TRUE(m.os.messageBoxes.empty()) << m.os.messageBoxes[0].text;
        m.os.services[kBootServiceName].state = SERVICE_STOPPED;
        changes = m.os.stateChanges;
        m.os.Reboot();
        reference = m.Persistent();
        EXPECT_FALSE(m.ServiceInstalled());
        EXPECT_FALSE(m.Registered());
        EXPECT_EQ(m.LastNotifiedGuid(), m.os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"));
    }
    std::vector<std::string> notConverged;
    for (int n = 0; n < changes; ++n) {
        Machine m(false);
        m.WithBootService();
        m.os.powerCutAt = n;
        m.Boot();
        ASSERT_TRUE(m.os.poweredOff) << "no cut at call " << n;
        std::string const cutAt = m.os.changeLog.back();
        SCOPED_TRACE("power cut at call " + std::to_string(n) + ", " + cutAt);
        for (int start = 0; start < 3 && (m.ServiceInstalled() || m.Registered()); ++start) {
            m.os.Reboot();
            if (m.ServiceInstalled())
                m.Boot();
            else if (m.Registered())
                m.Logon();
            if (m.os.services.count(kBootServiceName))
                m.os.services[kBootServiceName].state = SERVICE_STOPPED;
        }
        m.os.Reboot();
        if (m.Persistent() == reference) {
            EXPECT_EQ(m.LastNotifiedGuid(),
                      m.os.StringValue(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"));
            continue;
        }
        notConverged.push_back(cutAt);
        EXPECT_EQ(cutAt, "MoveFileExA");
        EXPECT_FALSE(m.ServiceInstalled());
        EXPECT_EQ(m.os.files.count(kExe), 1u);
    }
    EXPECT_EQ(notConverged, std::vector<std::string>{"MoveFileExA"});
}

TEST(Interruption, AMasterStoppedAtAnyPointEndsPreparedWhenPreparedAgain) {
    std::string reference;
    int changes = 0;
    {
        Machine m(true);
        m.Prepare();
        reference = m.Persistent();
        changes = m.os.stateChanges;
        EXPECT_EQ(m.os.services["hxlisten"].startType, SERVICE_DEMAND_START);
        EXPECT_EQ(m.os.Value(HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue), nullptr);
        EXPECT_NE(m.os.Value(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), nullptr);
    }
    ASSERT_GT(changes, 1);

    for (int n = 0; n < changes; ++n) {
        Machine m(true);
        m.os.powerCutAt = n;
        m.Prepare();
        ASSERT_TRUE(m.os.poweredOff) << "no cut at call " << n;
        std::string const cutAt = m.os.changeLog.back();
        SCOPED_TRACE("power cut at call " + std::to_string(n) + ", " + cutAt);
        // The machine starts again, and so does the utility when it is
        // registered; then the administrator prepares the master again
        // (putting norvane.exe back first if a restart deleted it).
        std::vector<std::string> steps;
        for (int round = 0; round < 4 && m.Persistent() != reference; ++round) {
            m.os.Reboot();
            if (m.Registered()) {
                steps.push_back("logon");
                m.Logon();
            } else {
                steps.push_back("prepare");
                m.os.AddFile(kExe);
                m.Prepare();
            }
        }
        EXPECT_EQ(m.Persistent(), reference) << ::testing::PrintToString(steps);
    }
}
