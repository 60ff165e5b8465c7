// copy_pauses: the pauses an NT copy's first logon must make, counted on the
// in-memory Windows's virtual clock. The copy is the one the benchmark runs
// under Wine: the client's three programs running (each gone within a second
// of its closing message), both services running, the notification due and
// answered at once. Prints the virtual milliseconds the steps took (nothing
// but their pauses, since the fake's calls take no virtual time) and the
// status texts with the virtual time each was shown at.
//
//   copy_pauses [--statuses]
#include "common/message_box.h"
#include "common/progress_view.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "port/fake/fake_internet.h"
#include "port/fake/fake_os.h"
#include "reconfigure/reconfiguration.h"
#include "strings_table.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace port;

namespace {

const char* const kFolder = "C:\\Program Files\\Halvex\\Sentova NT";
const char* const kIniText = "[INI_CLIENT_SETUP_SECTION]\r\n"
                             "NT_RUN_KEY=Sentova NT Monitor\r\n"
                             "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n"
                             "NT_HXLISTEN_SERVICE_FILENAME=hxlisten.exe\r\n"
                             "NT_REAL_TIME_SERVICE_FILENAME=rtguard.exe\r\n";
// What the client's programs and services take under Wine, all well inside
// the one-second passes that look for them again.
constexpr DWORD kProgramCloseMs = 300;
constexpr DWORD kServiceStopMs = 100;
constexpr DWORD kServiceStartMs = 80;

class StatusLog : public ProgressView {
public:
    explicit StatusLog(FakeOs& os) : m_os(os) {}
    void SetStatusText(const char* text) override { statuses.emplace_back(m_os.now, text); }
    void RepaintStatus() override {}
    int ShowMessageBox(const char* text, const char* caption, UINT) override {
        boxes.push_back(std::string(caption ? caption : "") + ": " + text);
        return IDOK;
    }
    void Hide() override {}
    void Done() override {}

    std::vector<std::pair<DWORD, std::string>> statuses;
    std::vector<std::string> boxes;

private:
    FakeOs& m_os;
};

void InstallClient(FakeOs& os) {
    for (const auto& [id, text] : ProgramStringTable())
        os.strings[id] = text;
    // No "Application Path" and "Mode" 1: the copy notifies the console.
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", kFolder);
    os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Mode", 1);
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", "127.0.0.1");
    os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "ServerPort", 8080);
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID",
                 "{6F1C2A4E-3B5D-4C7E-9A8B-1D2E3F405162}");
    os.SetDword(HKEY_LOCAL_MACHINE, std::string(kClientKeyNT) + "\\Mics.", "UseProxy", 0);
    os.profileFiles[std::string(kFolder) + "\\Wdlscan.ini"] = kIniText;
    os.profileFiles["C:\\WINDOWS\\Wdlscan.ini"] = kIniText;
    os.AddFile(std::string(kFolder) + "\\stvmon.exe");
    os.AddFile(os.modulePath);
    for (const char* name : {"hxlisten", "rtguard"}) {
        FakeService& service = os.services[name];
        service.stopDelayMs = kServiceStopMs;
        service.startDelayMs = kServiceStartMs;
    }
    os.services["hxlisten"].startType = SERVICE_DEMAND_START; // as the preparation left it
    os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue,
                 "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/02aabbccdd01\" -HideWindow");
    os.AddWindow("STVNTClassName", WM_COMMAND, 32824, kProgramCloseMs);
    os.AddWindow("STVNT_UPDATE32", WM_USER + 102, 0, kProgramCloseMs);
    os.AddWindow("StvNTMonClass", WM_USER + 1201, 0, kProgramCloseMs);
}

} // namespace

int main(int argc, char** argv) {
    bool const statuses = argc > 1 && std::strcmp(argv[1], "--statuses") == 0;
    FakeOs os;
    FakeInternet net(os);
    SetSys(&os);
    SetNet(&net);
    InstallClient(os);
    net.responder = [](const FakeSentRequest&) { return FakeHttpAnswer{}; }; // 200 at once
    AfxSetAppName("Wardline Norvane Utility");

    StatusLog view(os);
    ReconfigurationData data;
    CReconfiguration steps(view, data);
    DWORD const start = os.now;
    steps.Run();
    DWORD const elapsed = os.now - start;

    int status = 0;
    if (!view.boxes.empty() || net.sent.size() != 1) {
        // Not the scenario the benchmark compares with: say so rather than
        // print a figure for something else.
        std::fprintf(stderr, "copy_pauses: %zu boxes, %zu requests sent\n", view.boxes.size(),
                     net.sent.size());
        for (const auto& box : view.boxes)
            std::fprintf(stderr, "  %s\n", box.c_str());
        status = 1;
    }
    if (statuses) {
        for (const auto& [ms, text] : view.statuses)
            std::printf("%6u ms  %s\n", static_cast<unsigned>(ms - start), text.c_str());
    }
    std::printf("%u\n", static_cast<unsigned>(elapsed));
    AfxSetAppName(nullptr);
    SetNet(nullptr);
    SetSys(nullptr);
    return status;
}
