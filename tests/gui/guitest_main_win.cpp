// The GUI tests' build of the program: the product's sources with this
// entry point instead of the product's. Its dialog is the product's with a
// test worker and two test hooks (a system-menu dump and a worker that
// cannot be started); what the probe checks from outside is reported in a
// named shared block (guitest_protocol.h).
//
// NORVANE_GUITEST_MODE chooses the worker:
//   (unset)       holds the dialog open until the probe sets the finish event
//   box           raises an application message box, then holds
//   throw         lets an exception escape the steps
//   no-thread     the worker thread cannot be created
#include "port/port.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/app_main_win.h"
#include "common/message_box.h"
#include "app/norvane_dlg.h"
#include "guitest_protocol.h"

namespace {

// The shared block; NULL when it cannot be created.
NorvaneGuiTestState* State() {
    static NorvaneGuiTestState* const state = [] {
        HANDLE const mapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               sizeof(NorvaneGuiTestState), NORVANE_GUITEST_STATE_MAPPING);
        if (!mapping)
            return static_cast<NorvaneGuiTestState*>(nullptr);
        // The mapping stays open for the life of the process.
        return static_cast<NorvaneGuiTestState*>(
            MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(NorvaneGuiTestState)));
    }();
    return state;
}

std::string Mode() {
    const char* mode = std::getenv("NORVANE_GUITEST_MODE");
    return mode ? mode : "";
}

// Waits for the finish event (two minutes at most, so that a broken test
// cannot leave the program running).
void HoldUntilFinished() {
    HANDLE const finish = CreateEventA(nullptr, TRUE, FALSE, NORVANE_GUITEST_FINISH_EVENT);
    if (finish) {
        WaitForSingleObject(finish, 120000);
        CloseHandle(finish);
    }
}

void TestSteps(ProgressView& view, ReconfigurationData&) {
    if (NorvaneGuiTestState* const state = State())
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&state->workerStarts));
    view.SetStatusText(NORVANE_GUITEST_STATUS_TEXT);
    std::string const mode = Mode();
    if (mode == "box")
        AfxMessageBox(NORVANE_GUITEST_BOX_TEXT, MB_ICONINFORMATION);
    if (mode == "throw")
        throw std::runtime_error(NORVANE_GUITEST_FAILURE_TEXT);
    HoldUntilFinished();
}

class CGuiTestDlg : public CNorvaneDlg {
public:
    explicit CGuiTestDlg(port::BOOL sameHost) : CNorvaneDlg(sameHost, nullptr, TestSteps) {
        State(); // created before the probe looks for it
    }

    void Done() override {
        if (NorvaneGuiTestState* const state = State())
            InterlockedExchange(reinterpret_cast<volatile LONG*>(&state->workerFinished), 1);
        CNorvaneDlg::Done();
    }

protected:
    HANDLE BeginWorkerThread() override {
        if (Mode() == "no-thread")
            return nullptr;
        return CNorvaneDlg::BeginWorkerThread();
    }

    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        static UINT const dumpMenu = RegisterWindowMessageA(NORVANE_GUITEST_DUMP_MENU_MESSAGE);
        if (msg != dumpMenu)
            return CNorvaneDlg::OnMessage(msg, wParam, lParam);
        DumpSystemMenu();
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 1);
        return TRUE;
    }

private:
    // Copies the items of the system menu into the shared block (a menu
    // cannot be read from another process on Wine).
    void DumpSystemMenu() {
        NorvaneGuiTestState* const state = State();
        if (!state)
            return;
        HMENU const menu = GetSystemMenu(m_hWnd, FALSE);
        int const count = menu ? GetMenuItemCount(menu) : -1;
        int const kept = count < 16 ? count : 16;
        for (int i = 0; i < kept; ++i) {
            NorvaneGuiTestMenuItem& item = state->menu[i];
            MENUITEMINFOA info{};
            item = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = item.text;
            info.cch = sizeof item.text;
            if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
                continue;
            item.id = info.wID;
            item.separator = (info.fType & MFT_SEPARATOR) ? 1 : 0;
        }
        state->menuCount = count;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return NorvaneMain([](port::BOOL sameHost) {
        CGuiTestDlg dialog(sameHost);
        RunProgressDialog(dialog);
    });
}
