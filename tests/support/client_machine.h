// An NT machine with the client installed, on the in-memory Windows, for the
// scenario tests of hostile input: the client's keys, "Wdlscan.ini", services
// and monitor program, a console that answers 200. Run the preparation as the
// administrator starts it (Prepare) or a copy's first logon as the dialog's
// worker runs it (Logon), then look at what was shown and what was written.
#pragma once

#include "common/message_box.h"
#include "app/norvane_app.h"
#include "common/progress_view.h"
#include "app/worker.h"
#include "common/report.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "fake_net_system.h"
#include "notify/http_fetch.h"
#include "reconfigure/reconfiguration.h"

#include <string>
#include <vector>

class ClientMachine : public FakeNetSystemTest {
protected:
    static constexpr const char* kFolder = "C:\\Program Files\\Halvex\\Sentova NT";
    static constexpr const char* kIni = "C:\\Program Files\\Halvex\\Sentova NT\\Wdlscan.ini";
    static constexpr const char* kMonitor = "C:\\Program Files\\Halvex\\Sentova NT\\stvmon.exe";
    static constexpr const char* kClientRunValue = "Sentova NT Monitor";
    static constexpr const char* kTitle = "Wardline Norvane Utility";
    static constexpr const char* kMasterGuid = "6f1c2a4e-3b5d-4c7e-9a8b-1d2e3f405162";

    ClientMachine() {
        os.SetString(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", kFolder);
        os.SetString(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", kFolder);
        os.SetDword(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", 1);
        os.SetString(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID", kMasterGuid);
        os.SetString(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", "console.example");
        os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                "NT_RUN_KEY=Sentova NT Monitor\r\n"
                                "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n"
                                "NT_HXLISTEN_SERVICE_FILENAME=hxlisten.exe\r\n"
                                "NT_REAL_TIME_SERVICE_FILENAME=rtguard.exe\r\n";
        os.SetString(port::HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue,
                     "\"" + std::string(kMonitor) + "\" -HideWindow");
        os.services["hxlisten"];
        os.services["rtguard"];
        os.AddFile(kMonitor);
        os.AddFile(os.modulePath);
        os.network.libraryPresent = false; // the domain is the workgroup value
        net.responder = [](const port::FakeSentRequest&) { return port::FakeHttpAnswer{}; };
        s_lastServerUser.clear();
        s_lastProxyUser.clear();
    }
    ~ClientMachine() override {
        AfxSetMainWnd(nullptr);
        AfxSetAppName(nullptr);
    }

    // What the master's preparation leaves: the listener on demand, the
    // client's Run value gone, the utility's own with the master's identity.
    void AsPrepared() {
        os.services["hxlisten"].startType = port::SERVICE_DEMAND_START;
        os.Key(port::HKEY_LOCAL_MACHINE, kRunKey).values.erase(kClientRunValue);
        os.SetString(port::HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue,
                     "\"" + os.modulePath + "\" \"/000c293a4b5c\" -HideWindow");
    }
    // A client whose key asks for the notification: no "Application Path"
    // (its folder is "InstallPath"), "Mode" 1.
    void Notifying() {
        os.Key(port::HKEY_LOCAL_MACHINE, kClientKeyNT).values.erase("Application Path");
    }

    // The program started with this command line; returns the host flag the
    // progress dialog got, or -1 when preparation mode ran instead.
    int Start(const std::string& commandLine) {
        CNorvaneApp app;
        app.m_commandLine = commandLine;
        int sameHost = -1;
        app.m_runProgressDialog = [&sameHost](port::BOOL same) { sameHost = same; };
        EXPECT_FALSE(app.InitInstance());
        return sameHost;
    }
    void Prepare(const std::string& arguments = " /silent") {
        EXPECT_EQ(Start("\"" + os.modulePath + "\"" + arguments), -1);
    }
    // A first logon: on another machine (a copy), or on the master itself.
    void Logon(bool sameHost = false) {
        AfxSetAppName(kTitle);
        AfxSetMainWnd(kDialog);
        ReconfigurationData data;
        data.m_bSameHost = sameHost;
        CReconfiguration(view, data).Run();
        mainProgramPath = data.m_strMainProgramPath;
        AfxSetMainWnd(nullptr);
    }

    // norvane.exe as a whole, started with these arguments as the
    // administrator or the Run key starts it; the progress dialog's worker
    // runs the copy's steps. Returns the exit code WinMain returns.
    int RunProgram(const std::string& arguments) {
        // A program runs from its file: one that a restart deleted is put
        // back to be started again.
        if (!os.files.count(os.modulePath))
            os.AddFile(os.modulePath);
        CNorvaneApp app;
        app.m_commandLine = "\"" + os.modulePath + "\"" + arguments;
        app.m_runProgressDialog = [this](port::BOOL sameHost) {
            ++dialogs;
            AfxSetMainWnd(kDialog);
            ReconfigurationData data;
            data.m_bSameHost = sameHost;
            RunWorkerSequence(&view, data);
            AfxSetMainWnd(nullptr);
        };
        EXPECT_FALSE(app.InitInstance());
        return app.m_nExitCode;
    }
    // The registered command's arguments, as Windows starts it at logon.
    int StartRegistered() {
        std::string const command = RunValue(kOwnRunValue);
        return RunProgram(command.substr(command.find("\" ") + 1));
    }
    // An outcome value of the last run, a number as its decimal text;
    // "<missing>" when it is not there.
    std::string Outcome(const char* name) {
        const port::FakeRegValue* v = os.Value(port::HKEY_LOCAL_MACHINE, kOutcomeKey, name);
        if (!v)
            return "<missing>";
        if (v->type == port::REG_DWORD)
            return std::to_string(v->data[0] | v->data[1] << 8 | v->data[2] << 16 |
                                  v->data[3] << 24);
        return os.StringValue(port::HKEY_LOCAL_MACHINE, kOutcomeKey, name);
    }
    static constexpr const char* kLog = "C:\\ProgramData\\Norvane\\norvane.log";
    std::string Log() { return os.FileText(kLog); }

    std::string Guid() { return os.StringValue(port::HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"); }
    // A Run value's text; "<missing>" when there is none.
    std::string RunValue(const std::string& name) {
        const port::FakeRegValue* v = os.Value(port::HKEY_LOCAL_MACHINE, kRunKey, name);
        return v ? os.StringValue(port::HKEY_LOCAL_MACHINE, kRunKey, name) : "<missing>";
    }
    // Every box shown, as "caption: text".
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : os.messageBoxes)
            texts.push_back(box.caption + ": " + box.text);
        return texts;
    }

    static inline port::HWND const kDialog = reinterpret_cast<port::HWND>(std::uintptr_t{0xD1A0});

    // The progress dialog as the steps see it; its boxes go to the fake's
    // recorder with the dialog as owner.
    class DialogView : public ProgressView {
    public:
        explicit DialogView(port::FakeOs& os) : m_os(os) {}
        void SetStatusText(const char* text) override { statuses.push_back(text); }
        void RepaintStatus() override {}
        int ShowMessageBox(const char* text, const char* caption, port::UINT type) override {
            return m_os.MessageBoxA(kDialog, text, caption, type);
        }
        void Hide() override { hidden = true; }
        void Done() override {}

        std::vector<std::string> statuses;
        bool hidden = false;

    private:
        port::FakeOs& m_os;
    };

    DialogView view{os};
    std::string mainProgramPath;
    int dialogs = 0;
};
